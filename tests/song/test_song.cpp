// Song sources: compile errors name the place and the problem; build and
// dump are inverse, raw events included.
#include <gtest/gtest.h>
#include <memory>
#include "player/module.h"
#include "player/module_writer.h"
#include "song/song.h"

using nlohmann::json;

namespace {

std::string buildError(const std::string& text) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_FALSE(buildSongImage(text, ".", image, error)) << text;
    return error;
}

std::vector<uint8_t> buildOk(const std::string& text) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(buildSongImage(text, ".", image, error)) << error;
    return image;
}

json dumpImage(const std::vector<uint8_t>& image) {
    auto view = std::make_unique<ModuleView>();
    std::string reason;
    EXPECT_TRUE(parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, reason))
        << reason;
    return json::parse(dumpModuleText(*view));
}

std::vector<uint8_t> rebuild(const std::vector<uint8_t>& image) {
    return buildOk(dumpImage(image).dump());
}

const char* const minimalSong = R"({
  "patches": {"lead": {"params": {"flt1Cutoff": 90}}},
  "programs": {"0": "lead"},
  "channels": [{"notes": [[0, 60, 100, 96]]}]
})";

}  // namespace

TEST(SongErrors, NameThePlaceAndTheProblem) {
    EXPECT_NE(buildError("{ \"channels\": [").find("not valid JSON"), std::string::npos);

    EXPECT_EQ(buildError(R"({"patches": {"lead": {"params": {"flt1Cuttof": 3}}},
                             "programs": {"0": "lead"}})"),
              "patch \"lead\": unknown parameter \"flt1Cuttof\"; did you mean \"flt1Cutoff\"?");

    json song = json::parse(minimalSong);
    json notes = json::array();
    for (int i = 0; i < 12; ++i) notes.push_back({i * 10, 60 + i, 100, 5});
    notes.push_back({200, 130, 100, 5});
    song["channels"] = json::array({nullptr, nullptr, nullptr, {{"notes", notes}}});
    EXPECT_EQ(buildError(song.dump()), "channels[3] (channel 4).notes[12].key: 130 is outside 0..127");

    song["channels"] = json::array({{{"notes", json::array({{0, 60, 100, 50}, {40, 60, 90, 5}})}}});
    EXPECT_EQ(buildError(song.dump()), "channels[0] (channel 1).notes[1]: overlaps channels[0] (channel 1).notes[0] on key 60");

    song["channels"] = json::array({{{"notes", json::array({{-5, 60, 100, 50}})}}});
    EXPECT_EQ(buildError(song.dump()), "channels[0] (channel 1).notes[0].tick: negative time -5");

    song["channels"] = json::array({{{"notes", json::array({{0, 60, 100, 50}})},
                                      {"programChanges", json::array({{10, 7}})}}});
    EXPECT_EQ(buildError(song.dump()),
              "channels[0] (channel 1).programChanges[0].program: program 7 has no patch (add it to \"programs\")");

    EXPECT_EQ(buildError(R"({"patches": {"lead": {}}, "programs": {"1": "lead"}})"),
              "programs: program 0 has no patch; every channel starts on program 0");
    EXPECT_EQ(buildError(R"({"patches": {"lead": {}}, "programs": {"0": "lead"},
                             "globals": {"rvbTime": 128}})"),
              "globals: rvbTime: 128 is outside 0..127");
    EXPECT_EQ(buildError(R"({"tempo": [{"tick": 0, "bmp": 120}]})"),
              "tempo[0]: unknown key \"bmp\"; did you mean \"bpm\"?");
}

