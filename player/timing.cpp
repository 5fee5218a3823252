#include "player/timing.h"
#include <numeric>

uint32_t ticksToFrames(uint32_t ticks, uint32_t tempoScaled, uint32_t tickScale,
                       uint32_t& remainderSum) {
    if (tickScale == 0) return maxStepFrames;  // the parse refuses such modules
    const uint64_t product = uint64_t(ticks) * tempoScaled;
    uint64_t frames = product / tickScale;
    const uint32_t remainder = uint32_t(product % tickScale);
    const uint32_t before = remainderSum;
    remainderSum += remainder;
    if (remainderSum < before) frames += 1;  // the sum wrapped past 2^32
    // All ones means "song ended" to the render entry, so a real distance
    // stays one below it.
    return frames > maxStepFrames ? maxStepFrames : uint32_t(frames);
}

RateRatio rateRatioFor(uint32_t sampleRate) {
    const uint32_t common = std::gcd(sampleRate, 44100u);
    if (common == 0) return RateRatio{};
    return RateRatio{sampleRate / common, 44100u / common};
}

uint32_t ticksToFramesAtRate(uint32_t ticks, uint32_t tempoScaled, uint32_t tickScale,
                             RateRatio rate, uint32_t& remainderSum) {
    if (rate.num == rate.den) return ticksToFrames(ticks, tempoScaled, tickScale, remainderSum);
    if (tickScale == 0) return maxStepFrames;
    // Up to 2^32 x 2^32 x 96,000: past 64 bits.
    __extension__ typedef unsigned __int128 Wide;
    const Wide product = Wide(uint64_t(ticks) * tempoScaled) * rate.num;
    const uint64_t divisor = uint64_t(tickScale) * rate.den;
    const Wide frames = product / divisor;
    const uint32_t remainder = uint32_t(uint64_t(product % divisor) / rate.den);
    const uint32_t before = remainderSum;
    remainderSum += remainder;
    const Wide total = frames + (remainderSum < before ? 1 : 0);
    return total > maxStepFrames ? maxStepFrames : uint32_t(total);
}
