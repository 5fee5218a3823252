// Inputs the fuzzers once failed on (crash, sanitizer report or more than a
// second), replayed through the very code of the fuzz targets: modules from
// tests/data/fuzz/module, command streams from tests/data/fuzz/commands.
// Under the sanitizer build (make test-sanitize) they are checked as the
// fuzzers checked them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/command_input.h"
#include "fuzz/module_input.h"

namespace {

std::vector<std::filesystem::path> inputsIn(const char* folder) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path("tests/data/fuzz") / folder;
    if (!std::filesystem::is_directory(dir)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename() != "README") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(FuzzRegressions, ModulesOpenPlayAndRenderTwoSeconds) {
    const auto files = inputsIn("module");
    ASSERT_FALSE(files.empty()) << "no inputs in tests/data/fuzz/module (run from the repository)";
    auto run = std::make_unique<fuzz::ModuleRun>();
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<uint8_t> bytes = readBytes(file);
        fuzz::runModule(*run, bytes.data(), bytes.size());
        // Getting through without a crash or a sanitizer report is the
        // check; the run always ends stopped.
        EXPECT_EQ(run->player->playing.load(), 0u);
    }
}

TEST(FuzzRegressions, CommandStreamsRenderThroughTheSynthesizer) {
    const auto files = inputsIn("commands");
    if (files.empty()) GTEST_SKIP() << "no command inputs kept yet";
    auto run = std::make_unique<fuzz::CommandRun>();
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<uint8_t> bytes = readBytes(file);
        fuzz::runCommands(*run, bytes.data(), bytes.size());
    }
}
