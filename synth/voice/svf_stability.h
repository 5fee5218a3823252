#pragma once
// The frequency coefficient's ceiling for the state-variable recursion that
// the voice filters, the distortion unit's filter modes and the noise
// oscillator run:
//     low  = low + f band;  high = x - q band - low;  band = band + f high.
// Per step the state (low, band) goes to A (low, band) + (0, f) x with
//     A = | 1    f          |    trace 2 - fq - f^2,  det 1 - fq.
//         | -f   1 - fq - f^2 |
// Both poles lie in the unit circle exactly when (Jury) det < 1, that is
// fq > 0; 1 - trace + det = f^2 > 0; and 1 + trace + det = 4 - 2fq - f^2 > 0,
// that is f^2 + 2fq < 4. Running the step twice a sample squares A and keeps
// the same condition. The damping q lies in [0, 1] (a resonance or colour in
// [0, 128]), where the last condition is tightest at q = 1: f < sqrt(5) - 1,
// about 1.236.
//
// The ceiling 1.125 leaves 4 - 2fq - f^2 >= 0.484 for every q in [0, 1], so
// no pole comes within 0.4 of -1 (at q = 1 the poles are 0.21 and -0.60);
// single-precision rounding moves the terms by parts in 10^7. q = 0, the
// undamped filter, stays on the unit circle as it always has. The ceiling
// only acts below 44,100 Hz: there f = 2^(10 (p/128 - 1)) x 44100 / rate with
// p at most 128 for a filter (f <= 1) and 128.5 for the noise (f <= 1.0275),
// so f reaches 1.125 only when 44100 / rate exceeds 1.095, below 40,275 Hz.
// Cut at the ceiling the recursion, at twice the sample rate, still reaches
// 2 asin(1.125 / 2) / pi = 0.38 of the sample rate.
#include <algorithm>

constexpr float svfFreqCeiling = 1.125f;

inline float svfStableFreq(float freq) { return std::min(freq, svfFreqCeiling); }
