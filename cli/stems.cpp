#include "cli/stems.h"
#include <cstdio>

bool stemsOpen(StemSet& set, const std::vector<uint8_t>& image, const wb_config& config,
               std::string& reason) {
    PlayerHandle mix = openPlayer(image, config, reason);
    if (!mix) return false;
    wb_info info;
    wb_get_info(mix.get(), &info);
    set.players.push_back(std::move(mix));
    for (int c = 0; c < WB_CHANNELS; ++c) {
        if (info.channels[c].note_count == 0) continue;
        PlayerHandle solo = openPlayer(image, config, reason);
        if (!solo) return false;
        for (int other = 0; other < WB_CHANNELS; ++other)
            wb_set_channel_mute(solo.get(), other, other != c);
        wb_set_effects_mute(solo.get(), 1);
        set.players.push_back(std::move(solo));
        set.channels.push_back(c);
    }
    set.effectsStem = true;
    return true;
}

std::vector<std::string> stemsFileNames(const StemSet& set, const std::string& dir) {
    std::vector<std::string> names{dir + "/mix.wav"};
    for (int c : set.channels) {
        char name[32];
        std::snprintf(name, sizeof name, "/channel-%02d.wav", c + 1);
        names.push_back(dir + name);
    }
    names.push_back(dir + "/effects.wav");
    return names;
}

void stemsEffectsRest(const float* mix, const std::vector<const float*>& parts, float* rest,
                      uint32_t frames) {
    for (size_t i = 0; i < 2 * size_t(frames); ++i) {
        float sum = 0.0f;
        for (const float* part : parts) sum += part[i];
        rest[i] = mix[i] - sum;
    }
}
