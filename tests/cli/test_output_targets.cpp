// Every command that writes a file writes into a FIFO or a device found under
// the output name instead of renaming a new file over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <thread>

#include "cli_test_support.h"

namespace {

struct WriterCase {
    const char* command;  // '@' stands for the output folder
    const char* file;     // the output inside it
};

const WriterCase writers[] = {
    {"render tests/data/small.q7m --frames 1000 -o @/out.wav", "out.wav"},
    {"render tests/data/small.q7m --frames 1000 --stems @", "mix.wav"},
    {"build tests/data/small.json -o @/out.q7m", "out.q7m"},
    {"dump tests/data/small.q7m -o @/out.json", "out.json"},
    {"import tests/data/midi/small.mid -o @/out.json", "out.json"},
};

std::string inFolder(std::string command, const std::string& folder) {
    command.replace(command.find('@'), 1, "'" + folder + "'");
    return command;
}

}  // namespace

TEST_F(CliTest, WritersFillAFifoOrADeviceAndLeaveItInPlace) {
    // Writing into a device needs root; a null device made here stands in
    // for /dev/null, which a failing test must never touch.
    fs::create_directory(path("probe"));
    const bool devices = mknod(path("probe/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const WriterCase& writer : writers) {
        SCOPED_TRACE(writer.command);
        for (const char* folder : {"file", "fifo", "device"}) fs::create_directory(path(folder));
        const std::string fifo = path("fifo/") + writer.file, device = path("device/") + writer.file;
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        // A writer of the test's own holds the reader until the tool is done,
        // so that a tool failing to open the FIFO cannot leave it waiting.
        const int holder = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        std::string received;
        std::thread reader([&] { received = slurp(fifo); });
        const ToolRun run = q7m(inFolder(writer.command, path("fifo")));
        close(holder);
        reader.join();
        EXPECT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(q7m(inFolder(writer.command, path("file"))).status, 0);
        const std::string expected = slurp(path("file/") + writer.file);
        EXPECT_TRUE(received == expected) << received.size() << " bytes, not " << expected.size();
        EXPECT_TRUE(fs::is_fifo(fifo));
        if (devices) {
            ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
            EXPECT_EQ(q7m(inFolder(writer.command, path("device"))).status, 0);
            EXPECT_TRUE(fs::is_character_file(device));
        }
        for (const char* folder : {"file", "fifo", "device"}) fs::remove_all(path(folder));
    }
    if (!devices) GTEST_SKIP() << "no device made (not root): FIFOs only";
}
