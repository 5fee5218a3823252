#include "synth/voice/filter.h"
#include <cstring>
#include "synth/voice/math.h"
#include "synth/voice/svf_stability.h"

namespace {

// Bypass copies the consecutive samples and ignores the stride; the caller
// doubles n for an interleaved stereo buffer.
void copySamples(const float* input, float* output, int32_t n) {
    if (input != output && n > 0) {
        std::memmove(output, input, static_cast<size_t>(n) * sizeof(float));
    }
}

}  // namespace

void filterInit(Filter& filter) {
    filter.low = filter.band = 0;
    filter.stride = 1;
}

void filterSetup(Filter& filter, const float* p, const RateConstants& rates) {
    filter.mode = roundInt(p[0]);
    filter.freq = svfStableFreq(pow2Span10(p[1] / 128.0f) * rates.rateScale);
    filter.damp = 1.0f - p[2] / 128.0f;
}

void filterProcess(Filter& filter, const float* input, float* output, int32_t n) {
    const int32_t mode = filter.mode & 7;
    if (mode == 0 || mode >= 6) {
        copySamples(input, output, n);
        return;
    }
    const float f = filter.freq;
    const float q = filter.damp;
    const int32_t stride = filter.stride;
    float low = filter.low;
    float band = filter.band;
    for (int32_t k = 0; k < n; ++k) {
        const float x = input[k * stride];
        // The recursion runs twice per sample, i.e. at twice the sample rate.
        low = low + f * band;
        float high = x - q * band - low;
        band = band + f * high;
        low = low + f * band;
        high = x - q * band - low;
        band = band + f * high;
        float y;
        switch (mode) {
            case 1: y = low; break;
            case 2: y = band; break;
            case 3: y = high; break;
            case 4: y = high + low; break;
            default: y = high + band + low; break;
        }
        output[k * stride] = y;
    }
    filter.low = low;
    filter.band = band;
}
