// Every song under tests/golden/songs rendered and compared, second by
// second, with tests/golden/expected.txt. A song that matches leaves its
// samples in the build's golden cache, so that a later mismatch can name the
// first differing frame and channel, not only the second. The command
// streams under tests/golden/streams go straight to the synthesizer, the
// MIDI streams through the live engine.
// WB_GOLDEN_UPDATE=1 rewrites the table instead (scripts/golden --update).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include "golden_render.h"

namespace {

namespace fs = std::filesystem;

const fs::path goldenDir = WB_GOLDEN_DIR;
const fs::path tablePath = goldenDir / "expected.txt";
const fs::path cacheDir = WB_GOLDEN_CACHE;

struct Expected {
    uint32_t seed = 1;
    uint64_t frames = 0;
    std::vector<std::string> digests;
};

// Per song a line "song seed S frames F", then lines "song second sha256"
// for its seconds in order.
std::map<std::string, Expected> readTable() {
    std::map<std::string, Expected> table;
    std::ifstream in(tablePath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string song, second, digest;
        fields >> song >> second;
        Expected& entry = table[song];
        if (second == "seed") {
            fields >> entry.seed >> digest >> entry.frames;
            continue;
        }
        if (second != std::to_string(entry.digests.size())) ADD_FAILURE() << line << ": out of order";
        fields >> digest;
        entry.digests.push_back(digest);
    }
    return table;
}

std::vector<std::string> songNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(goldenDir / "songs"))
        if (entry.path().extension() == ".json") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Command streams (.cmd) and MIDI wire streams (.midi) are in the table as
// "stream-NAME".
const std::string streamPrefix = "stream-";

std::vector<fs::path> streamFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(goldenDir / "streams"))
        if (entry.path().extension() == ".cmd" || entry.path().extension() == ".midi") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string streamName(const fs::path& file) { return streamPrefix + file.stem().string(); }

// Songs also rendered at another sample rate, in the table as
// "rate-SONG-RATE" (the player's step timing and the synthesizer's rate
// constants away from 44,100 Hz).
const std::pair<const char*, int32_t> otherRates[] = {{"timing", 22050}, {"oscillators", 48000}};

std::string rateName(const std::pair<const char*, int32_t>& song) {
    return std::string("rate-") + song.first + "-" + std::to_string(song.second);
}

GoldenRender rateRender(const std::pair<const char*, int32_t>& song, uint32_t seconds) {
    GoldenOptions options;
    options.sampleRate = song.second;
    return goldenRender(goldenDir / "songs" / (std::string(song.first) + ".json"), 1, seconds, options);
}

GoldenRender streamRender(const fs::path& file, bool hostileFpMode = false) {
    return file.extension() == ".midi" ? goldenLiveRender(file) : goldenStreamRender(file, hostileFpMode);
}

void writeTable(const std::map<std::string, Expected>& old) {
    std::ofstream out(tablePath);
    out << "# Written by scripts/golden --update. Per song: its seed and its length in frames (the song,\n"
           "# then its tail until a second of silence, at most " << goldenTailSeconds << " s), then the SHA-256 of\n"
           "# each second of its f32 output.\n";
    for (const std::string& name : songNames()) {
        const uint32_t seed = old.count(name) ? old.at(name).seed : 1;
        const GoldenRender render = goldenRender(goldenDir / "songs" / (name + ".json"), seed, 0);
        ASSERT_EQ(render.error, "");
        out << name << " seed " << seed << " frames " << render.lengthFrames << '\n';
        for (size_t s = 0; s < render.digests.size(); ++s)
            out << name << ' ' << s << ' ' << render.digests[s] << '\n';
    }
    for (const auto& song : otherRates) {
        const GoldenRender render = rateRender(song, 0);
        out << rateName(song) << " seed 1 frames " << render.lengthFrames << '\n';
        for (size_t s = 0; s < render.digests.size(); ++s)
            out << rateName(song) << ' ' << s << ' ' << render.digests[s] << '\n';
    }
    for (const fs::path& file : streamFiles()) {
        const std::string name = streamName(file);
        const GoldenRender render = streamRender(file);
        out << name << " seed 7 frames " << render.lengthFrames << '\n';
        for (size_t s = 0; s < render.digests.size(); ++s)
            out << name << ' ' << s << ' ' << render.digests[s] << '\n';
    }
}

fs::path cachePath(const std::string& name) { return cacheDir / (name + ".f32"); }

