#include "synth/output_filter.h"
#include "synth/synth.h"

float outputCutCoef(float p) {
    const float t = (p + 1.0f) * 0.0078125f;
    return t * t;
}

namespace {
// One side of one sample pair. The low cut uses its state before the update.
inline float cutSample(float x, float lowCut, float highCut, float& lowState, float& highState) {
    const float d = x - lowState;
    lowState = lowState + lowCut * d;
    if (highCut == 1.0f) return d;
    highState = highState + highCut * (d - highState);
    return highState;
}
}  // namespace

void outputFilterProcess(Synth& synth, float* buffer, int32_t n) {
    const float lowCut = synth.lowCutCoef;
    const float highCut = synth.highCutCoef;
    // The states in locals: through the record they would be stored and
    // reloaded around every write to the buffer.
    float lowL = synth.lowCutStateL, lowR = synth.lowCutStateR;
    float highL = synth.highCutStateL, highR = synth.highCutStateR;
    for (int32_t i = 0; i < n; ++i) {
        float* pair = buffer + 2 * i;
        pair[0] = cutSample(pair[0], lowCut, highCut, lowL, highL);
        pair[1] = cutSample(pair[1], lowCut, highCut, lowR, highR);
    }
    synth.lowCutStateL = lowL;
    synth.lowCutStateR = lowR;
    synth.highCutStateL = highL;
    synth.highCutStateR = highR;
}
