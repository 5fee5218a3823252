#include "golden_render.h"
#include <algorithm>
#include <bit>
#include <fstream>
#include <memory>
#include <sstream>
#include "player/module_player.h"
#include "player/offline_render.h"
#include "song/song.h"
#include "synth/synth.h"
#include "tests/support/sha256.h"

uint32_t goldenSeconds(const std::vector<uint8_t>& image) {
    ModulePlayer scratch{};
    uint64_t frames = 0;
    std::string reason;
    if (!offlineSongFrames(scratch, image.data(), uint32_t(image.size()), frames, reason)) return 0;
    return uint32_t((frames + goldenFramesPerSecond - 1) / goldenFramesPerSecond) + 1;
}

GoldenRender goldenRender(const std::filesystem::path& song, uint32_t seed, uint32_t seconds,
                          const GoldenOptions& options) {
    GoldenRender result;
    std::ifstream file(song, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::vector<uint8_t> image;
    if (!file || !buildSongImage(text.str(), song.parent_path(), image, result.error)) {
        result.error = song.string() + ": " + (file ? result.error : "cannot be read");
        return result;
    }
    if (seconds == 0) seconds = goldenSeconds(image);
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    if (!offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, result.error)) {
        result.error = song.string() + ": " + result.error;
        return result;
    }
    if (options.prepare) options.prepare(*synth);
    result.samples.resize(size_t(2) * goldenFramesPerSecond * seconds);
    for (uint32_t s = 0; s < seconds; ++s)
        offlineRender(*player, result.samples.data() + size_t(2) * goldenFramesPerSecond * s,
                      goldenFramesPerSecond);
    result.digests = secondDigests(result.samples);
    return result;
}

std::vector<std::string> secondDigests(const std::vector<float>& samples) {
    static_assert(std::endian::native == std::endian::little, "digests are of little-endian floats");
    const size_t perSecond = size_t(2) * goldenFramesPerSecond;
    std::vector<std::string> digests;
    for (size_t start = 0; start < samples.size(); start += perSecond) {
        Sha256 sha;
        sha.add(samples.data() + start, sizeof(float) * std::min(perSecond, samples.size() - start));
        digests.push_back(sha.hex());
    }
    return digests;
}
