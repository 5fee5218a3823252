#include "synth/fx/compressor.h"
#include <algorithm>
#include <cmath>
#include "synth/output_filter.h"
#include "synth/voice/math.h"

namespace {

constexpr float peakDecay = compressorPeakDecay;
constexpr float rmsWeight = compressorRmsWeight;
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
// Without a branch: a sum near zero flips its sign at random, which a branch
// would mispredict.
bool rmsStep(float& sum, float& slot, float square, float& root) {
    sum = sum - slot + square;
    slot = square;
    // Equal to sqrt(sum) wherever the root is used (a zero's sign aside, which
    // no level comparison sees); an invalid frame's levels become 0.
    root = std::sqrt(std::fabs(sum));
    return sum >= 0.0f;
}

// The detector's state, worked on in locals for a frame: through the
// record, the compiler would store and reload it around every write.
struct DetectorState {
    float inGain;
    float peakL, peakR;
    float sumL, sumR;
    int32_t index;
    float* window;
    bool valid;  // no square root has failed
};

DetectorState detectorOf(Compressor& c) {
    return {c.inGain, c.peakL, c.peakR, c.rmsSumL, c.rmsSumR, c.rmsIndex, c.rmsWindow, true};
}

void detectorStore(Compressor& c, const DetectorState& s) {
    c.peakL = s.peakL;
    c.peakR = s.peakR;
    c.rmsSumL = s.sumL;
    c.rmsSumR = s.sumR;
    c.rmsIndex = s.index;
}

// The levels of one stereo pair for one detector selection.
template <int32_t detector>
inline void detectPair(DetectorState& s, const float* pair, float& levelL, float& levelR) {
    if constexpr (detector == compLinkedPeak) {
        s.peakL = decayedPeak(s.peakL, (pair[0] + pair[1]) * 0.5f);
        levelL = levelR = s.peakL * s.inGain;
    } else if constexpr (detector == compLinkedRms) {
        const float m = (pair[0] + pair[1]) * 0.5f;
        float root = 0.0f;
        s.valid &= rmsStep(s.sumL, s.window[s.index], m * m, root);
        levelL = levelR = root * rmsWeight * s.inGain;
        s.index = (s.index + 1) & rmsMask;
    } else if constexpr (detector == compSeparatePeak) {
        s.peakL = decayedPeak(s.peakL, pair[0]);
        s.peakR = decayedPeak(s.peakR, pair[1]);
        levelL = s.peakL * s.inGain;
        levelR = s.peakR * s.inGain;
    } else {
        const float l = pair[0];
        const float r = pair[1];
        float rootL = 0.0f;
        float rootR = 0.0f;
        s.valid &= rmsStep(s.sumL, s.window[2 * s.index], l * l, rootL);
        s.valid &= rmsStep(s.sumR, s.window[2 * s.index + 1], r * r, rootR);
        levelL = rootL * rmsWeight * s.inGain;
        levelR = rootR * rmsWeight * s.inGain;
        s.index = (s.index + 1) & rmsMask;
    }
}

// Fills levels[2i], levels[2i+1]; returns false if a square root failed.
// With withCut, the output filter runs on each pair first (in place).
template <int32_t detector, bool withCut = false>
bool detectFrame(Compressor& c, float* in, float* levels, int32_t n, OutputCut* cut = nullptr) {
    DetectorState s = detectorOf(c);
    OutputCut local{};
    if constexpr (withCut) local = *cut;
    for (int32_t i = 0; i < n; ++i) {
        if constexpr (withCut) outputCutPair(local, in + 2 * i);
        detectPair<detector>(s, in + 2 * i, levels[2 * i], levels[2 * i + 1]);
    }
    detectorStore(c, s);
    if constexpr (withCut) *cut = local;
    return s.valid;
}

bool detect(Compressor& c, float* in, float* levels, int32_t n) {
    switch (c.mode & 3) {
    case compLinkedPeak: return detectFrame<compLinkedPeak>(c, in, levels, n);
    case compLinkedRms: return detectFrame<compLinkedRms>(c, in, levels, n);
    case compSeparatePeak: return detectFrame<compSeparatePeak>(c, in, levels, n);
    default: return detectFrame<compSeparateRms>(c, in, levels, n);
    }
}

// The gain computer of one side: the gain after one step towards the
// target that level asks for.
inline float nextGain(float g, float level, float ratio, float attack, float release) {
    const float target = level < 1.0f ? 1.0f : 1.0f / (1.0f + (level - 1.0f) * ratio);
    const float coefficient = target < g ? attack : release;
    return g + (target - g) * coefficient;
}

// Settings, gains and look-ahead position in locals (see DetectorState).
struct GainState {
    float inGain, ratio, attack, release, outGain;
    int32_t lookahead;
    float* line;
    float gL, gR;
    int32_t look;
};

GainState gainOf(Compressor& c) {
    return {c.inGain, c.ratio, c.attack, c.release, c.outGain, c.lookahead, c.lookLine,
            c.gainL, c.gainR, c.lookIndex};
}

void gainStore(Compressor& c, const GainState& s) {
    c.gainL = s.gL;
    c.gainR = s.gR;
    c.lookIndex = s.look;
}

// One pair through the look-ahead line and both sides' gains. The sides are
// independent: each one's recursion hides the other's latency.
inline void gainPair(GainState& s, float* pair, float levelL, float levelR) {
    float* slot = s.line + 2 * s.look;
    const float delayedL = slot[0];
    const float delayedR = slot[1];
    slot[0] = pair[0] * s.inGain;
    slot[1] = pair[1] * s.inGain;
    s.look = s.look + 1 > s.lookahead ? 0 : s.look + 1;
    s.gL = nextGain(s.gL, levelL, s.ratio, s.attack, s.release);
    s.gR = nextGain(s.gR, levelR, s.ratio, s.attack, s.release);
    pair[0] = delayedL * s.outGain * s.gL;
    pair[1] = delayedR * s.outGain * s.gR;
}

void applyGain(Compressor& c, float* buffer, const float* levels, int32_t n) {
    GainState s = gainOf(c);
    for (int32_t i = 0; i < n; ++i) gainPair(s, buffer + 2 * i, levels[2 * i], levels[2 * i + 1]);
    gainStore(c, s);
}

// True when every level is below 1 (the target is 1 throughout) and a step
// towards 1 leaves both gains where they are: then they hold all frame, as
// they do through a quiet passage once settled.
bool gainsHold(const Compressor& c, const float* levels, int32_t n) {
    if (nextGain(c.gainL, 0.0f, c.ratio, c.attack, c.release) != c.gainL ||
        nextGain(c.gainR, 0.0f, c.ratio, c.attack, c.release) != c.gainR)
        return false;
    bool below = true;
    for (int32_t i = 0; i < 2 * n; ++i) below &= levels[i] < 1.0f;
    return below;
}

// The look-ahead line alone: each pair of buffer in, the pair that left the
// line out, along time, a stretch up to the line's wrap at once. A look-ahead
// shortened below the position takes one more pair there, then wraps, as
// gainPair does.
void delayPairs(Compressor& c, float* buffer, int32_t n) {
    const float inGain = c.inGain;
    int32_t look = c.lookIndex;
    for (int32_t i = 0; i < n;) {
        const int32_t count = std::min(n - i, std::max(1, c.lookahead + 1 - look));
        float* slot = c.lookLine + 2 * look;
        float* pair = buffer + 2 * i;
        for (int32_t k = 0; k < 2 * count; ++k) {
            const float delayed = slot[k];
            slot[k] = pair[k] * inGain;
            pair[k] = delayed;
        }
        look = look + count > c.lookahead ? 0 : look + count;
        i += count;
    }
    c.lookIndex = look;
}

// applyGain with gains that hold: no recursion is left.
void applyHeldGains(Compressor& c, float* buffer, int32_t n) {
    delayPairs(c, buffer, n);
    const float outGain = c.outGain, gL = c.gainL, gR = c.gainR;
    for (int32_t i = 0; i < n; ++i) {
        buffer[2 * i] = buffer[2 * i] * outGain * gL;
        buffer[2 * i + 1] = buffer[2 * i + 1] * outGain * gR;
    }
}

// The lane engine's applyGain.
void applyGainLanes(Compressor& c, float* buffer, const float* levels, int32_t n) {
    if (gainsHold(c, levels, n)) applyHeldGains(c, buffer, n);
    else applyGain(c, buffer, levels, n);
}

// A peak detector (it never fails) in one loop with the gains, and the
// output filter first when withCut: their recursions run side by side. An
// RMS detector's square root and the gains' division make one loop slower
// than two, so there only the output filter joins the detector.
template <int32_t detector, bool withCut>
void fusedFrame(Compressor& c, float* buffer, float* levels, int32_t n, OutputCut* cut) {
    if constexpr (detector == compLinkedRms || detector == compSeparateRms) {
        if (!detectFrame<detector, withCut>(c, buffer, levels, n, cut))
            for (int32_t i = 0; i < 2 * n; ++i) levels[i] = 0.0f;
        applyGainLanes(c, buffer, levels, n);
    } else {
        DetectorState det = detectorOf(c);
        GainState gain = gainOf(c);
        OutputCut local{};
        if constexpr (withCut) local = *cut;
        for (int32_t i = 0; i < n; ++i) {
            float* pair = buffer + 2 * i;
            if constexpr (withCut) outputCutPair(local, pair);
            float levelL, levelR;
            detectPair<detector>(det, pair, levelL, levelR);
            gainPair(gain, pair, levelL, levelR);
        }
        detectorStore(c, det);
        gainStore(c, gain);
        if constexpr (withCut) *cut = local;
    }
}

template <bool withCut>
void fused(Compressor& c, float* buffer, float* levels, int32_t n, OutputCut* cut) {
    switch (c.mode & 3) {
    case compLinkedPeak: return fusedFrame<compLinkedPeak, withCut>(c, buffer, levels, n, cut);
    case compLinkedRms: return fusedFrame<compLinkedRms, withCut>(c, buffer, levels, n, cut);
    case compSeparatePeak: return fusedFrame<compSeparatePeak, withCut>(c, buffer, levels, n, cut);
    default: return fusedFrame<compSeparateRms, withCut>(c, buffer, levels, n, cut);
    }
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

void compressorProcessFused(Compressor& comp, float* buffer, float* levels, int32_t n, OutputCut* cut) {
    if (!isOff(comp.mode)) {
        if (cut) fused<true>(comp, buffer, levels, n, cut);
        else fused<false>(comp, buffer, levels, n, cut);
    } else if (cut) {
        OutputCut local = *cut;
        for (int32_t i = 0; i < n; ++i) outputCutPair(local, buffer + 2 * i);
        *cut = local;
    }
}

bool compressorOn(const Compressor& comp) { return !isOff(comp.mode); }

void compressorDelay(Compressor& comp, float* buffer, int32_t n) { delayPairs(comp, buffer, n); }
