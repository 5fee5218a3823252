#include "synth/voice/oscillator.h"
#include <cmath>
#include "synth/seed.h"
#include "synth/voice/math.h"
#include "synth/voice/svf_stability.h"

namespace {

constexpr float oneTwelfth = 0.0833333358f;
constexpr float inv128 = 0.0078125f;
constexpr float two31 = 2147483648.0f;
constexpr uint32_t quarterCycle = 0x40000000u;
constexpr uint32_t topBit = 0x80000000u;

// Modes 1 to 4 add to the buffer, or multiply into it with ring modulation.
inline void combine(float* buffer, int32_t i, float y, bool ring) {
    buffer[i] = ring ? y * buffer[i] : buffer[i] + y;
}

// The box-filter case of a step ending at `phase`: bit 2 the previous phase
// was in segment 1, bit 1 the phase wrapped, bit 0 it is in segment 1 now.
inline int caseIndex(uint32_t phase, uint32_t increment, uint32_t breakpoint) {
    const uint32_t prev = phase - increment;
    const int a = prev < breakpoint ? 4 : 0;
    const int w = phase < increment ? 2 : 0;
    const int s = phase < breakpoint ? 1 : 0;
    return a + w + s;
}

}  // namespace

TriSawShape triSawShape(const Oscillator& osc) {
    TriSawShape shape;
    shape.g = osc.gain;
    shape.f = frac(osc.increment);
    shape.bp = frac(osc.breakpoint);
    shape.A = -shape.g / (1.0f - shape.bp);
    shape.B = shape.g / shape.bp;  // infinite at bp = 0, and then segment 1 is empty
    // Below 2^9 the step is no representable fraction of a cycle (f = 0):
    // every step then lies inside one segment and needs no division by f.
    shape.tinyStep = shape.f == 0.0f;
    shape.invF = shape.tinyStep ? 0.0f : 1.0f / shape.f;
    // A breakpoint below 2^9 means bp = 0 as well: segment 1 must then be
    // empty for the tests too, or B (infinite) would be used.
    shape.breakpoint = shape.bp == 0.0f ? 0u : osc.breakpoint;
    return shape;
}

PulseShape pulseShape(const Oscillator& osc) {
    PulseShape shape;
    shape.g = osc.gain;
    shape.f = frac(osc.increment);
    shape.bp = frac(osc.breakpoint);
    shape.tinyStep = shape.f == 0.0f;
    shape.gOverF = shape.tinyStep ? 0.0f : shape.g / shape.f;
    shape.X0 = (2.0f * shape.bp - 2.0f) * shape.gOverF + shape.g;
    shape.X1 = 2.0f * shape.bp * shape.gOverF - shape.g;
    return shape;
}

