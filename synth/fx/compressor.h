#pragma once
// Feed-forward compressor/limiter with look-ahead and peak or RMS detection,
// linked or per side. Used by every channel and by the master bus.
#include <cstdint>

constexpr int32_t compressorLookLength = 5700;   // stereo pairs
constexpr int32_t compressorRmsLength = 8192;

struct Compressor {
    int32_t mode;       // lowest byte: bit 2 off; bits 0..1 detector
    int32_t prevMode;
    float inGain;       // 1 / threshold
    float ratio;
    float outGain;
    float attack;
    float release;
    int32_t lookahead;
    int32_t lookIndex;
    float gainL, gainR;
    float peakL, peakR;
    int32_t rmsIndex;
    float rmsSumL, rmsSumR;
    float lookLine[compressorLookLength * 2];
    float rmsWindow[compressorRmsLength * 2];
};

void compressorInit(Compressor& comp);
void compressorSetup(Compressor& comp, const float* p);  // p[0..8]
// levels: scratch space for 2 x n floats (the detector's per-side levels).
void compressorProcess(Compressor& comp, float* buffer, float* levels, int32_t n);
