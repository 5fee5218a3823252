#include "player/module.h"

const char defaultSpeechText[] = " ";

bool parseModule(const uint8_t* image, uint32_t size, ModuleView& view, std::string& reason) {
    (void)image; (void)size; (void)view;
    reason = "not implemented";
    return false;
}
