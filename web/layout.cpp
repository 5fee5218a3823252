// Where wembrastel.mjs finds the fields of wb_config and wb_info in the
// WebAssembly memory. The script reads these offsets instead of keeping its
// own copy of the C layout, so a field added to either struct cannot shift
// what it reads.
#include <cstddef>
#include <cstdint>
#include "wembrastel/wembrastel.h"

namespace {
const uint32_t layout[] = {
    sizeof(wb_config),
    offsetof(wb_config, sample_rate),
    offsetof(wb_config, seed),
    offsetof(wb_config, use_seed),
    sizeof(wb_info),
    offsetof(wb_info, length_frames),
    offsetof(wb_info, length_seconds),
    offsetof(wb_info, ticks_per_beat),
    offsetof(wb_info, first_tempo),
    offsetof(wb_info, channels),
    sizeof(wb_channel_info),
    offsetof(wb_channel_info, note_count),
    offsetof(wb_channel_info, program_count),
    offsetof(wb_channel_info, programs),
    offsetof(wb_info, speech_text_count),
    offsetof(wb_info, speech_texts),
    sizeof(const char*),
};
}  // namespace

extern "C" __attribute__((export_name("wbjs_layout"))) const uint32_t* wbjs_layout() {
    return layout;
}
