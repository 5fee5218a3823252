// wb_get_info: what the open module holds, at the player's rate.
#include <cstring>
#include "lib/library_player.h"
#include "player/module_facts.h"

extern "C" int wb_get_info(const wb_player* player, wb_info* info) {
    if (!player || !info) return WB_ERROR_ARGUMENT;
    std::memset(info, 0, sizeof *info);
    const ModuleView& view = player->player.view;
    info->sample_rate = static_cast<uint32_t>(player->sampleRate);
    info->length_frames = player->lengthFrames;
    info->length_seconds = double(player->lengthFrames) / player->sampleRate;
    info->ticks_per_beat = view.timeDivision;
    info->first_tempo = moduleFirstTempo(view);
    for (int c = 0; c < WB_CHANNELS; ++c) {
        wb_channel_info& channel = info->channels[c];
        channel.note_count = view.channels[c].noteCount;
        bool selected[128];
        moduleChannelPrograms(view.channels[c], selected);
        for (int program = 0; program < 128; ++program)
            if (selected[program]) channel.programs[channel.program_count++] = uint8_t(program);
    }
    info->speech_text_count = view.speechTextCount;
    for (uint32_t i = 0; i < view.speechTextCount && i < WB_MAX_SPEECH_TEXTS; ++i)
        info->speech_texts[i] = view.speechTexts[i];
    return WB_OK;
}
