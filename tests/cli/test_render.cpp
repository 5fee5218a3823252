// q7m render end to end: the built tool on modules made by the module
// writer, with the files read back through libsndfile.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "cli_test_support.h"
#include "player/pcm.h"
#include "tests/player/render_test_support.h"

namespace {

using RenderCli = CliTest;

// A note held for one beat: the song ends at frame 22,050.
std::vector<uint8_t> oneBeatModule() {
    ModuleSource source = audibleSource({{0, 60, 100}, {96, 60, 0}});
    PatchRecord noisy = audiblePatch();
    noisy.voice[osc2Mode] = 4;  // noise, so that the seed shows
    noisy.voice[osc2Volume] = 30;
    source.patchBlock = buildPatchBank({noisy});
    return writeOrFail(source);
}

}  // namespace

TEST_F(RenderCli, LengthFollowsTheSongItsTailAndTheExplicitCounts) {
    const std::string module = save("song.q7m", oneBeatModule());

    ASSERT_EQ(q7m("render '" + module + "' --seed 1 --tail 0").status, 0);
    Sound exact = readSound(path("song.wav"));  // the default name
    EXPECT_EQ(exact.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(exact.info.channels, 2);
    EXPECT_EQ(exact.info.samplerate, 44100);
    EXPECT_EQ(exact.info.frames, 22050);

    ASSERT_EQ(q7m("render '" + module + "' --seed 1 -o '" + path("tail.wav") + "'").status, 0);
    Sound tail = readSound(path("tail.wav"));
    ASSERT_GT(tail.info.frames, 22050 + 44100);
    EXPECT_TRUE(std::equal(exact.pcm.begin(), exact.pcm.end(), tail.pcm.begin()));
    // It ends with exactly one second of silence after the last sound.
    const size_t lastSound = size_t(tail.info.frames) - 44100 - 1;
    EXPECT_TRUE(tail.pcm[2 * lastSound] != 0 || tail.pcm[2 * lastSound + 1] != 0);
    for (size_t i = 2 * (lastSound + 1); i < tail.pcm.size(); ++i) ASSERT_EQ(tail.pcm[i], 0) << i;

    const std::pair<const char*, long> lengths[] = {
        {"--tail 0.5", 22050 + 22050}, {"--frames 1000", 1000}, {"--seconds 1.5", 66150}, {"--frames 0", 0}};
    for (const auto& [option, frames] : lengths) {
        ASSERT_EQ(q7m("render '" + module + "' " + option + " -o '" + path("n.wav") + "' --force").status, 0);
        EXPECT_EQ(readSound(path("n.wav")).info.frames, frames) << option;
    }
}

TEST_F(RenderCli, FormatsAgreeAndTheSameSeedGivesTheSameBytes) {
    const std::string module = save("song.q7m", oneBeatModule());
    const std::string common = "render '" + module + "' --seed 42 --tail 2 ";
    ASSERT_EQ(q7m(common + "-o '" + path("a.wav") + "'").status, 0);
    ASSERT_EQ(q7m(common + "-o '" + path("b.wav") + "'").status, 0);
    EXPECT_EQ(slurp(path("a.wav")), slurp(path("b.wav")));
    // Neither the engine nor the thread count changes a sample.
    ASSERT_EQ(q7m(common + "--engine scalar --threads 1 -o '" + path("e1.wav") + "'").status, 0);
    ASSERT_EQ(q7m(common + "--threads 2 -o '" + path("e2.wav") + "'").status, 0);
    EXPECT_EQ(slurp(path("e1.wav")), slurp(path("a.wav")));
    EXPECT_EQ(slurp(path("e2.wav")), slurp(path("a.wav")));
    // Standard output is streamed: open-ended sizes when the length is not
    // known in advance, the file's exact header when it is.
    ASSERT_EQ(q7m(common + "-o -", path("stdout.wav")).status, 0);
    std::string streamed = slurp(path("stdout.wav")), file = slurp(path("a.wav"));
    EXPECT_EQ(streamed.substr(4, 4) + streamed.substr(40, 4), std::string(8, '\xFF'));
    EXPECT_EQ(streamed.substr(44), file.substr(44));
    ASSERT_EQ(q7m("render '" + module + "' --seed 42 --frames 5000 -o -", path("stdout.wav")).status, 0);
    ASSERT_EQ(q7m("render '" + module + "' --seed 42 --frames 5000 -o '" + path("n.wav") + "'").status, 0);
    EXPECT_EQ(slurp(path("stdout.wav")), slurp(path("n.wav")));
    fs::remove(path("n.wav"));
    ASSERT_EQ(q7m("render '" + module + "' --seed 43 --tail 2 -o '" + path("c.wav") + "'").status, 0);
    EXPECT_NE(slurp(path("c.wav")), slurp(path("a.wav")));

    ASSERT_EQ(q7m(common + "-o '" + path("a.FLAC") + "'").status, 0);
    const Sound wav = readSound(path("a.wav"));
    const Sound flac = readSound(path("a.FLAC"));
    EXPECT_EQ(flac.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(flac.pcm, wav.pcm);

    // f32 holds the render entry's floats; their 16-bit conversion is the s16 file.
    ASSERT_EQ(q7m(common + "--format f32 -o '" + path("f.wav") + "'").status, 0);
    const Sound f32 = readSound(path("f.wav"));
    EXPECT_EQ(f32.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(f32.floats.size(), wav.pcm.size());
    std::vector<int16_t> converted(f32.floats.size());
    convertToPcm16(f32.floats.data(), converted.data(), uint32_t(converted.size()), 32768.0f);
    EXPECT_EQ(converted, wav.pcm);
    // Nothing of the moment of writing goes into a float file either.
    const std::time_t written = std::time(nullptr);
    while (std::time(nullptr) == written) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(q7m(common + "--format f32 -o '" + path("f2.wav") + "'").status, 0);
    EXPECT_EQ(slurp(path("f2.wav")), slurp(path("f.wav")));
}

TEST_F(RenderCli, FailuresExitWithTheirStatusAndLeaveNoFileBehind) {
    std::vector<uint8_t> image = oneBeatModule();
    image.resize(30);
    const std::string bad = save("bad.q7m", image);
    ToolRun run = q7m("render '" + bad + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("q7m: " + bad + ": not a valid module: ", 0), 0u) << run.err;
    EXPECT_FALSE(fs::exists(path("bad.wav")));

    run = q7m("render '" + path("missing.q7m") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "q7m: " + path("missing.q7m") + ": No such file or directory\n");

    const std::string module = save("song.q7m", oneBeatModule());
    run = q7m("render '" + module + "' -o '" + path("no/such/dir/out.wav") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "q7m: " + path("no/such/dir/out.wav") + ": No such file or directory\n");

    // A directory is nothing to write into.
    fs::create_directory(path("taken"));
    run = q7m("render '" + module + "' --frames 5000 --force -o '" + path("taken") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Is a directory"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(path("taken")));

    run = q7m("render '" + module + "' --format f32 -o '" + path("f.flac") + "'");
    EXPECT_EQ(run.status, 2);

    // An existing file is replaced only when asked.
    fs::create_directory(path("kept"));
    std::ofstream(path("kept/old.wav")) << "old";
    run = q7m("render '" + module + "' --frames 10 -o '" + path("kept/old.wav") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "q7m: " + path("kept/old.wav") + ": already exists (use --force to replace it)\n");
    EXPECT_EQ(slurp(path("kept/old.wav")).size(), 3u);
    EXPECT_EQ(q7m("render '" + module + "' --frames 10 --force -o '" + path("kept/old.wav") + "'").status, 0);
    EXPECT_EQ(readSound(path("kept/old.wav")).info.frames, 10);
    fs::remove_all(path("kept"));

    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"bad.q7m", "song.q7m", "taken"}));
}

TEST_F(RenderCli, SeveralModulesInParallelOtherRatesAndStems) {
    const std::string a = save("a.q7m", oneBeatModule()), b = save("b.q7m", oneBeatModule());
    ASSERT_EQ(q7m("render '" + a + "' --seed 5 -o '" + path("single.wav") + "'").status, 0);
    ASSERT_EQ(q7m("render '" + a + "' '" + b + "' --seed 5 -j 2").status, 0);
    EXPECT_EQ(slurp(path("a.wav")), slurp(path("single.wav")));
    EXPECT_EQ(slurp(path("b.wav")), slurp(path("single.wav")));
    EXPECT_EQ(q7m("render '" + a + "' '" + b + "' -o x.wav").status, 2);

    // One beat at 120 beats per minute is half a second at any rate.
    ASSERT_EQ(q7m("render '" + a + "' --rate 48000 --tail 0 -o '" + path("r.wav") + "'").status, 0);
    const Sound at48 = readSound(path("r.wav"));
    EXPECT_EQ(at48.info.samplerate, 48000);
    EXPECT_EQ(at48.info.frames, 24000);
    EXPECT_EQ(q7m("render '" + a + "' --rate 7999").status, 2);

    // Channels 1, 2 and 16 play: their stems and effects.wav add up to mix.wav.
    const std::string stems = path("stems");
    ASSERT_EQ(q7m("render tests/data/small.q7m --format f32 --stems '" + stems + "'").status, 0);
    const Sound mix = readSound(stems + "/mix.wav");
    std::vector<float> sum(mix.floats.size(), 0.0f);
    for (const char* name : {"channel-01", "channel-02", "channel-16", "effects"}) {
        const Sound stem = readSound(stems + "/" + name + ".wav");
        ASSERT_EQ(stem.floats.size(), mix.floats.size()) << name;
        EXPECT_GT(*std::max_element(stem.floats.begin(), stem.floats.end()), 0.0f) << name;
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += stem.floats[i];
    }
    for (size_t i = 0; i < sum.size(); ++i) ASSERT_NEAR(sum[i], mix.floats[i], 1e-4f) << i;
    EXPECT_EQ(std::distance(fs::directory_iterator(stems), fs::directory_iterator()), 5);
}
