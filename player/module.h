#pragma once
// The ".q7m" module format: a parse that checks every read against the image
// size and the content the synthesizer will read, and the parsed view.
#include <cstdint>
#include <string>

constexpr uint32_t noMoreEvents = 0xFFFFFFFFu;  // reserved tick: a stream has ended
constexpr int32_t speechTableSlots = 256;

struct ChannelStreams {
    uint32_t noteCount;
    const uint8_t* notes;
    uint32_t programCount;
    const uint8_t* programs;
    uint32_t bendCount;
    const uint8_t* bends;
    uint32_t controllerCount[7];   // controllers 1..7
    const uint8_t* controllers[7];
};

struct ModuleView {
    const uint8_t* patchBlock;
    uint32_t patchBlockSize;
    const uint8_t* globalParams;
    uint32_t globalParamSize;
    uint32_t timeDivision;
    uint32_t tickScale;            // timeDivision x 10000
    uint32_t reserved;
    const uint8_t* globalStream;
    uint32_t globalEventCount;
    ChannelStreams channels[16];
    const uint8_t* speechBlock;    // the speechTextCount field, or null
    uint32_t speechBlockSize;
    const char* speechTexts[speechTableSlots];
};

// The text of every speech slot a module does not fill: one space.
extern const char defaultSpeechText[];

// Parses image[0..size) into view. On failure returns false and says why in
// reason, e.g. "note stream of channel 3 is truncated (needs 500 bytes at
// offset 1234, file has 1500)".
bool parseModule(const uint8_t* image, uint32_t size, ModuleView& view, std::string& reason);
