#include "synth/fx/bass_boost.h"
#include <cmath>
#include "synth/voice/math.h"

namespace {

// Direct form I of one side: the output for input x, the state moved on.
struct SideState {
    float x1, x2, y1, y2;
};

inline float step(const BassBoost& b, SideState& s, float x) {
    const float y = b.b0 * x + b.b1 * s.x1 + b.b2 * s.x2 - b.a1 * s.y1 - b.a2 * s.y2;
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

}  // namespace

void bassBoostSetup(BassBoost& boost, float p, const RateConstants& rates) {
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

// Both sides in one loop: they are independent, so each one's recursion
// hides the other's latency. Coefficients and states are copied into locals,
// which through the record would be reloaded after every store.
void bassBoostProcess(BassBoost& boost, float* buffer, int32_t n) {
    if (boost.on == 0) return;
    const BassBoost b = boost;
    SideState left{b.x1L, b.x2L, b.y1L, b.y2L};
    SideState right{b.x1R, b.x2R, b.y1R, b.y2R};
    for (int32_t i = 0; i < n; ++i) {
        buffer[2 * i] = step(b, left, buffer[2 * i]);
        buffer[2 * i + 1] = step(b, right, buffer[2 * i + 1]);
    }
    boost.x1L = left.x1, boost.x2L = left.x2, boost.y1L = left.y1, boost.y2L = left.y2;
    boost.x1R = right.x1, boost.x2R = right.x2, boost.y1R = right.y1, boost.y2R = right.y2;
}
