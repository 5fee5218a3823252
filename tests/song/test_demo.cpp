// The bundled demo song: it builds, lasts 30 to 60 seconds, never reaches
// the output clamp, and channel 16 speaks.
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include "player/module_player.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "song/song.h"
#include "synth/synth.h"

using nlohmann::json;

namespace {

constexpr double sampleRate = 44100.0;

json demoSource() {
    std::ifstream file("songs/demo.json");
    EXPECT_TRUE(file.good()) << "run from the source folder";
    std::stringstream text;
    text << file.rdbuf();
    return json::parse(text.str());
}

std::vector<uint8_t> buildImage(const json& song) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(buildSongImage(song.dump(), "songs", image, error)) << error;
    return image;
}

struct Rendered {
    std::vector<int16_t> pcm;  // interleaved stereo
    uint64_t songFrames = 0;
};

// The song and its tail, as `q7m render` decides the length, converted as
// the sound output converts.
Rendered render(const std::vector<uint8_t>& image) {
    auto player = std::make_unique<ModulePlayer>();
    auto synth = std::make_unique<Synth>();
    std::string reason;
    const uint32_t seed = 1;
    Rendered out;
    EXPECT_TRUE(offlineOpen(*player, *synth, image.data(), static_cast<uint32_t>(image.size()),
                            &seed, reason))
        << reason;
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(defaultTailSeconds));
    std::vector<float> block(2 * 4096);
    std::vector<int16_t> pcm(2 * 4096);
    uint64_t total = 0;
    while (!renderLengthDone(length)) {
        const uint32_t ended = offlineRender(*player, block.data(), 4096);
        convertToPcm16(block.data(), pcm.data(), 2 * 4096, 32768.0f);
        if (ended != songNotEnded && !length.songEnded) out.songFrames = total + ended;
        const uint32_t kept = renderLengthFeed(length, pcm.data(), 4096, ended);
        out.pcm.insert(out.pcm.end(), pcm.begin(), pcm.begin() + 2 * kept);
        total += 4096;
    }
    return out;
}

}  // namespace

TEST(DemoSong, LastsHalfAMinuteToAMinuteAndNeverClips) {
    const Rendered demo = render(buildImage(demoSource()));
    const double seconds = static_cast<double>(demo.songFrames) / sampleRate;
    EXPECT_GE(seconds, 30.0);
    EXPECT_LE(seconds, 60.0);
    int peak = 0;
    for (int16_t s : demo.pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32600) << "the demo reaches the output clamp";
    EXPECT_GT(peak, 8000) << "the demo is too quiet";
}

TEST(DemoSong, ChannelSixteenSpeaks) {
    json song = demoSource();
    json& channels = song["channels"];
    ASSERT_EQ(channels.size(), 16u);
    ASSERT_FALSE(channels[15].is_null());
    for (size_t c = 0; c < 15; ++c) channels[c] = nullptr;
    const Rendered voice = render(buildImage(song));
    double sum = 0;
    for (int16_t s : voice.pcm) sum += static_cast<double>(s) * s;
    const double rms = std::sqrt(sum / static_cast<double>(voice.pcm.size()));
    EXPECT_GT(rms, 300.0) << "channel 16 is (nearly) silent";
}
