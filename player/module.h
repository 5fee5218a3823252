#pragma once
// The ".q7m" module format: a parse that checks every read against the image
// size and the content the synthesizer will read, and the parsed view.
#include <cstdint>
#include <string>

constexpr uint32_t noMoreEvents = 0xFFFFFFFFu;  // reserved tick: a stream has ended
constexpr int32_t speechTableSlots = 256;
constexpr uint32_t maxTimeDivision = 429496;     // timeDivision x 10000 must fit in 32 bits
// Tempo in microseconds per beat: at least 1 (0 would play the song in no
// time), at most the largest value whose product with 441 fits 32 bits.
constexpr uint32_t minTempoMicros = 1;
constexpr uint32_t maxTempoMicros = 9739154;
constexpr int32_t maxGlobalParamSize = 16384;
constexpr int32_t maxPatchDataSize = 1048576;
constexpr uint32_t maxSpeechDataSize = 8191;     // 0 or 8192 and more: no speech block
constexpr uint32_t globalParamBytes = 22;        // what the synthesizer reads of the global block
constexpr uint32_t patchRecordFixedBytes = 86;   // a patch is 86 + 3m bytes

// The tick delta at read position p of a stream with count events: three
// planes, count bytes apart.
inline uint32_t readTickDelta(const uint8_t* p, uint32_t count) {
    return uint32_t(p[0]) | uint32_t(p[count]) << 8 | uint32_t(p[2 * uint64_t(count)]) << 16;
}

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
    uint32_t speechBlockSize;      // 0 without a speech block
    uint32_t speechTextCount;
    const char* speechTexts[speechTableSlots];
};

// The text of every speech slot a module does not fill: one space.
extern const char defaultSpeechText[];

// Parses image[0..size) into view. On failure returns false and says why in
// reason, e.g. "note stream of channel 3 is truncated (needs 500 bytes at
// offset 1234, file has 1500)". Every parse first points all 256 speech slots
// at defaultSpeechText, so no slot keeps a pointer into an earlier image.
// Beyond the layout it refuses what would make the player or the synthesizer
// misbehave: a time division of 0 or above maxTimeDivision, a tempo outside
// minTempoMicros..maxTempoMicros, a stream reaching tick 4294967295, a missing or cut patch
// for program 0 or for any program the streams select, a global block under
// 22 bytes, and a speech block with more than 256 texts, an offset outside it
// or a text without its zero byte inside it.
bool parseModule(const uint8_t* image, uint32_t size, ModuleView& view, std::string& reason);
