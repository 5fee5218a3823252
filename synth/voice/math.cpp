#include "synth/voice/math.h"
#include <cmath>
#include <cstdint>

const RateConstants rates44100 = rateConstantsFor(44100);

#if !(defined(__SSE2__) || defined(__x86_64__))
int32_t roundInt(float v) {
    // Anything outside [-2^31, 2^31) or NaN fails the test and maps to INT32_MIN.
    if (!(v >= -2147483648.0f && v < 2147483648.0f)) return INT32_MIN;
    const double d = v;
    const double below = std::floor(d);
    const double rest = d - below;
    int64_t i = static_cast<int64_t>(below);
    if (rest > 0.5 || (rest == 0.5 && (i & 1) != 0)) ++i;
    return static_cast<int32_t>(i);
}
#endif

float pow2(float v) { return static_cast<float>(std::exp2(static_cast<double>(v))); }

float pow2Span10(float v) {
    return static_cast<float>(std::exp2(10.0 * (static_cast<double>(v) - 1.0)));
}

float pow2Span11(float v) {
    return static_cast<float>(std::exp2(11.0 * (static_cast<double>(v) - 1.0)));
}

float powBase(float b, float e) {
    return static_cast<float>(
        std::exp2(static_cast<double>(e) * std::log2(static_cast<double>(b))));
}


namespace {

// std::fmod(a, 2 pi) without the library call for |a| < 32 pi: subtracting
// 2 pi x 8, 4, 2 and 1 where they fit is exact at every step (the operands
// lie within a factor of two of each other), so the remainder is fmod's.
float remainderTwoPi(float a) {
    const float m = std::fabs(a);
    if (!(m < 16.0f * twoPiF)) return std::fmod(a, twoPiF);
    float r = m;
    if (r >= 8.0f * twoPiF) r -= 8.0f * twoPiF;
    if (r >= 4.0f * twoPiF) r -= 4.0f * twoPiF;
    if (r >= 2.0f * twoPiF) r -= 2.0f * twoPiF;
    if (r >= twoPiF) r -= twoPiF;
    return std::copysign(r, a);
}

}  // namespace

float fastSin(float a) {
    float r = remainderTwoPi(a);
    if (r < 0.0f) r += twoPiF;
    float u;
    if (r <= halfPiF) u = r;
    else if (r > threeHalfPiF) u = r - twoPiF;
    else u = piF - r;
    return u * sinSeries(u);
}

RateConstants rateConstantsFor(int32_t sampleRate) {
    RateConstants rates;
    const float r = 1.0f / static_cast<float>(sampleRate);
    rates.pitchBase = 261.6255798339844f * 2147483648.0f * r;
    rates.rateScale = 44100.0f * r;
    // The corner's angle stays unrounded until sin and cos have seen it:
    // rounding it to float first moves boostSin by one unit in the last place
    // (0.0213697534 instead of 0.0213697515 at 44,100 Hz).
    const double w = static_cast<double>(6.2831854820f) * 150.0 * static_cast<double>(r);
    rates.boostSin = static_cast<float>(std::sin(w));
    rates.boostCos = static_cast<float>(std::cos(w));
    rates.frameLength = roundInt(static_cast<float>(sampleRate) * 128.0f / 44100.0f + 0.5f);
    return rates;
}
