// Any bytes as a module: parse, open, play and render two seconds in odd
// chunks, stop and close.
#include "fuzz/module_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ModuleRun* run = new fuzz::ModuleRun;
    fuzz::runModule(*run, data, size);
    return 0;
}
