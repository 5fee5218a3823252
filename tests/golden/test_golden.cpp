// Every golden entry rendered and compared, second by second, with
// tests/golden/expected.txt: the songs under tests/golden/songs, two of them
// at other sample rates, the command streams under tests/golden/streams fed
// straight to the synthesizer and the MIDI streams through the live engine.
// An entry that matches leaves its samples in the build's golden cache, so
// that a later mismatch can name the first differing frame and channel, not
// only the second. WB_GOLDEN_UPDATE=1 rewrites the table instead
// (scripts/golden --update).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include "golden_render.h"
#include "synth/synth.h"

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

// Per entry a line "name seed S frames F", then lines "name second sha256"
// for its seconds in order.
std::map<std::string, Expected> readTable() {
    std::map<std::string, Expected> table;
    std::ifstream in(tablePath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, second, digest;
        fields >> name >> second;
        Expected& entry = table[name];
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

// One golden entry: render(seed, seconds) renders it; seconds 0 means its
// whole length. Streams have their own fixed seed and ignore both.
struct Entry {
    std::string name;
    std::function<GoldenRender(uint32_t, uint32_t)> render;
    uint32_t seed = 1;     // a new entry's seed in the table
    bool isSong = false;   // its length is also measured without a synthesizer
    fs::path commandStream;  // set for command streams: also rendered in a hostile fp mode
};

std::vector<fs::path> filesIn(const fs::path& dir, std::initializer_list<const char*> extensions) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        for (const char* extension : extensions)
            if (entry.path().extension() == extension) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Songs by name; "rate-SONG-RATE" the same song at another sample rate (the
// player's step timing and the synthesizer's rate constants away from
// 44,100 Hz); "muted-SONG" a song with mutes; "stream-NAME" a command (.cmd)
// or MIDI (.midi) stream.
std::vector<Entry> entries() {
    std::vector<Entry> list;
    for (const fs::path& song : filesIn(goldenDir / "songs", {".json"}))
        list.push_back({song.stem().string(),
                        [song](uint32_t seed, uint32_t seconds) { return goldenRender(song, seed, seconds); },
                        1, true, {}});
    for (const auto& [song, rate] : {std::pair{"timing", 22050}, std::pair{"oscillators", 48000}}) {
        const fs::path path = goldenDir / "songs" / (std::string(song) + ".json");
        list.push_back({std::string("rate-") + song + "-" + std::to_string(rate),
                        [path, rate = rate](uint32_t seed, uint32_t seconds) {
                            GoldenOptions options;
                            options.sampleRate = rate;
                            return goldenRender(path, seed, seconds, options);
                        },
                        1, false, {}});
    }
    // Channel 2 and the effect returns muted: they run on unheard.
    const fs::path bus = goldenDir / "songs" / "bus.json";
    list.push_back({"muted-bus",
                    [bus](uint32_t seed, uint32_t seconds) {
                        GoldenOptions options;
                        options.prepare = [](Synth& synth) { synthSetMuteMask(synth, 1u << 1 | effectsMuteBit); };
                        return goldenRender(bus, seed, seconds, options);
                    },
                    1, false, {}});
    for (const fs::path& file : filesIn(goldenDir / "streams", {".cmd", ".midi"})) {
        const bool live = file.extension() == ".midi";
        list.push_back({"stream-" + file.stem().string(), [file, live](uint32_t, uint32_t) {
                            return live ? goldenLiveRender(file) : goldenStreamRender(file);
                        },
                        7, false, {}});
        if (!live) list.back().commandStream = file;
    }
    return list;
}

void writeTable(const std::map<std::string, Expected>& old) {
    std::ofstream out(tablePath);
    out << "# Written by scripts/golden --update. Per song: its seed and its length in frames (the song,\n"
           "# then its tail until a second of silence, at most " << goldenTailSeconds << " s), then the SHA-256 of\n"
           "# each second of its f32 output.\n";
    for (const Entry& entry : entries()) {
        const uint32_t seed = old.count(entry.name) ? old.at(entry.name).seed : entry.seed;
        const GoldenRender render = entry.render(seed, 0);
        ASSERT_EQ(render.error, "") << entry.name;
        out << entry.name << " seed " << seed << " frames " << render.lengthFrames << '\n';
        for (size_t s = 0; s < render.digests.size(); ++s)
            out << entry.name << ' ' << s << ' ' << render.digests[s] << '\n';
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

void checkEntry(const Entry& entry, const Expected& expected) {
    const GoldenRender render = entry.render(expected.seed, uint32_t(expected.digests.size()));
    ASSERT_EQ(render.error, "") << entry.name;
    if (entry.isSong) {
        // The player's end of the song, the length measured from the module
        // and the offline render's own walk of the sequencer agree.
        EXPECT_EQ(render.songEndFrame, render.measuredSongFrames) << entry.name;
        EXPECT_EQ(render.songEndFrame, render.steppedSongFrames) << entry.name;
    }
    EXPECT_EQ(render.lengthFrames, expected.frames) << entry.name << ": the render-length rule ends elsewhere";
    size_t second = 0;
    while (second < expected.digests.size() && second < render.digests.size() &&
           render.digests[second] == expected.digests[second])
        ++second;
    if (second == expected.digests.size() && render.digests.size() == second) {
        cacheRender(entry.name, render.samples);
    } else {
        ADD_FAILURE() << entry.name << ": second " << second << " differs; "
                      << firstDifference(entry.name, expected, render.samples);
    }
    if (entry.commandStream.empty()) return;
    // A caller in a hostile floating-point mode gets the same samples.
    const GoldenRender hostile = goldenStreamRender(entry.commandStream, true);
    EXPECT_EQ(hostile.error, "") << entry.name;
    EXPECT_EQ(hostile.digests, render.digests) << entry.name;
}

}  // namespace

TEST(GoldenRenders, EveryEntryRendersAsRecorded) {
    const std::map<std::string, Expected> table = readTable();
    if (const char* update = std::getenv("WB_GOLDEN_UPDATE"); update && *update == '1') {
        writeTable(table);
        return;
    }
    std::vector<std::string> names, recorded;
    for (const Entry& entry : entries()) names.push_back(entry.name);
    for (const auto& [name, expected] : table) recorded.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, recorded) << "entries and table differ: scripts/golden --update";
    for (const Entry& entry : entries())
        if (table.count(entry.name)) checkEntry(entry, table.at(entry.name));
}