TEST(SongRoundTrip, ModulesWrittenDirectlyDumpToRawEventsWhereNeeded) {
    ModuleSource source;
    source.timeDivision = 7;
    source.tempos.push_back({0, 300000, 3, 8, 24});
    source.globalParams.assign(22, 5);
    PatchRecord patch;
    patch.polyphony = 3;
    patch.routings.push_back({12, 99, 200});
    source.patchBlock = buildPatchBank({patch, patch});
    // Note-on at the tick of another key's note-off, listed first: not the
    // builder's order, so the dump keeps the raw events.
    source.channels[2].notes = {{0, 60, 100}, {10, 64, 90}, {10, 60, 0}, {20, 64, 0}};
    source.channels[2].bends = {{5, 200, 3}};
    source.channels[5].notes = {{0, 1, 1}, {1, 1, 0}};
    source.channels[5].controllers[6] = {{0, 127}, {0, 3}};
    source.speechTexts = {"ah", ""};
    std::vector<uint8_t> image;
    std::string reason;
    ASSERT_TRUE(writeModule(source, image, reason)) << reason;

    const json dumped = dumpImage(image);
    // Written as it is walked, laid out as the JSON library lays out the tree.
    auto view = std::make_unique<ModuleView>();
    ASSERT_TRUE(parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, reason));
    const std::string text = dumpModuleText(*view);
    EXPECT_EQ(text, nlohmann::ordered_json::parse(text).dump(2) + "\n");
    EXPECT_TRUE(dumped["channels"][2].contains("noteEvents"));
    EXPECT_TRUE(dumped["channels"][5].contains("notes"));
    EXPECT_EQ(dumped["patches"]["patch0"]["modulation"][0]["source"], "key");
    EXPECT_EQ(dumped["patches"]["patch0"]["modulation"][0]["destination"], 200);
    EXPECT_EQ(rebuild(image), image);
}

// A long song reaches the sink in bounded chunks while the module is
// walked, never as one text.
TEST(SongRoundTrip, ALongSongIsDumpedInChunks) {
    ModuleSource source;
    source.globalParams.assign(22, 0);
    source.patchBlock = buildPatchBank({PatchRecord{}});
    for (uint32_t i = 0; i < 100000; ++i) {
        source.channels[0].notes.push_back({2 * i, 60, 100});
        source.channels[0].notes.push_back({2 * i + 1, 60, 0});
    }
    std::vector<uint8_t> image;
    std::string reason;
    ASSERT_TRUE(writeModule(source, image, reason)) << reason;
    auto view = std::make_unique<ModuleView>();
    ASSERT_TRUE(parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, reason)) << reason;
    size_t chunks = 0, largest = 0;
    std::string text;
    ASSERT_TRUE(dumpModule(*view, [&](std::string_view chunk) {
        ++chunks;
        largest = std::max(largest, chunk.size());
        text += chunk;
        return true;
    }));
    EXPECT_GT(chunks, 50u);
    EXPECT_LT(largest, 70000u);
    EXPECT_EQ(json::parse(text)["channels"][0]["notes"].size(), 100000u);
    // A sink that fails stops the dump.
    EXPECT_FALSE(dumpModule(*view, [](std::string_view) { return false; }));
}

// The reader streams long lists into compiled events and skips free text;
// it must agree with compiling the whole tree, faults and their order included.
TEST(SongErrors, StreamedReadingAgreesWithTheTree) {
    const std::string head = R"({"title": {"a": [1, {"b": null}]}, "patches": {"p": {"description": [1]}},
                                  "programs": {"0": "p"}, )";
    for (const char* rest : {
             R"("channels": [{"notes": [[0, 60, 100, 5]], "notes": [[0, 61, 100, 5], [9, 61, 1, 1]]}]})",
             R"("channels": [{"notes": [[0, 60, 100, 5]]}], "channels": [null, {"noteEvents": [[0, 1, 2]]}]})",
             R"("channels": [{"notes": [[0, 60, 1, 5]], "programChanges": [[0, 9], [-1, 0]]}]})",
             R"("channels": [{"notes": [[0, 60, 1, 5]], "programChanges": [[0, 0], [-1, 9]]}]})",
             R"("channels": [{"notes": [[0, 60, 1, 5]], "controllers": {"1": [[0, 1]], "8": []}}]})",
             R"("channels": [{"notes": [[0, 60, 1, 5], [2, 60, 1, 5]], "bends": [[0, 9000]]}]})",
             R"("tempo": [{"tick": 5}, {"tick": 1}], "channels": [{"notes": 3}]})",
             R"("channels": [{"notes": [[0, 60, 1, 5]]}, null, null, null, null, null, null, null, null,
                 null, null, null, null, null, null, null, {"notes": [[0, 1, 1, 1]]}]})"}) {
        const std::string text = head + rest;
        std::vector<uint8_t> streamed, tree;
        std::string streamedError, treeError;
        buildSongImage(text, ".", streamed, streamedError);
        ModuleSource module;
        if (compileSong(json::parse(text), ".", module, treeError)) writeModule(module, tree, treeError);
        EXPECT_EQ(streamedError, treeError) << rest;
        EXPECT_EQ(streamed, tree) << rest;
    }
}
