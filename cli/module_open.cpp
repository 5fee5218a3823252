#include "cli/module_open.h"
#include "cli/file_io.h"
#include "player/render_length.h"

bool readModule(const std::string& path, std::vector<uint8_t>& image, std::string& reason) {
    return readWholeFile(path, image, reason);
}

wb_config playerConfig(uint32_t sampleRate, const uint32_t* seed) {
    wb_config config;
    wb_config_init(&config);
    config.sample_rate = sampleRate;
    if (seed) {
        config.seed = *seed;
        config.use_seed = 1;
    }
    return config;
}

PlayerHandle openPlayer(const std::vector<uint8_t>& image, const wb_config& config,
                        std::string& reason) {
    char error[512];
    PlayerHandle player(wb_open(image.data(), image.size(), &config, error, sizeof error));
    if (player) return player;
    reason = error;
    // A song source given by mistake gets a hint instead of the parse's reason.
    const std::string invalid = "not a valid module: ";
    if (reason.rfind(invalid, 0) == 0) reason = notAModule(image, reason.substr(invalid.size()));
    return player;
}

uint64_t songEndFrame(const wb_player* player) {
    wb_info info;
    return wb_get_info(player, &info) == WB_OK ? info.length_frames : 0;
}

uint32_t songEndInBlock(uint64_t songEnd, uint64_t at, uint32_t frames) {
    if (songEnd < at) return 0;
    return songEnd - at <= frames ? uint32_t(songEnd - at) : songNotEnded;
}
