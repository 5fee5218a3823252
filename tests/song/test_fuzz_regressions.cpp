// Song sources the fuzzer once failed on, replayed through the fuzz
// target's code: whatever the builder accepts, the player must accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/song_input.h"

TEST(FuzzRegressions, SongsTheBuilderAcceptsAreModulesThePlayerAccepts) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = "tests/data/fuzz/song";
    if (std::filesystem::is_directory(dir))
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
    if (files.empty()) GTEST_SKIP() << "no song inputs kept yet";
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        std::string why;
        EXPECT_NE(fuzz::runSong(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &why),
                  fuzz::SongOutcome::moduleRefused) << why;
    }
}
