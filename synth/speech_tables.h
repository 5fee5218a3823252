#pragma once
// The speech voice's fixed tables: the phoneme targets (formant frequencies,
// bandwidths and levels, duration and rank) and the symbols a text is made of.
#include <cstdint>

constexpr int32_t speechTargetCount = 69;
constexpr int32_t speechTargetColumns = 19;

// Columns of speechTargetTable. Frequencies and bandwidths in Hz; levels in
// the level unit (70 is unity gain, 6 more doubles it); DUR in speed units.
enum SpeechColumn : int32_t {
    colF1, colB1, colF2, colB2, colF3, colB3, colFN,
    colAV, colAH, colAF, colAB,
    colA1, colA2, colA3, colA4, colAN, colA56,
    colDUR, colRANK,
};

extern const float speechTargetTable[speechTargetCount][speechTargetColumns];

constexpr int32_t phonemeSymbolCount = 52;
constexpr int32_t phonemeSlots = 4;        // targets per symbol
constexpr uint8_t noTarget = 0xFF;         // an empty target slot
constexpr int32_t silenceSymbol = 51;      // " ": end of text and unknown characters
constexpr int32_t silenceTarget = 18;

struct PhonemeSymbol {
    char name[4];                 // up to 3 lower-case characters, zero-terminated
    uint8_t targets[phonemeSlots];  // played in order; unused slots hold noTarget
};

// Entries 0 to 50 are what a text may contain, in matching order; entry 51 is
// the silence symbol.
extern const PhonemeSymbol phonemeSymbolTable[phonemeSymbolCount];
