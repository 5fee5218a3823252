#pragma once
// Tick distances to frame counts at 44,100 frames per second, and at other
// rates through their ratio to it.
#include <cstdint>

constexpr uint32_t defaultTempoScaled = 220500000u;  // 500,000 us per beat x 441
constexpr uint32_t maxStepFrames = 0xFFFFFFFEu;       // a quotient above this saturates

// ticks x tempoScaled / tickScale as a 64-bit product and a 32-bit quotient;
// the remainder is added to remainderSum, and only when that addition wraps
// past 2^32 does the result grow by one frame.
uint32_t ticksToFrames(uint32_t ticks, uint32_t tempoScaled, uint32_t tickScale,
                       uint32_t& remainderSum);

// A sample rate as num / den x 44,100 in lowest terms (1 / 1 at 44,100 Hz).
struct RateRatio {
    uint32_t num = 1;
    uint32_t den = 1;
};

RateRatio rateRatioFor(uint32_t sampleRate);

// ticksToFrames at the rate: ticks x tempoScaled x num / (tickScale x den).
// The remainder, scaled back to 44,100 Hz units (divided by den), feeds the
// same wrapping sum, so 1 / 1 gives exactly ticksToFrames.
uint32_t ticksToFramesAtRate(uint32_t ticks, uint32_t tempoScaled, uint32_t tickScale,
                             RateRatio rate, uint32_t& remainderSum);