void cacheRender(const std::string& name, const std::vector<float>& samples) {
    std::error_code ignored;
    fs::create_directories(cacheDir, ignored);
    if (fs::file_size(cachePath(name), ignored) == samples.size() * sizeof(float)) return;
    std::ofstream(cachePath(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * sizeof(float)));
}

// Where the render first departs from a cached render that matched the table.
std::string firstDifference(const std::string& name, const Expected& expected, const std::vector<float>& samples) {
    std::vector<float> reference(samples.size());
    std::ifstream(cachePath(name), std::ios::binary)
        .read(reinterpret_cast<char*>(reference.data()), std::streamsize(reference.size() * sizeof(float)));
    if (secondDigests(reference) != expected.digests)
        return "no cached render matches the table; run the test on a build that matches it to see the frame";
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::memcmp(&samples[i], &reference[i], sizeof(float)) == 0) continue;
        std::ostringstream where;
        where.precision(9);
        where << "first difference at frame " << i / 2 << (i % 2 ? " right" : " left") << ": "
              << samples[i] << " where " << reference[i] << " was recorded";
        return where.str();
    }
    return "the cached render is identical";
}

}  // namespace

TEST(GoldenRenders, EverySongRendersAsRecorded) {
    const std::map<std::string, Expected> table = readTable();
    if (const char* update = std::getenv("WB_GOLDEN_UPDATE"); update && *update == '1') {
        writeTable(table);
        return;
    }
    std::vector<std::string> names = songNames();
    std::vector<std::string> recorded;
    for (const auto& [name, entry] : table)
        if (name.rfind(streamPrefix, 0) != 0 && name.rfind("rate-", 0) != 0) recorded.push_back(name);
    EXPECT_EQ(names, recorded) << "songs and table differ: scripts/golden --update";
    for (const std::string& name : names) {
        if (!table.count(name)) continue;
        const Expected& expected = table.at(name);
        const GoldenRender render = goldenRender(goldenDir / "songs" / (name + ".json"), expected.seed,
                                                 uint32_t(expected.digests.size()));
        ASSERT_EQ(render.error, "");
        // The player's end of the song, the length measured from the module
        // and the offline render's own walk of the sequencer agree.
        EXPECT_EQ(render.songEndFrame, render.measuredSongFrames) << name;
        EXPECT_EQ(render.songEndFrame, render.steppedSongFrames) << name;
        EXPECT_EQ(render.lengthFrames, expected.frames) << name << ": the render-length rule ends elsewhere";
        size_t second = 0;
        while (second < expected.digests.size() && render.digests[second] == expected.digests[second]) ++second;
        if (second == expected.digests.size()) {
            cacheRender(name, render.samples);
            continue;
        }
        ADD_FAILURE() << name << ": second " << second << " differs; "
                      << firstDifference(name, expected, render.samples);
    }
}

TEST(GoldenRenders, EveryCommandStreamRendersAsRecorded) {
    const std::map<std::string, Expected> table = readTable();
    for (const fs::path& file : streamFiles()) {
        const std::string name = streamName(file);
        ASSERT_TRUE(table.count(name)) << name << " is not in the table: scripts/golden --update";
        const GoldenRender render = streamRender(file);
        EXPECT_EQ(render.lengthFrames, table.at(name).frames) << name;
        EXPECT_EQ(render.digests, table.at(name).digests) << name;
        EXPECT_EQ(render.error, "") << name;
        if (file.extension() != ".cmd") continue;
        // A caller in a hostile floating-point mode gets the same samples.
        const GoldenRender hostile = streamRender(file, true);
        EXPECT_EQ(hostile.error, "") << name;
        EXPECT_EQ(hostile.digests, render.digests) << name;
    }
}

TEST(GoldenRenders, SongsAtOtherRatesRenderAsRecorded) {
    const std::map<std::string, Expected> table = readTable();
    for (const auto& song : otherRates) {
        const std::string name = rateName(song);
        ASSERT_TRUE(table.count(name)) << name << " is not in the table: scripts/golden --update";
        const Expected& expected = table.at(name);
        const GoldenRender render = rateRender(song, uint32_t(expected.digests.size()));
        ASSERT_EQ(render.error, "");
        EXPECT_EQ(render.lengthFrames, expected.frames) << name;
        EXPECT_EQ(render.digests, expected.digests) << name;
    }
}
