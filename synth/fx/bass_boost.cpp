#include "synth/fx/bass_boost.h"
#include <cmath>
#include "synth/voice/math.h"

namespace {

// Direct form I over one side (stride 2) with that side's state, kept in
// locals for the loop: through references the compiler would store and
// reload it around every write to the samples.
void processSide(const BassBoost& b, float* samples, int32_t n, float& x1Ref, float& x2Ref,
                 float& y1Ref, float& y2Ref) {
    const float b0 = b.b0, b1 = b.b1, b2 = b.b2, a1 = b.a1, a2 = b.a2;
    float x1 = x1Ref, x2 = x2Ref, y1 = y1Ref, y2 = y2Ref;
    for (int32_t i = 0; i < n; ++i) {
        const float x = samples[2 * i];
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        samples[2 * i] = y;
    }
    x1Ref = x1;
    x2Ref = x2;
    y1Ref = y1;
    y2Ref = y2;
}

}  // namespace

void bassBoostSetup(BassBoost& boost, float p) {
    boost.on = roundInt(p);
    if (boost.on == 0) return;  // coefficients keep their previous values
    const float A = pow2(p / 128.0f);
    const float cw = rates.boostCos;
    const float beta = std::sqrt((A * A + 1.0f) - (A - 1.0f) * (A - 1.0f));
    const float betaS = beta * rates.boostSin;
    const float a0 = (A + 1.0f) + (A - 1.0f) * cw + betaS;
    boost.b1 = 2.0f * A * ((A - 1.0f) - (A + 1.0f) * cw) / a0;
    boost.a1 = -2.0f * ((A - 1.0f) + (A + 1.0f) * cw) / a0;
    boost.a2 = ((A + 1.0f) + (A - 1.0f) * cw - betaS) / a0;
    boost.b0 = A * ((A + 1.0f) - (A - 1.0f) * cw + betaS) / a0;
    boost.b2 = A * ((A + 1.0f) - (A - 1.0f) * cw - betaS) / a0;
}

void bassBoostProcess(BassBoost& boost, float* buffer, int32_t n) {
    if (boost.on == 0) return;
    processSide(boost, buffer, n, boost.x1L, boost.x2L, boost.y1L, boost.y2L);
    processSide(boost, buffer + 1, n, boost.x1R, boost.x2R, boost.y1R, boost.y2R);
}
