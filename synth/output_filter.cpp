#include "synth/output_filter.h"
#include "synth/synth.h"

float outputCutCoef(float p) {
    const float t = (p + 1.0f) * 0.0078125f;
    return t * t;
}

OutputCut outputCutOf(const Synth& synth) {
    return {synth.lowCutCoef,    synth.highCutCoef,   synth.lowCutStateL,
            synth.lowCutStateR,  synth.highCutStateL, synth.highCutStateR};
}

void outputCutStore(Synth& synth, const OutputCut& cut) {
    synth.lowCutStateL = cut.lowL;
    synth.lowCutStateR = cut.lowR;
    synth.highCutStateL = cut.highL;
    synth.highCutStateR = cut.highR;
}

void outputFilterProcess(Synth& synth, float* buffer, int32_t n) {
    OutputCut cut = outputCutOf(synth);
    for (int32_t i = 0; i < n; ++i) outputCutPair(cut, buffer + 2 * i);
    outputCutStore(synth, cut);
}
