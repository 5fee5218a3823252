#pragma once
// The output low cut and high cut on the main mix, after the reverb and the
// global delay and before the master compressor.
#include <cstdint>

struct Synth;

// Coefficient of either stage from its global parameter p (0..127): ((p + 1) / 128)^2.
// 127 gives exactly 1.0: the low cut becomes a first difference and the high
// cut is bypassed.
float outputCutCoef(float p);

// Both stages' coefficients and the four states, copied out of the Synth for
// a frame: through the record they would be stored and reloaded around every
// write to the buffer.
struct OutputCut {
    float lowCut, highCut;
    float lowL, lowR, highL, highR;
};

OutputCut outputCutOf(const Synth& synth);
void outputCutStore(Synth& synth, const OutputCut& cut);

// One side of one sample pair. The low cut uses its state before the update.
inline float outputCutSample(float x, float lowCut, float highCut, float& lowState, float& highState) {
    const float d = x - lowState;
    lowState = lowState + lowCut * d;
    if (highCut == 1.0f) return d;
    highState = highState + highCut * (d - highState);
    return highState;
}

inline void outputCutPair(OutputCut& cut, float* pair) {
    pair[0] = outputCutSample(pair[0], cut.lowCut, cut.highCut, cut.lowL, cut.highL);
    pair[1] = outputCutSample(pair[1], cut.lowCut, cut.highCut, cut.lowR, cut.highR);
}

// n interleaved stereo pairs in place. Per side: the low cut outputs
// d = x - s1 and moves s1 by lowCutCoef x d; the high cut then low-passes d
// unless its coefficient is exactly 1.0. The four states live in the Synth.
void outputFilterProcess(Synth& synth, float* buffer, int32_t n);
