#include "player/module_facts.h"
#include "player/byte_reader.h"

uint32_t moduleFirstTempo(const ModuleView& view) {
    if (view.globalEventCount == 0) return defaultTempoMicros;
    return wordAt(view.globalStream + 3 * uint64_t(view.globalEventCount));
}

void moduleChannelPrograms(const ChannelStreams& streams, bool (&selected)[128]) {
    for (bool& s : selected) s = false;
    // Without notes the parse reads no other stream of the channel.
    if (streams.noteCount == 0) return;
    uint8_t running = 0;
    for (uint32_t i = 0; i < streams.programCount; ++i) {
        running = uint8_t(running + streams.programs[3 * uint64_t(streams.programCount) + i]);
        selected[running & 0x7F] = true;
    }
}
