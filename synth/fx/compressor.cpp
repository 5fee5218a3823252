#include "synth/fx/compressor.h"
#include <cmath>
#include "synth/voice/math.h"

namespace {

constexpr float peakDecay = 0.99980002641677856f;
constexpr float rmsWeight = 0.0110485432669520f;  // 1 / sqrt(8192)
constexpr int32_t rmsMask = compressorRmsLength - 1;

bool isOff(int32_t mode) { return (mode & 4) != 0; }

void resetDetector(Compressor& comp) {
    comp.peakL = comp.peakR = 0.0f;
    comp.rmsSumL = comp.rmsSumR = 0.0f;
    for (float& v : comp.rmsWindow) v = 0.0f;
    comp.gainL = comp.gainR = 1.0f;
}

float decayedPeak(float peak, float x) {
    peak = peak * peakDecay;
    const float a = std::fabs(x);
    return a > peak ? a : peak;
}

// Adds a square to a running sum over the window; false when the sum has
// drifted below zero (or is not a number), where the square root is invalid.
bool rmsStep(float& sum, float& slot, float square, float& root) {
    sum = sum - slot + square;
    slot = square;
    if (!(sum >= 0.0f)) return false;
    root = std::sqrt(sum);
    return true;
}

// Fills levels[2i], levels[2i+1]; returns false if a square root failed.
// The state is worked on in locals: through the record, the compiler would
// store and reload it around every write to levels.
bool detect(Compressor& c, const float* in, float* levels, int32_t n) {
    bool valid = true;
    const float inGain = c.inGain;
    float peakL = c.peakL;
    float peakR = c.peakR;
    float sumL = c.rmsSumL;
    float sumR = c.rmsSumR;
    int32_t index = c.rmsIndex;
    float* window = c.rmsWindow;
    switch (c.mode & 3) {
    case compLinkedPeak:
        for (int32_t i = 0; i < n; ++i) {
            peakL = decayedPeak(peakL, (in[2 * i] + in[2 * i + 1]) * 0.5f);
            levels[2 * i] = levels[2 * i + 1] = peakL * inGain;
        }
        break;
    case compLinkedRms:
        for (int32_t i = 0; i < n; ++i) {
            const float m = (in[2 * i] + in[2 * i + 1]) * 0.5f;
            float root = 0.0f;
            valid &= rmsStep(sumL, window[index], m * m, root);
            levels[2 * i] = levels[2 * i + 1] = root * rmsWeight * inGain;
            index = (index + 1) & rmsMask;
        }
        break;
    case compSeparatePeak:
        for (int32_t i = 0; i < n; ++i) {
            peakL = decayedPeak(peakL, in[2 * i]);
            peakR = decayedPeak(peakR, in[2 * i + 1]);
            levels[2 * i] = peakL * inGain;
            levels[2 * i + 1] = peakR * inGain;
        }
        break;
    default:  // compSeparateRms
        for (int32_t i = 0; i < n; ++i) {
            const float l = in[2 * i];
            const float r = in[2 * i + 1];
            float rootL = 0.0f;
            float rootR = 0.0f;
            valid &= rmsStep(sumL, window[2 * index], l * l, rootL);
            valid &= rmsStep(sumR, window[2 * index + 1], r * r, rootR);
            levels[2 * i] = rootL * rmsWeight * inGain;
            levels[2 * i + 1] = rootR * rmsWeight * inGain;
            index = (index + 1) & rmsMask;
        }
        break;
    }
    c.peakL = peakL;
    c.peakR = peakR;
    c.rmsSumL = sumL;
    c.rmsSumR = sumR;
    c.rmsIndex = index;
    return valid;
}

// The gain computer of one side: the gain after one step towards the
// target that level asks for.
inline float nextGain(float g, float level, float ratio, float attack, float release) {
    const float target = level < 1.0f ? 1.0f : 1.0f / (1.0f + (level - 1.0f) * ratio);
    const float coefficient = target < g ? attack : release;
    return g + (target - g) * coefficient;
}

// Gain computer and look-ahead of both sides over n frames. The sides are
// independent, so one loop runs both: each side's recursion hides the
// other's latency. Settings and gains are kept in locals (see detect).
void applyGain(Compressor& c, float* buffer, const float* levels, int32_t n) {
    const float inGain = c.inGain;
    const float ratio = c.ratio;
    const float attack = c.attack;
    const float release = c.release;
    const float outGain = c.outGain;
    const int32_t lookahead = c.lookahead;
    float* line = c.lookLine;
    float gL = c.gainL;
    float gR = c.gainR;
    int32_t look = c.lookIndex;
    for (int32_t i = 0; i < n; ++i) {
        float* pair = buffer + 2 * i;
        float* slot = line + 2 * look;
        const float delayedL = slot[0];
        const float delayedR = slot[1];
        slot[0] = pair[0] * inGain;
        slot[1] = pair[1] * inGain;
        look = look + 1 > lookahead ? 0 : look + 1;
        gL = nextGain(gL, levels[2 * i], ratio, attack, release);
        gR = nextGain(gR, levels[2 * i + 1], ratio, attack, release);
        pair[0] = delayedL * outGain * gL;
        pair[1] = delayedR * outGain * gR;
    }
    c.gainL = gL;
    c.gainR = gR;
    c.lookIndex = look;
}

}  // namespace

void compressorInit(Compressor& comp) { comp.mode = (comp.mode & ~0xFF) | 2; }

void compressorClear(Compressor& comp) {
    resetDetector(comp);
    for (float& v : comp.lookLine) v = 0.0f;
}

void compressorSetup(Compressor& comp, const float* p) {
    const int32_t a = (roundInt(p[0]) - 1) & 5;
    const int32_t mode = a + 2 * roundInt(p[1]);
    comp.mode = mode;
    if (mode != comp.prevMode) {
        comp.prevMode = mode;
        resetDetector(comp);
    }
    const float threshold = 8.0f * pow2Span10(p[4] / 128.0f);
    const float makeup = roundInt(p[2]) != 0 ? 1.0f : threshold;
    // Global bytes are not clamped to 128, so a large value must not run the
    // look-ahead position past the end of its line.
    const int32_t lookahead = roundInt(p[3] * 44.1f);
    comp.lookahead = lookahead < 0 ? 0 : lookahead >= compressorLookLength ? compressorLookLength - 1 : lookahead;
    comp.inGain = 1.0f / threshold;
    comp.ratio = p[5] / 128.0f;
    comp.attack = pow2(-12.0f * p[6] / 128.0f);
    comp.release = pow2(-16.0f * p[7] / 128.0f);
    comp.outGain = makeup * pow2((p[8] - 64.0f) / 16.0f);
}

void compressorProcess(Compressor& comp, float* buffer, float* levels, int32_t n) {
    if (isOff(comp.mode)) return;
    if (!detect(comp, buffer, levels, n)) {
        for (int32_t i = 0; i < 2 * n; ++i) levels[i] = 0.0f;
    }
    applyGain(comp, buffer, levels, n);
}
