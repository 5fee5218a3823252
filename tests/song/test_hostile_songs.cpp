// Song sources made to hurt: a huge unknown name, tempos at the limit.
#include <gtest/gtest.h>
#include <memory>
#include "song/song.h"

using nlohmann::json;

namespace {

std::string buildSong(const json& song, std::vector<uint8_t>& image) {
    std::string error;
    buildSongImage(song.dump(), ".", image, error);
    return error;
}

json songWithTempo(uint32_t microsPerBeat) {
    return {{"patches", {{"lead", json::object()}}},
            {"programs", {{"0", "lead"}}},
            {"tempo", json::array({{{"tick", 0}, {"microsPerBeat", microsPerBeat}}})}};
}

}  // namespace

TEST(HostileSongs, AHugeUnknownNameIsCutShortInTheMessage) {
    const std::string name = "flt1Cutoff" + std::string(1 << 20, 'x');
    const json song = {{"patches", {{"lead", {{"params", {{name, 3}}}}}}}, {"programs", {{"0", "lead"}}}};
    std::vector<uint8_t> image;
    EXPECT_EQ(buildSong(song, image),
              "patch \"lead\": unknown parameter \"flt1Cutoffxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\" (1048586 characters)");
}

// What the builder writes, the player reads: the tempo limit is one.
TEST(HostileSongs, TheBuilderKeepsToTheTempoRangeThePlayerAccepts) {
    for (uint32_t micros : {minTempoMicros, maxTempoMicros}) {
        std::vector<uint8_t> image;
        EXPECT_EQ(buildSong(songWithTempo(micros), image), "") << micros;
        auto view = std::make_unique<ModuleView>();
        std::string reason;
        EXPECT_TRUE(parseModule(image.data(), uint32_t(image.size()), *view, reason)) << reason;
    }
    for (uint32_t micros : {0u, maxTempoMicros + 1, 9739210u}) {
        std::vector<uint8_t> image;
        EXPECT_EQ(buildSong(songWithTempo(micros), image),
                  "tempo[0].microsPerBeat: " + std::to_string(micros) + " is outside 1..9739154");
    }
}

// The reader streams the event lists; a long list anywhere else is refused
// before it is held as a tree.
TEST(HostileSongs, ALongListOutsideTheEventListsIsRefused) {
    std::string text = "{\"globals\": [0";
    for (int i = 0; i < 300000; ++i) text += ",0";
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_FALSE(buildSongImage(text + "]}", ".", image, error));
    EXPECT_EQ(error, "more than 262144 values outside the event lists (or in one event); no song needs that many");
}
