#include "player/timing.h"

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
