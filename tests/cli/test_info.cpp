// q7m info end to end: the built tool on modules made by the module writer.
#include <nlohmann/json.hpp>

#include "cli_test_support.h"
#include "tests/player/module_test_support.h"

namespace {

class InfoCli : public CliTest {
protected:
    // Two beats at 120 BPM, then 96 ticks at 60 BPM; programs 5 and 133 (= 5) on channel 3.
    std::string song() const {
        ModuleSource source = playableSource(6);
        source.tempos = {{0, 500000}, {192, 1000000}};
        source.channels[3].notes = {{0, 60, 100}, {192, 60, 0}, {288, 62, 100}};
        source.channels[3].programs = {{0, 5}, {96, 133}};
        source.channels[3].controllers[6] = {{0, 100}};
        source.channels[9].notes = {{96, 36, 127}};
        source.speechTexts = {"hello", "w\"o"};
        return save("song.q7m", mustWrite(source));
    }
};

}  // namespace

TEST_F(InfoCli, TextAndJsonReportsNameTimeBaseTempoStreamsProgramsSpeechAndLength) {
    const std::string file = song();
    ToolRun run = q7m("info '" + file + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    auto has = [&](const std::string& line) {
        EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line << "\n" << run.out;
    };
    has("time base: 96 ticks per beat\n");
    has("tempo events: 2, first 120.000 BPM (500000 us per beat)\n");
    // 192 ticks at half a second per beat (44,100 frames), 96 at one second (44,100)
    has("length: 288 ticks (tick 0 to 288), 88200 frames, 2.000 s at 44100 Hz\n");
    // Channels are counted from 1 where users read them.
    has("channel 4: 3 notes, 2 program changes, 0 pitch bends, controllers 1-7: 0 0 0 0 0 0 1; "
        "programs selected: 5\n");
    has("channel 10: 1 notes, 0 program changes");
    has("patches needed: 0, 5 (patch block 540 bytes)\n");
    has("speech texts: 2\n  0: \"hello\"\n  1: \"w\\\"o\"\n");
    EXPECT_EQ(run.out.find("channel 1:"), std::string::npos);

    run = q7m("info --json '" + file + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    nlohmann::json info = nlohmann::json::parse(run.out);
    EXPECT_EQ(info["length"]["frames"], 88200);
    EXPECT_EQ(info["channels"][3]["programs"], nlohmann::json::array({5}));
    EXPECT_EQ(info["speechTexts"], nlohmann::json::array({"hello", "w\"o"}));
}

TEST_F(InfoCli, InvalidAndUnreadableFiles) {
    ModuleSource source = playableSource();
    source.globalParams.resize(10);
    const std::string bad = save("bad.q7m", mustWrite(source));
    ToolRun run = q7m("info '" + bad + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "q7m: " + bad + ": not a valid module: global parameter block has 10 bytes; "
                       "the synthesizer needs at least 22\n");

    const std::string cut = save("cut.q7m", {96, 0, 0, 0, 0, 0});
    run = q7m("info --json '" + cut + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "q7m: " + cut + ": not a valid module: reserved word is truncated (needs 4 bytes "
                       "at offset 4, file has 6)\n");

    const std::string json = save("song.json", {'\n', ' ', '{', '}'});
    for (const char* command : {"info", "render", "play", "dump"}) {
        run = q7m(std::string(command) + " '" + json + "'");
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_EQ(run.err, "q7m: " + json + ": not a module but a song source (JSON): turn it into one "
                           "with q7m build\n") << command;
    }
}

// The command line as a user meets it: version and help anywhere, unknown
// commands, bad numbers, and standard output that fails or goes away.
TEST_F(InfoCli, CommandLineManners) {
    const std::string file = song();
    struct Case {
        std::string args, redirect;
        int status;
        std::string out, err;  // err: the start of stderr ("" for none)
    };
    const std::vector<Case> cases = {
        {"--version", "", 0, "q7m 1.0.0\n", ""},
        {"info --version", "", 0, "q7m 1.0.0\n", ""},
        {"render '" + file + "' --version", "", 0, "q7m 1.0.0\n", ""},
        {"bogus", "", 2, "", "q7m: bogus: not a command (the commands: info, render, play, build, dump"},
        {"render '" + file + "' --seconds 1e12", "", 2, "",
         "--seconds: expected a number of seconds from 0 to 1000000000, got 1e12"},
        {"info '" + file + "'", ">/dev/full", 1, "", "q7m: standard output: No space left on device\n"},
        {"dump '" + file + "'", ">/dev/full", 1, "", "q7m: standard output: No space left on device\n"},
        {"render '" + file + "' -o - | head -c 1000 >/dev/null", "", 0, "", ""},
    };
    for (const Case& c : cases) {
        // The status of q7m itself, not of the last command of a pipe.
        const std::string command = "bash -c \"set -o pipefail; '" + std::string(Q7M_PATH) + "' " + c.args +
                                    " " + c.redirect + "\" >'" + path("out") + "' 2>'" + path("err") + "'";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << c.args;
        if (!c.out.empty()) {
            EXPECT_EQ(slurp(path("out")), c.out) << c.args;
        }
        const std::string err = slurp(path("err"));
        EXPECT_TRUE(c.err.empty() ? err.empty() : err.find(c.err) != std::string::npos) << c.args << ": " << err;
    }
}
