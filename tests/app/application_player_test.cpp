// The shell with the program's own player, synthesizer and sound output
// (SDL's dummy driver under the tests): a real module loads, plays, stops.
#include <gtest/gtest.h>
#include "app/application_player.h"
#include "app/shell.h"
#include "player/module_player.h"
#include "qt_application.h"
#include "shell_fakes.h"
#include "tests/player/render_test_support.h"

TEST(ApplicationPlayer, PlaysARealModuleAndRefusesAGarbledOne) {
    useTestDevices();
    const std::vector<uint8_t> image = writeOrFail(audibleSource({{0, 60, 100}, {96, 60, 0}}));

    TempFolder folder("wb-real");
    folder.file("tune.q7m", std::string(image.begin(), image.end()));
    folder.file("garbled.q7m", std::string(image.begin(), image.begin() + 20));
    ShellLog log;
    Shell shell;
    shell.player = applicationPlayer();
    shell.view = fakeView(log);
    ModulePlayer& player = applicationModulePlayer();

    shellActivate(shell, folder.folder(), "tune.q7m");
    ASSERT_TRUE(shell.moduleLoaded);
    EXPECT_EQ(shell.moduleSize, image.size());
    EXPECT_EQ(player.playing.load(), 1u);
    EXPECT_EQ(player.muted.load(), 0u);
    shellStop(shell);
    EXPECT_EQ(player.playing.load(), 0u);
    EXPECT_EQ(player.muted.load(), 1u);
    EXPECT_EQ(player.open, 0);

    log.calls.clear();
    shellActivate(shell, folder.folder(), "garbled.q7m");
    EXPECT_FALSE(shell.moduleLoaded);
    EXPECT_EQ(player.playing.load(), 0u);
    EXPECT_TRUE(log.calls.empty());
}
