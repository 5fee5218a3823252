#include "golden_render.h"
#include <algorithm>
#include <bit>
#include <fstream>
#include <memory>
#include <sstream>
#include "player/module_player.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "player/song_length.h"
#include "song/song.h"
#include "synth/synth.h"
#include "tests/support/sha256.h"

namespace {

bool buildImage(const std::filesystem::path& song, std::vector<uint8_t>& image, std::string& error) {
    std::ifstream file(song, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    if (!file) error = "cannot be read";
    return file && buildSongImage(text.str(), song.parent_path(), image, error);
}

// The song's length counted twice without a synthesizer.
bool measureSong(const std::vector<uint8_t>& image, GoldenRender& result) {
    ModuleView view;
    auto scratch = std::make_unique<ModulePlayer>();
    const auto size = uint32_t(image.size());
    if (!parseModule(image.data(), size, view, result.error) ||
        !offlineSongFrames(*scratch, image.data(), size, result.steppedSongFrames, result.error))
        return false;
    result.measuredSongFrames = measureSongLength(view).frames;
    return true;
}

}  // namespace

GoldenRender goldenRender(const std::filesystem::path& song, uint32_t seed, uint32_t seconds,
                          const GoldenOptions& options) {
    GoldenRender result;
    std::vector<uint8_t> image;
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    if (!buildImage(song, image, result.error) || !measureSong(image, result) ||
        !offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, result.error)) {
        result.error = song.string() + ": " + result.error;
        return result;
    }
    if (options.prepare) options.prepare(*synth);
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(goldenTailSeconds));
    std::vector<int16_t> pcm(2 * goldenFramesPerSecond);
    for (uint32_t s = 0; seconds ? s < seconds : !renderLengthDone(length); ++s) {
        result.samples.resize(result.samples.size() + pcm.size());
        float* second = result.samples.data() + result.samples.size() - pcm.size();
        const uint32_t end = offlineRender(*player, second, goldenFramesPerSecond);
        if (end != songNotEnded) result.songEndFrame = player->songEndFrame;
        convertToPcm16(second, pcm.data(), uint32_t(pcm.size()), 32768.0f);
        result.lengthFrames += renderLengthFeed(length, pcm.data(), goldenFramesPerSecond, end);
    }
    result.digests = secondDigests(result.samples);
    return result;
}

std::vector<std::string> secondDigests(const std::vector<float>& samples) {
    static_assert(std::endian::native == std::endian::little, "digests are of little-endian floats");
    const size_t perSecond = size_t(2) * goldenFramesPerSecond;
    std::vector<std::string> digests;
    for (size_t start = 0; start < samples.size(); start += perSecond) {
        Sha256 sha;
        sha256Add(sha, samples.data() + start, sizeof(float) * std::min(perSecond, samples.size() - start));
        digests.push_back(sha256Hex(sha));
    }
    return digests;
}
