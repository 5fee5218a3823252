#pragma once
// Tick distances to frame counts at 44,100 frames per second.
#include <cstdint>

constexpr uint32_t defaultTempoScaled = 220500000u;  // 500,000 us per beat x 441
constexpr uint32_t maxStepFrames = 0xFFFFFFFEu;       // a quotient above this saturates

// ticks x tempoScaled / tickScale as a 64-bit product and a 32-bit quotient;
// the remainder is added to remainderSum, and only when that addition wraps
// past 2^32 does the result grow by one frame.
uint32_t ticksToFrames(uint32_t ticks, uint32_t tempoScaled, uint32_t tickScale,
                       uint32_t& remainderSum);
