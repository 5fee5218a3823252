#include "synth/voice/lfo.h"
#include "synth/seed.h"
#include "synth/voice/math.h"

namespace {

constexpr float two31 = 2147483648.0f;
constexpr uint32_t topBit = 0x80000000u;
constexpr uint32_t endOfCycle = 0xFFFFFFFFu;

float triangle(uint32_t phase) {
    uint32_t v = phase << 1;
    if (phase & topBit) v = ~v;
    return frac(v);
}

float sampleAndHold(Lfo& lfo) {
    // A phase below the last one means it wrapped (or a key-synchronised
    // note on set lastPhase to the end of the cycle): draw a new value.
    if (lfo.phase < lfo.lastPhase) lfo.randSeed = lfo.randSeed * 0x0BB38435u + 0x3619636Bu;
    lfo.lastPhase = lfo.phase;
    return frac(lfo.randSeed);
}

}  // namespace

void lfoInit(Lfo& lfo, SeedSource& seeds) {
    lfo.phase = 0;
    lfo.lastPhase = 0;
    lfo.randSeed = seedSourceDraw(seeds);
}

void lfoSetup(Lfo& lfo, const float* p) {
    lfo.mode = roundInt(p[0]);
    lfo.keySync = roundInt(p[1]);
    lfo.envMode = roundInt(p[2]);
    lfo.increment = static_cast<uint32_t>(roundInt(pow2Span10(p[3] / 128.0f) * two31 * 0.5f));
    // The doubling drops the top bit: a start phase of 128 wraps to 0.
    lfo.startPhase = 2u * static_cast<uint32_t>(roundInt(p[4] / 128.0f * two31));
    const int32_t polarity = roundInt(p[5]);
    const float amplitude = p[6];
    lfo.offset = polarity == 2 ? -amplitude / 2.0f : 0.0f;
    lfo.scale = polarity == 1 ? -amplitude : amplitude;
}

void lfoNoteOn(Lfo& lfo) {
    if (lfo.keySync == 0) return;
    lfo.phase = lfo.startPhase;
    lfo.lastPhase = endOfCycle;
}

void lfoTick(Lfo& lfo) {
    switch (lfo.mode & 7) {
        case 0: lfo.out = frac(lfo.phase) * lfo.scale + lfo.offset; break;
        case 1: lfo.out = triangle(lfo.phase) * lfo.scale + lfo.offset; break;
        case 2: lfo.out = ((lfo.phase & topBit) ? frac(endOfCycle) : 0.0f) * lfo.scale + lfo.offset; break;
        case 3: lfo.out = (fastSin(twoPiF * frac(lfo.phase)) * 0.5f + 0.5f) * lfo.scale + lfo.offset; break;
        case 4: lfo.out = sampleAndHold(lfo) * lfo.scale + lfo.offset; break;
        default: lfo.out = 0.0f; break;  // 5 to 7 are no waveform: no modulation
    }
    const uint32_t before = lfo.phase;
    lfo.phase += lfo.increment;
    // One-shot: once the cycle ends the phase stays pinned at its end.
    if (lfo.phase < before && lfo.envMode != 0) lfo.phase = endOfCycle;
}
