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

namespace {

// One sample through the recursion, run twice per input sample (at twice
// the sample rate), and the response of mode 1..5.
struct FilterState {
    float low;
    float band;
};

inline float filterStep(FilterState& s, float f, float q, int32_t mode, float x) {
    float low = s.low + f * s.band;
    float high = x - q * s.band - low;
    float band = s.band + f * high;
    low = low + f * band;
    high = x - q * band - low;
    band = band + f * high;
    s.low = low;
    s.band = band;
    switch (mode) {
        case 1: return low;
        case 2: return band;
        case 3: return high;
        case 4: return high + low;
        default: return high + band + low;
    }
}

}  // namespace

void filterProcessPair(Filter& left, Filter& right, const float* input, float* output, int32_t n) {
    const int32_t mode = left.mode & 7;
    if (mode == 0 || mode >= 6) {
        copySamples(input, output, 2 * n);
        return;
    }
    const float fL = left.freq, qL = left.damp, fR = right.freq, qR = right.damp;
    FilterState l{left.low, left.band};
    FilterState r{right.low, right.band};
    for (int32_t k = 0; k < n; ++k) {
        const float xL = input[2 * k];
        const float xR = input[2 * k + 1];
        output[2 * k] = filterStep(l, fL, qL, mode, xL);
        output[2 * k + 1] = filterStep(r, fR, qR, mode, xR);
    }
    left.low = l.low;
    left.band = l.band;
    right.low = r.low;
    right.band = r.band;
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
    FilterState state{filter.low, filter.band};
    for (int32_t k = 0; k < n; ++k) output[k * stride] = filterStep(state, f, q, mode, input[k * stride]);
    filter.low = state.low;
    filter.band = state.band;
}
