// The shell's logic, driven without a window: a recording player and view.
#include <gtest/gtest.h>
#include "app/shell.h"
#include "shell_fakes.h"

using Calls = std::vector<std::string>;

namespace {

struct ShellTest : ::testing::Test {
    TempFolder folder{"wb-shell"};
    ShellLog log;
    Shell shell;
    void SetUp() override {
        shell.player = fakePlayer(log);
        shell.view = fakeView(log);
    }
    void TearDown() override { unloadModule(shell); }
    // Plays a module file and forgets the calls that took.
    void playing(const std::string& name) {
        shellActivate(shell, folder.folder(), name);
        ASSERT_TRUE(shell.moduleLoaded);
        log.calls.clear();
    }
};

}  // namespace

TEST(ModuleSuffix, AnyLetterCaseOfTheExtensionAtTheVeryEnd) {
    for (const char* path : {"song.q7m", "song.Q7M", "song.Q7m", "song.q7M", ".q7m", "/a b/c.d.Q7M"})
        EXPECT_TRUE(hasModuleSuffix(path)) << path;
    for (const char* path : {"song.q7m.bak", "songq7m", "song.qM7", "song.q7", "q7m", "", "song.q7m ", "song.Q7N"})
        EXPECT_FALSE(hasModuleSuffix(path)) << path;
}

TEST_F(ShellTest, ActivatingAModuleReadsItWholeAndPlaysIt) {
    const std::string bytes("\x60\x00\x00\x00module\xff", 11);
    folder.file("Song.Q7M", bytes);
    shellActivate(shell, folder.folder(), "Song.Q7M");
    const std::string path = folder.folder() + "Song.Q7M";
    EXPECT_EQ(log.calls, (Calls{"open 11", "play", "path " + path}));
    EXPECT_EQ(std::string(log.openedBytes.begin(), log.openedBytes.end()), bytes);
    EXPECT_TRUE(shell.moduleLoaded);
    EXPECT_EQ(shell.currentPath, path);
    EXPECT_EQ(shell.moduleSize, 11u);

    // Another module: the first is stopped, closed and freed before the second is read.
    folder.file("other.q7M", "abc");
    log.calls.clear();
    shellActivate(shell, folder.folder(), "other.q7M");
    EXPECT_EQ(log.calls, (Calls{"stop", "close", "path ", "open 3", "play", "path " + folder.folder() + "other.q7M"}));
}

TEST_F(ShellTest, ActivatingAnythingElseStopsAndPlaysNothing) {
    folder.file("song.q7m", "module");
    folder.file("song.q7m.bak", "module");
    folder.file("songq7m", "module");
    folder.file("notes.txt", "text");
    std::filesystem::create_directories(folder.path / "sub");
    for (const char* name : {"sub", "..", "notes.txt", "song.q7m.bak", "songq7m"}) {
        playing("song.q7m");
        shellActivate(shell, folder.folder(), name);
        EXPECT_EQ(log.calls, (Calls{"stop", "close", "path "})) << name;
        EXPECT_FALSE(shell.moduleLoaded) << name;
        EXPECT_EQ(shell.moduleImage, nullptr) << name;
    }
    // With nothing playing, a non-module does nothing at all.
    log.calls.clear();
    shellActivate(shell, folder.folder(), "notes.txt");
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(ShellTest, StopAndALostDeviceUnloadOnceAndThenDoNothing) {
    folder.file("song.q7m", "module");
    shellStop(shell);
    EXPECT_TRUE(log.calls.empty());
    playing("song.q7m");
    shellCheckDevice(shell);  // the device is still there
    shellStop(shell);
    shellStop(shell);
    EXPECT_EQ(log.calls, (Calls{"stop", "close", "path "}));
    EXPECT_FALSE(shell.moduleLoaded);

    playing("song.q7m");
    log.deviceLost = true;
    shellCheckDevice(shell);
    shellCheckDevice(shell);
    EXPECT_EQ(log.calls, (Calls{"stop", "close", "path "}));
}

TEST_F(ShellTest, FilesThatCannotBeReadLeaveTheShellIdleWithoutAWord) {
    folder.file("empty.q7m", "");
    std::filesystem::create_directories(folder.path / "folder.q7m");
    for (const char* name : {"missing.q7m", "empty.q7m", "folder.q7m"}) {
        shellActivate(shell, folder.folder(), name);
        EXPECT_TRUE(log.calls.empty()) << name;
        EXPECT_FALSE(shell.moduleLoaded);
        EXPECT_EQ(shell.moduleImage, nullptr);
    }
}

TEST_F(ShellTest, AModuleThePlayerRefusesIsFreedAndNothingPlays) {
    folder.file("bad.q7m", "not a module");
    log.refuse = true;
    shellActivate(shell, folder.folder(), "bad.q7m");
    EXPECT_EQ(log.calls, (Calls{"open 12"}));
    EXPECT_FALSE(shell.moduleLoaded);
    EXPECT_EQ(shell.moduleImage, nullptr);
    shellStop(shell);
    EXPECT_EQ(log.calls.size(), 1u);
}

TEST_F(ShellTest, AShortReadShowsTheErrorBoxThenEndsTheProgram) {
    folder.file("cut.q7m", "0123456789");
    shell.readFile = [](std::FILE* file, uint8_t* dest, size_t size) { return std::fread(dest, 1, size - 1, file); };
    shellActivate(shell, folder.folder(), "cut.q7m");
    const std::string path = folder.folder() + "cut.q7m";
    EXPECT_EQ(log.calls, (Calls{"error Error|Error loading " + path + ".", "quit 0"}));
    EXPECT_TRUE(shell.ending);
    EXPECT_FALSE(shell.moduleLoaded);
    EXPECT_EQ(shell.moduleImage, nullptr);
}

TEST_F(ShellTest, TheFirstArgumentPlaysAtStartWithOrWithoutQuotes) {
    const std::string path = folder.file("with space/my song.Q7m", "module");
    const std::string quoted = "\"" + path + "\"";
    for (const std::string& argument : {path, quoted}) {
        const char* argv[] = {"wembrastel", argument.c_str(), "ignored.q7m"};
        shellStart(shell, 3, argv);
        EXPECT_EQ(log.calls, (Calls{"open 6", "play", "path " + path})) << argument;
        EXPECT_EQ(shell.currentPath, path);
        unloadModule(shell);
        log.calls.clear();
    }
    const std::string other = folder.file("notes.txt", "text");
    const char* none[] = {"wembrastel"};
    const char* empty[] = {"wembrastel", "\"\""};
    const char* notModule[] = {"wembrastel", other.c_str()};
    shellStart(shell, 1, none);
    shellStart(shell, 2, empty);
    shellStart(shell, 2, notModule);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(ShellTest, ClosingUnloadsBeforeTheProgramEnds) {
    folder.file("song.q7m", "module");
    playing("song.q7m");
    shellEnd(shell);
    EXPECT_EQ(log.calls, (Calls{"stop", "close", "path ", "quit 0"}));
    EXPECT_EQ(shell.moduleImage, nullptr);
}
