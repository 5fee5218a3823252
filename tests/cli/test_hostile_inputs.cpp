// Inputs named like modules that are none: an endless device, a FIFO without
// a writer, a file far above any module's size. Every command refuses them at
// once (a hang ends in `timeout`'s status 124, not in a stuck test).
#include <sys/stat.h>

#include "cli_test_support.h"
#include "io/input_file.h"

TEST_F(CliTest, EndlessBlockingAndHugeInputsAreRefusedUnread) {
    fs::create_symlink("/dev/zero", dir / "zero.q7m");
    ASSERT_EQ(mkfifo(path("fifo.q7m").c_str(), 0600), 0);
    std::ofstream(path("huge.q7m")).put('x');
    fs::resize_file(path("huge.q7m"), uint64_t(5) << 30);  // sparse: no disk used
    fs::create_symlink("/dev/zero", dir / "zero.json");
    const std::string notRegular = "not a regular file";
    struct Case { std::string command; std::string file; std::string reason; };
    const Case cases[] = {
        {"info", "zero.q7m", notRegular},
        {"dump", "zero.q7m", notRegular},
        {"render -o '" + path("out.wav") + "'", "zero.q7m", notRegular},
        {"play --driver dummy", "zero.q7m", notRegular},
        {"info", "fifo.q7m", notRegular},
        {"render -o '" + path("out.wav") + "'", "fifo.q7m", notRegular},
        {"info", "huge.q7m", "5368709120 bytes, above the limit of 64 MiB"},
        {"dump", "huge.q7m", "5368709120 bytes, above the limit of 64 MiB"},
        {"build -o '" + path("out.q7m") + "'", "zero.json", notRegular},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + " " + c.file);
        const ToolRun run = q7m(c.command + " '" + path(c.file) + "'", "", "timeout -s KILL 20");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "q7m: " + path(c.file) + ": " + c.reason + "\n");
    }
    EXPECT_FALSE(fs::exists(path("out.wav")));
}
