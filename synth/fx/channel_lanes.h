#pragma once
// The lane engine's channel chains after the compressors' detectors, for
// the sounding channels of one frame part (into synth.channelOut): their
// compressors' gains together in lanes, their bass boosts together in
// lanes, the choruses that come first, the distortions (the filter modes
// together in lanes), then the choruses that come last. Every channel's
// units run in its own order, so the samples are those of channelFxChain.
#include <cstdint>

struct Synth;

void channelFxFinishPart(Synth& synth, int32_t part, int32_t n);
