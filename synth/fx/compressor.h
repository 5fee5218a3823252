#pragma once
// Feed-forward compressor/limiter with look-ahead and peak or RMS detection,
// linked or per side. Used by every channel and by the master bus.
// The output is delayed by lookahead + 1 samples relative to the detector.
#include <cstdint>

struct OutputCut;

constexpr int32_t compressorLookLength = 5700;   // stereo pairs
constexpr int32_t compressorRmsLength = 8192;
constexpr float compressorPeakDecay = 0.99980002641677856f;  // a peak's fall per sample
constexpr float compressorRmsWeight = 0.0110485432669520f;   // 1 / sqrt(8192)

struct Compressor {
    int32_t mode;       // lowest byte: bit 2 off; bits 0..1 detector
    int32_t prevMode;
    float inGain;       // 1 / threshold
    float ratio;
    float outGain;      // make-up x output gain
    float attack;       // smoothing while the gain falls
    float release;      // smoothing while the gain rises or holds
    int32_t lookahead;
    int32_t lookIndex;
    float gainL, gainR;
    float peakL, peakR;
    int32_t rmsIndex;
    float rmsSumL, rmsSumR;
    float lookLine[compressorLookLength * 2];
    float rmsWindow[compressorRmsLength * 2];
};

// Detector selection in bits 0..1 of the mode's lowest byte.
enum CompressorDetector : int32_t {
    compLinkedPeak = 0,
    compLinkedRms = 1,
    compSeparatePeak = 2,
    compSeparateRms = 3,
};

void compressorInit(Compressor& comp);
// Detector, gains and look-ahead line back to silence; settings stay.
void compressorClear(Compressor& comp);
// p[0..8]: mode, stereo link, auto gain, look-ahead, threshold, ratio,
// attack, release, output gain. A change of mode resets detector and gains.
void compressorSetup(Compressor& comp, const float* p);
// In place on n interleaved stereo frames. levels: scratch space for 2 x n
// floats (the detector's per-side levels).
void compressorProcess(Compressor& comp, float* buffer, float* levels, int32_t n);
// The same samples as compressorProcess, the lane engine's way: a peak
// detector in one loop with the gains; with cut, the output filter
// (output_filter.h) runs on each pair first, in the detector's loop, as the
// master bus has it.
void compressorProcessFused(Compressor& comp, float* buffer, float* levels, int32_t n,
                            OutputCut* cut = nullptr);

bool compressorOn(const Compressor& comp);
// The lane engine's channel compressors in parts: the detectors of many
// channels together (compressor_detect_lanes.h), the look-ahead line per
// channel (each pair of buffer in, the pair that left the line out), then
// the gains of many channels together (synth/simd/compressor_lanes.h).
void compressorDelay(Compressor& comp, float* buffer, int32_t n);
