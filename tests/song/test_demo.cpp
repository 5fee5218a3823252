// The bundled demo song: it builds, lasts 30 to 60 seconds, never reaches
// the output clamp, and channel 16 speaks.
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <sstream>
#include "song/song.h"
#include "tests/player/render_test_support.h"

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

}  // namespace

TEST(DemoSong, LastsHalfAMinuteToAMinuteAndNeverClips) {
    // The song and its tail, as `q7m render` decides the length.
    const LengthResult demo = renderToEnd(buildImage(demoSource()), 4096, defaultTailSeconds, 1);
    const double seconds = static_cast<double>(demo.songFrames) / sampleRate;
    EXPECT_GE(seconds, 30.0);
    EXPECT_LE(seconds, 60.0);
    int peak = 0;
    for (int16_t s : demo.kept) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32600) << "the demo reaches the output clamp";
    EXPECT_GT(peak, 8000) << "the demo is too quiet";
}
