#include "synth/fx/mod_delay.h"
#include "synth/voice/math.h"

namespace {

// Triangle from a phase: rises 0 .. 2^32 - 2 over the first half cycle,
// falls 2^32 - 1 .. 1 over the second.
uint32_t triangle(uint32_t s) {
    const uint32_t t = s << 1;
    return (s & 0x80000000u) != 0 ? ~t : t;
}

// Modulation offset of one side: whole samples and the 23-bit fraction.
struct Sweep {
    int32_t whole;
    float fraction;
};

Sweep sweep(uint32_t lfoPhase, uint32_t depth) {
    const uint64_t product = static_cast<uint64_t>(triangle(lfoPhase)) * depth;
    return {static_cast<int32_t>(product >> 32), frac(static_cast<uint32_t>(product))};
}

float interpolate(const float* line, int32_t i0, int32_t mask, float fraction) {
    const int32_t i1 = (i0 + 1) & mask;
    return line[i0] + (line[i1] - line[i0]) * (1.0f - fraction);
}

// Delayed samples of both sides at the current write position. The right
// side reads one sample further back than the left for the same base delay.
struct Taps {
    float left;
    float right;
};

Taps readTaps(const ModDelay& u) {
    const Sweep r = sweep(u.phase + static_cast<uint32_t>(u.phaseOffset), u.depth);
    const int32_t dR = u.delayR + r.whole;
    const float right = interpolate(u.lineR, (u.writeIndex - dR - 1) & u.mask, u.mask, r.fraction);
    const Sweep l = sweep(u.phase, u.depth);
    const int32_t dL = u.delayL + l.whole;
    const float left = interpolate(u.lineL, (u.writeIndex - dL) & u.mask, u.mask, l.fraction);
    return {left, right};
}

void advance(ModDelay& u) {
    u.phase += u.phaseInc;
    u.writeIndex = (u.writeIndex + 1) & u.mask;
}

int32_t baseDelay(float p, int32_t mask) {
    return roundInt(p * static_cast<float>(mask - 1023) / 128.0f);
}

}  // namespace

void modDelayBind(ModDelay& unit, float* lineL, float* lineR, int32_t mask) {
    unit.lineL = lineL;
    unit.lineR = lineR;
    unit.mask = mask;
}

void modDelaySetup(ModDelay& unit, const float* p, const RateConstants& rates) {
    unit.wet = (p[0] - 64.0f) / 64.0f;
    unit.dry = 1.0f - (unit.wet < 0.0f ? -unit.wet : unit.wet);
    unit.feedback = (p[1] - 64.0f) / 64.0f;
    unit.delayL = baseDelay(p[2], unit.mask);
    unit.delayR = baseDelay(p[3], unit.mask);
    unit.phaseInc = static_cast<uint32_t>(
        roundInt(pow2Span10(p[4] / 128.0f) * 1973915.5f * rates.rateScale));
    unit.depth = static_cast<uint32_t>(roundInt(p[5] / 128.0f * 1023.0f));
    // (p - 64) / 128 of a cycle; 2^31 (p = 128) wraps to -2^31, the same offset.
    const uint32_t half = static_cast<uint32_t>(roundInt((p[6] - 64.0f) / 128.0f * 2147483648.0f));
    unit.phaseOffset = static_cast<int32_t>(half * 2u);
}

void modDelayClear(ModDelay& unit) {
    unit.writeIndex = 0;
    unit.phase = 0;
    for (int32_t i = 0; i <= unit.mask; ++i) {
        unit.lineL[i] = 0.0f;
        unit.lineR[i] = 0.0f;
    }
}

// Both loops work on a copy of the unit: through the record, every store to a
// line or the buffer would force its settings to be reloaded.
void modDelayProcessStereo(ModDelay& shared, float* buffer, int32_t n) {
    if (shared.wet == 0.0f) return;
    ModDelay unit = shared;
    for (int32_t i = 0; i < n; ++i) {
        const float xL = buffer[2 * i];
        const float xR = buffer[2 * i + 1];
        const Taps y = readTaps(unit);
        buffer[2 * i + 1] = xR * unit.dry + y.right * unit.wet;
        unit.lineR[unit.writeIndex] = xR + y.right * unit.feedback;
        buffer[2 * i] = xL * unit.dry + y.left * unit.wet;
        unit.lineL[unit.writeIndex] = xL + y.left * unit.feedback;
        advance(unit);
    }
    shared.phase = unit.phase;
    shared.writeIndex = unit.writeIndex;
}

void modDelayProcessSend(ModDelay& shared, const float* monoIn, float* stereoOut, int32_t n) {
    if (shared.wet == 0.0f) return;
    ModDelay unit = shared;
    for (int32_t i = 0; i < n; ++i) {
        const float x = monoIn[i];
        const Taps y = readTaps(unit);
        stereoOut[2 * i + 1] += y.right * unit.wet;
        unit.lineR[unit.writeIndex] = x + y.right * unit.feedback;
        stereoOut[2 * i] += y.left * unit.wet;
        unit.lineL[unit.writeIndex] = x + y.left * unit.feedback;
        advance(unit);
    }
    shared.phase = unit.phase;
    shared.writeIndex = unit.writeIndex;
}