namespace {

// Mean of the triangle/saw rising from -g at 0 to +g at bp and falling back
// to -g at the cycle end, over each step.
void renderTriSaw(Oscillator& osc, float* buffer, int32_t n) {
    const TriSawShape shape = triSawShape(osc);
    const float g = shape.g, f = shape.f, bp = shape.bp, A = shape.A, B = shape.B, invF = shape.invF;
    const bool tinyStep = shape.tinyStep;
    const uint32_t breakpoint = shape.breakpoint;
    const bool ring = (osc.ring & 1) != 0;
    uint32_t phase = osc.phase;
    const uint32_t increment = osc.increment;
    for (int32_t i = 0; i < n; ++i) {
        const float p = frac(phase);
        const float D = p - bp;
        const int index = tinyStep ? (phase < breakpoint ? 1 : 0)
                                   : caseIndex(phase, increment, breakpoint);
        float y;
        switch (index) {
            case 0:
            case 6: y = (2.0f * D - f) * A + g; break;
            case 1:
            case 5: y = (2.0f * D - f) * B + g; break;
            case 4: {
                const float Df = D - f;
                y = (A * (D * D) - B * (Df * Df)) * invF + g;
                break;
            }
            case 3: {
                const float e = 1.0f + D - f;
                y = g - (A * (e * e) - B * (D * D) + g) * invF;
                break;
            }
            case 2: y = g - ((1.0f - f) * (2.0f * D + 1.0f - f) * A + g) * invF; break;
            default: y = g - ((1.0f - f) * (2.0f * D + 1.0f - f) * B + g) * invF; break;
        }
        combine(buffer, i, y, ring);
        phase += increment;
    }
    osc.phase = phase;
}

// Mean of the rectangle that is +g below bp and -g from bp on, over each step.
void renderPulse(Oscillator& osc, float* buffer, int32_t n) {
    const PulseShape shape = pulseShape(osc);
    const float g = shape.g, bp = shape.bp, gOverF = shape.gOverF, X0 = shape.X0, X1 = shape.X1;
    const bool tinyStep = shape.tinyStep;
    const bool ring = (osc.ring & 1) != 0;
    uint32_t phase = osc.phase;
    const uint32_t increment = osc.increment;
    const uint32_t breakpoint = osc.breakpoint;
    for (int32_t i = 0; i < n; ++i) {
        const float p = frac(phase);
        const int index = tinyStep ? (phase < breakpoint ? 1 : 0)
                                   : caseIndex(phase, increment, breakpoint);
        float y;
        switch (index) {
            case 0:
            case 6: y = -g; break;
            case 1:
            case 5: y = g; break;
            case 4: y = 2.0f * (bp - p) * gOverF + g; break;
            case 3: y = 2.0f * p * gOverF - g; break;
            case 2: y = X1; break;
            default: y = X0; break;
        }
        combine(buffer, i, y, ring);
        phase += increment;
    }
    osc.phase = phase;
}

void renderSine(Oscillator& osc, float* buffer, int32_t n) {
    const float g = osc.gain;
    const bool ring = (osc.ring & 1) != 0;
    uint32_t phase = osc.phase;
    const uint32_t increment = osc.increment;
    for (int32_t i = 0; i < n; ++i) {
        // Fold the phase into the rising half-cycle around zero.
        uint32_t h = phase + quarterCycle;
        if (h & topBit) h = ~h;
        const float t = static_cast<float>(h >> 8) * (1.0f / 8388608.0f);
        const float u = (1.0f + t) * piF - threeHalfPiF;
        const float y = g * u * sinSeries(u);
        combine(buffer, i, y, ring);
        phase += increment;
    }
    osc.phase = phase;
}

void renderNoise(Oscillator& osc, float* buffer, int32_t n) {
    const float g = osc.gain;
    const float F = osc.noiseFreq;
    const float Q = osc.noiseDamp;
    const bool ring = (osc.ring & 1) != 0;
    uint32_t seed = osc.noiseSeed;
    float low = osc.noiseLow;
    float band = osc.noiseBand;
    for (int32_t i = 0; i < n; ++i) {
        seed = seed * 0x0BB38435u + 0x3619636Bu;
        const float v = static_cast<float>(seed >> 9) * (1.0f / 4194304.0f) - 1.0f;
        low += F * band;
        const float high = v - Q * band - low;
        band += F * high;
        const float y = g * (Q * (high + low) + band);
        combine(buffer, i, y, ring);
    }
    osc.noiseSeed = seed;
    osc.noiseLow = low;
    osc.noiseBand = band;
}

// Sine phase-modulated by the buffer; replaces it (or multiplies into it).
void renderFm(Oscillator& osc, float* buffer, int32_t n) {
    const float g = osc.gain;
    const bool ring = (osc.ring & 1) != 0;
    uint32_t phase = osc.phase;
    const uint32_t increment = osc.increment;
    for (int32_t i = 0; i < n; ++i) {
        const float m = buffer[i];
        const float y = g * fastSin(twoPiF * (2.0f * m + 1.0f + frac(phase)));
        buffer[i] = ring ? y * buffer[i] : y;
        phase += increment;
    }
    osc.phase = phase;
}

}  // namespace

void oscInit(Oscillator& osc, SeedSource& seeds) {
    osc.phase = 0;
    osc.noiseLow = osc.noiseBand = 0;
    osc.noiseSeed = seedSourceDraw(seeds);
}

void oscSetup(Oscillator& osc, const float* p, const RateConstants& rates) {
    osc.mode = roundInt(p[0]);
    osc.ring = roundInt(p[1]);
    osc.noteOffset = (p[2] - 64.0f) + (p[3] - 64.0f) * inv128;
    oscUpdatePitch(osc, rates);
    osc.gain = p[5] / 128.0f;
    // The doubling drops the top bit: colour 128 wraps to a breakpoint of 0.
    osc.breakpoint = 2u * static_cast<uint32_t>(roundInt(p[4] / 128.0f * two31));
    osc.noiseDamp = 1.0f - std::sqrt(p[4] / 128.0f);
}

void oscUpdatePitch(Oscillator& osc, const RateConstants& rates) {
    osc.noiseFreq = svfStableFreq(pow2Span10((osc.noteOffset + 64.0f) / 128.0f) * rates.rateScale);
    // roundInt gives INT32_MIN for 2^31 and above (and NaN): the increment
    // saturates at 0x80000000, half a cycle per sample.
    const float inc = pow2((osc.note + osc.noteOffset - 60.0f) * oneTwelfth) * rates.pitchBase;
    osc.increment = static_cast<uint32_t>(roundInt(inc));
}

void oscRender(Oscillator& osc, float* buffer, int32_t n) {
    switch (osc.mode & 7) {
        case 1: renderTriSaw(osc, buffer, n); break;
        case 2: renderPulse(osc, buffer, n); break;
        case 3: renderSine(osc, buffer, n); break;
        case 4: renderNoise(osc, buffer, n); break;
        case 5: renderFm(osc, buffer, n); break;
        default: break;  // 0, 6, 7: off
    }
}
