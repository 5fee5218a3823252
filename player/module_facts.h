#pragma once
// Facts read off a parsed module: its first tempo and the programs a
// channel selects.
#include <cstdint>
#include "player/module.h"

constexpr uint32_t defaultTempoMicros = 500000;  // 120 beats per minute

// Microseconds per beat of the first tempo event, or defaultTempoMicros.
uint32_t moduleFirstTempo(const ModuleView& view);

// Marks in selected[p] every program p (0..127) the channel's program
// changes select; a channel without notes selects none.
void moduleChannelPrograms(const ChannelStreams& streams, bool (&selected)[128]);
