#include "synth/fx/reverb.h"
#include <cstring>
#include "synth/voice/math.h"

namespace {

constexpr float baseGain[6] = {0.966384590f, 0.958186388f, 0.953783929f, 0.950933158f,
                               0.994260073f, 0.998044729f};

// One delay line of the network with its own wrapping position.
struct Line {
    float* data;
    int32_t length;
    int32_t pos;

    float& current() { return data[pos]; }
    void step() {
        if (++pos == length) pos = 0;
    }
};

// One side: four combs, two all-passes, the high-pass state, copied out of
// the record for a frame so that the loop keeps them in registers.
struct Side {
    Line comb[4];
    Line allpass[2];
    float combState[4];
    float lowCutState;
};

Side bindSide(Reverb& r, int32_t side) {
    Side s{};
    for (int32_t k = 0; k < 6; ++k) {
        const int32_t line = side * 6 + k;
        Line l{reverbLine(r, line), reverbLineLengths[line], r.index[line]};
        if (k < 4) s.comb[k] = l;
        else s.allpass[k - 4] = l;
    }
    for (int32_t k = 0; k < 4; ++k) s.combState[k] = r.combState[side * 4 + k];
    s.lowCutState = r.lowCutState[side];
    return s;
}

void storeSide(Reverb& r, const Side& s, int32_t side) {
    for (int32_t k = 0; k < 4; ++k) r.index[side * 6 + k] = s.comb[k].pos;
    for (int32_t k = 0; k < 2; ++k) r.index[side * 6 + 4 + k] = s.allpass[k].pos;
    for (int32_t k = 0; k < 4; ++k) r.combState[side * 4 + k] = s.combState[k];
    r.lowCutState[side] = s.lowCutState;
}

// The settings a frame uses, copied out of the record: the lines lie in the
// record too, so through it every store to a line would force a reload.
struct Coefficients {
    float combGain[4];
    float allpassGain[2];
    float damp;
    float lowCut;
};

Coefficients coefficientsOf(const Reverb& r) {
    Coefficients c{};
    for (int32_t k = 0; k < 4; ++k) c.combGain[k] = r.combGain[k];
    for (int32_t k = 0; k < 2; ++k) c.allpassGain[k] = r.allpassGain[k];
    c.damp = r.damp;
    c.lowCut = r.lowCut;
    return c;
}

// One sample of one side; adds into out and returns the underflow flags of
// every value it stored. Inlined: as a call, its state goes through memory.
[[gnu::always_inline]] inline uint32_t sideSample(const Coefficients& r, Side& s, float x, float& out) {
    uint32_t underflow = 0;
    float sum = 0.0f;
    for (int32_t k = 0; k < 4; ++k) {
        Line& line = s.comb[k];
        // The input enters combs 2 and 4 inverted.
        const float fed = line.current() * r.combGain[k];
        const float u = (k & 1) == 0 ? fed + x : fed - x;
        float& state = s.combState[k];
        state = state + (u - state) * r.damp;
        line.current() = state;
        underflow |= reverbUnderflow(state);
        line.step();
        sum = k == 0 ? state : sum + state;
    }
    float a = sum;
    for (int32_t k = 0; k < 2; ++k) {
        Line& line = s.allpass[k];
        const float g = r.allpassGain[k];
        const float b = line.current();
        const float v = a + g * b;
        line.current() = v;
        underflow |= reverbUnderflow(v);
        a = b - g * v;
        line.step();
    }
    float& h = s.lowCutState;
    h = h + (a - h) * r.lowCut;
    out += a - h;
    return underflow | reverbUnderflow(h) | reverbUnderflow(out);
}

}  // namespace

void reverbSetup(Reverb& reverb, const float* p, const RateConstants& rates) {
    const float q = 64.0f / (p[0] + 1.0f);
    const float x = q * q * rates.rateScale;
    for (int32_t k = 0; k < 4; ++k) reverb.combGain[k] = powBase(baseGain[k], x);
    for (int32_t k = 0; k < 2; ++k) reverb.allpassGain[k] = powBase(baseGain[4 + k], x);
    reverb.damp = p[1] / 128.0f * rates.rateScale;
    const float c = p[2] / 128.0f;
    reverb.lowCut = c * c * c * c * rates.rateScale;
    reverb.inGain = p[3] / 128.0f;
}

void reverbClear(Reverb& reverb) {
    for (int32_t& i : reverb.index) i = 0;
    for (float& s : reverb.combState) s = 0.0f;
    for (float& s : reverb.lowCutState) s = 0.0f;
    std::memset(reverb.lines, 0, sizeof reverb.lines);
    reverb.silent = true;
}

void reverbProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n) {
    const Coefficients coefficients = coefficientsOf(reverb);
    const float inGain = reverb.inGain;
    Side left = bindSide(reverb, 0);
    Side right = bindSide(reverb, 1);
    reverb.silent = false;
    uint32_t underflow = 0;
    for (int32_t i = 0; i < n; ++i) {
        const float x = bus[i] * inGain;
        underflow |= sideSample(coefficients, left, x, mainMix[2 * i]);
        underflow |= sideSample(coefficients, right, x, mainMix[2 * i + 1]);
    }
    storeSide(reverb, left, 0);
    storeSide(reverb, right, 1);
    if (underflow != 0) reverbClear(reverb);
}
