// Arbitrary command streams into a synthesizer with a valid patch bank,
// with renders in between (see fuzz/command_input.h for the input layout).
#include "fuzz/command_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::CommandRun* run = new fuzz::CommandRun;
    fuzz::runCommands(*run, data, size);
    return 0;
}
