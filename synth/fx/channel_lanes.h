#pragma once
// The lane engine's channel chains, for the sounding channels of one frame
// part (into synth.channelOut): their compressors' detectors together in
// lanes, each one's look-ahead line, their gains together in lanes (the
// levels in the thread's scratch), their bass boosts together in
// lanes, the choruses that come first, the distortions (the filter modes
// together in lanes), then the choruses that come last. Every channel's
// units run in its own order, so the samples are those of channelFxChain.
#include <cstdint>

struct Synth;
struct FrameScratch;

void channelFxFinishPart(Synth& synth, FrameScratch& scratch, int32_t part, int32_t n);
