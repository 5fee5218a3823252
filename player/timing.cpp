#include "player/timing.h"

uint32_t ticksToFrames(uint32_t ticks, uint32_t tempoScaled, uint32_t tickScale, uint32_t& remainderSum) {
    (void)ticks; (void)tempoScaled; (void)tickScale; (void)remainderSum;
    return 0;
}
