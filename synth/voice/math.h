#pragma once
// Shared math helpers and sample-rate constants of the synthesizer units.
// Transcendentals are evaluated in double from their float argument and
// rounded once to float, so every build gives the same samples.
#include <cstdint>
#if defined(__SSE2__) || defined(__x86_64__)
#include <emmintrin.h>
#endif

// Nearest integer, ties to even; out of range or NaN gives INT32_MIN
// (the conversion the synthesizer's floating-point mode performs).
#if defined(__SSE2__) || defined(__x86_64__)
// One conversion instruction: it rounds in the current mode, which every
// synthesizer entry sets to nearest-even, and answers INT32_MIN out of range.
inline int32_t roundInt(float v) { return _mm_cvtss_si32(_mm_set_ss(v)); }
#else
int32_t roundInt(float v);
#endif

// The fraction of a cycle that the top 23 bits of a phase stand for, in [0, 1).
inline float frac(uint32_t phase) {
    return static_cast<float>(phase >> 9) * (1.0f / 8388608.0f);
}

float pow2(float v);         // 2^v
float pow2Span10(float v);   // 2^(10 (v - 1))
float pow2Span11(float v);   // 2^(11 (v - 1))
float powBase(float b, float e);  // b^e as 2^(e log2 b), b > 0
float fastSin(float a);      // polynomial sine, any argument

// Single-precision constants of the sine helpers.
constexpr float twoPiF = 6.28318548f;
constexpr float piF = 3.14159274f;
constexpr float halfPiF = 1.57079637f;
constexpr float threeHalfPiF = 4.71238899f;

// The sine polynomial's bracket 1 + u^2 (K1 + u^2 (K2 + u^2 K3)) for u in
// [-pi/2, pi/2]: fastSin is u times it, the oscillators' sine g x u times it.
inline float sinSeries(float u) {
    const float u2 = u * u;
    return 1.0f + u2 * (-0.16666f + u2 * (0.0083143f + u2 * -0.00018542f));
}

// Sample-rate constants: every synthesizer keeps its own (see synthInit) and
// hands them to the units' set-up functions.
struct RateConstants {
    int32_t frameLength = 128;  // samples per control frame
    float pitchBase = 0;        // phase increment of note 60
    float rateScale = 1;        // 44100 / sampleRate
    float boostSin = 0;         // sin(2 pi 150 / sampleRate)
    float boostCos = 1;         // cos(2 pi 150 / sampleRate)
};

RateConstants rateConstantsFor(int32_t sampleRate);

// The constants at 44,100 Hz, the units' default. Never changes.
extern const RateConstants rates44100;
