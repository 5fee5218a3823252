#include "synth/voice/distortion.h"
#include <cmath>
#include <cstring>
#include "synth/voice/math.h"

namespace {

enum Mode : int32_t {
    off = 0, overdrive = 1, clip = 2, crusher = 3, decimator = 4, firstFilter = 5, lastFilter = 9
};

constexpr float two31 = 2147483648.0f;
constexpr float crushOut = 0.000030517578125f;  // 2^-15

void copyFloats(const float* input, float* output, int32_t count) {
    if (input != output && count > 0) {
        std::memmove(output, input, static_cast<size_t>(count) * sizeof(float));
    }
}

// The shaping modes treat each float alike, so mono and stereo share them.
// The settings are read into locals: through the record they would be
// reloaded after every store to the output.
void shape(const Distortion& dist, const float* input, float* output, int32_t count) {
    const float gain = dist.gain;
    const float offset = dist.offset;
    const float outScale = dist.outScale;
    switch (dist.mode) {
        case overdrive:
            for (int32_t i = 0; i < count; ++i) {
                const float v = input[i] * gain + offset;
                output[i] = fastAtan(v) * outScale;
            }
            break;
        case clip:
            for (int32_t i = 0; i < count; ++i) {
                float v = input[i] * gain + offset;
                if (v > 1.0f) v = 1.0f;
                if (v < -1.0f) v = -1.0f;
                output[i] = v * outScale;
            }
            break;
        default: {  // crusher
            const float crushScale = dist.crushScale;
            const uint32_t crushMult = static_cast<uint32_t>(dist.crushMult);
            const int32_t crushXor = dist.crushXor;
            for (int32_t i = 0; i < count; ++i) {
                // The product wraps at 32 bits; the clamp keeps it symmetric
                // at 32767, and the bit flip comes after it.
                const uint32_t q = static_cast<uint32_t>(roundInt(input[i] * crushScale));
                int32_t t = static_cast<int32_t>(q * crushMult);
                if (t > 32767) t = 32767;
                if (t < -32767) t = -32767;
                t ^= crushXor;
                output[i] = static_cast<float>(t) * crushOut;
            }
            break;
        }
    }
}

}  // namespace

bool distIsFilterMode(int32_t mode) { return mode >= firstFilter && mode <= lastFilter; }

// From 2^27 on the result rounds to pi/2 in single precision; answering that
// directly keeps a^3 and a^4 from overflowing into inf / inf = NaN.
constexpr float atanSaturation = 134217728.0f;

float fastAtan(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const float s = (bits & 0x80000000u) ? -1.0f : 1.0f;
    const float a = std::fabs(v);
    const float a2 = a * a;
    const float a4 = a2 * a2;
    float r;
    if (a >= atanSaturation) {
        r = 1.57079637f;
    } else if (((bits >> 23) & 0xFFu) < 127u) {
        r = a * (1.0f + 0.43157974f * a2) / (1.0f + 0.76443945f * a2 + 0.05831938f * a4);
    } else {
        const float q = (a2 * a + 0.431597974f * a) / (a4 + 0.76443945f * a2 + 0.05831938f);
        // pi/2 is stored in double; the difference is rounded once to single.
        r = static_cast<float>(1.5707963267948966 - static_cast<double>(q));
    }
    return s * r;
}

void distInit(Distortion& dist) {
    dist.holdPhase = 0;
    dist.heldLeft = dist.heldRight = 0;
    filterInit(dist.filterA);
    filterInit(dist.filterB);
}

void distSetup(Distortion& dist, const float* p, const RateConstants& rates) {
    // Only the low four bits count; 10 to 15 are no mode and act as off.
    dist.mode = roundInt(p[0]) & 15;
    if (dist.mode > lastFilter) dist.mode = off;
    dist.gain = pow2((p[1] - 32.0f) * 0.0625f);
    switch (dist.mode) {
        case overdrive:
        case clip: {
            const float level = p[2] / 128.0f;
            if (dist.mode == overdrive) {
                const float trueAtan = static_cast<float>(std::atan(static_cast<double>(dist.gain)));
                dist.outScale = level / trueAtan;
            } else {
                dist.outScale = level;
            }
            dist.offset = (p[3] - 64.0f) / 128.0f * 2.0f * dist.gain;
            break;
        }
        case crusher: {
            const float m = 256.0f * p[2] + 1.0f;
            dist.crushMult = roundInt(m);
            dist.crushScale = 32768.0f / m * dist.gain;
            dist.crushXor = static_cast<int32_t>(static_cast<uint32_t>(roundInt(p[3])) << 9);
            break;
        }
        case decimator:
            // The doubling drops the top bit: rate 128 gives a step of 0.
            dist.holdStep = 2u * static_cast<uint32_t>(roundInt(pow2Span10(p[2] / 128.0f) * two31));
            break;
        default:
            if (distIsFilterMode(dist.mode)) {
                const float q[3] = {static_cast<float>(dist.mode - 4), p[2], p[3]};
                filterSetup(dist.filterA, q, rates);
                filterSetup(dist.filterB, q, rates);
            }
            break;
    }
}

void distProcessMono(Distortion& dist, const float* input, float* output, int32_t n) {
    switch (dist.mode) {
        case overdrive:
        case clip:
        case crusher: shape(dist, input, output, n); break;
        case decimator:
            for (int32_t i = 0; i < n; ++i) {
                const uint32_t before = dist.holdPhase;
                dist.holdPhase += dist.holdStep;
                if (dist.holdPhase < before) dist.heldLeft = input[i];
                output[i] = dist.heldLeft;
            }
            break;
        default:
            if (distIsFilterMode(dist.mode)) {
                dist.filterA.stride = 1;
                filterProcess(dist.filterA, input, output, n);
            } else {
                copyFloats(input, output, n);
            }
            break;
    }
}

void distProcessStereo(Distortion& dist, const float* input, float* output, int32_t n) {
    switch (dist.mode) {
        case overdrive:
        case clip:
        case crusher: shape(dist, input, output, 2 * n); break;
        case decimator:
            for (int32_t i = 0; i < n; ++i) {
                const uint32_t before = dist.holdPhase;
                dist.holdPhase += dist.holdStep;
                if (dist.holdPhase < before) {
                    dist.heldLeft = input[2 * i];
                    dist.heldRight = input[2 * i + 1];
                }
                output[2 * i] = dist.heldLeft;
                output[2 * i + 1] = dist.heldRight;
            }
            break;
        default:
            if (distIsFilterMode(dist.mode)) {
                dist.filterA.stride = 2;
                dist.filterB.stride = 2;
                filterProcessPair(dist.filterA, dist.filterB, input, output, n);
            } else {
                copyFloats(input, output, 2 * n);
            }
            break;
    }
}
