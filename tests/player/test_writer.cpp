// The writer's bytes, worked out by hand from the file layout.
#include <gtest/gtest.h>

#include "module_test_support.h"

namespace {

uint32_t wordAt(const std::vector<uint8_t>& image, size_t at) {
    return uint32_t(image[at]) | uint32_t(image[at + 1]) << 8 | uint32_t(image[at + 2]) << 16 |
           uint32_t(image[at + 3]) << 24;
}

}  // namespace

TEST(ModuleWriter, NoteStreamIsStoredAsPlanesOfDeltasAndDifferences) {
    ModuleSource source;
    source.channels[0].notes = {{0, 60, 100}, {96, 60, 0}};
    std::vector<uint8_t> image = mustWrite(source);
    // header 12, then channel 0: count 2, ten stream bytes
    ASSERT_EQ(wordAt(image, 12), 2u);
    const std::vector<uint8_t> expected = {0x00, 0x60, 0x00, 0x00, 0x00, 0x00,
                                           0x3C, 0x00, 0x64, 0x9C};
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 16, image.begin() + 26), expected);
    // then program, bend and 7 controller counts (all 0), 15 empty channels, 3 sizes
    EXPECT_EQ(image.size(), 12u + 4 + 10 + 4 * 9 + 15 * 4 + 12);
}

TEST(ModuleWriter, RefusesWhatTheFormatCannotHold) {
    auto refuses = [](const ModuleSource& source, const std::string& part) {
        std::vector<uint8_t> image;
        std::string reason;
        EXPECT_FALSE(writeModule(source, image, reason));
        EXPECT_NE(reason.find(part), std::string::npos) << reason;
    };
    ModuleSource longGap;
    longGap.channels[2].notes = {{5, 1, 1}, {5 + 0x1000000, 1, 0}};
    refuses(longGap, "channel 2 notes");
    ModuleSource justFits;
    justFits.channels[2].notes = {{0xFFFFFF, 1, 1}};
    std::vector<uint8_t> image;
    std::string reason;
    EXPECT_TRUE(writeModule(justFits, image, reason)) << reason;

    ModuleSource backwards;
    backwards.tempos = {{10, 500000}, {9, 500000}};
    refuses(backwards, "tempo stream");
    ModuleSource orphan;
    orphan.channels[4].controllers[6] = {{0, 1}};
    refuses(orphan, "channel 4");
    ModuleSource chatty;
    chatty.speechTexts.assign(257, "a");
    refuses(chatty, "257 speech texts");
    ModuleSource wordy;
    wordy.speechTexts = {std::string(8191 - 9, 'x')};   // 4 + 4 + 8182 + 1 = 8191 bytes: fits
    EXPECT_TRUE(writeModule(wordy, image, reason)) << reason;
    wordy.speechTexts[0] += 'x';
    refuses(wordy, "8192");
    ModuleSource bigGlobals;
    bigGlobals.globalParams.resize(16385);
    refuses(bigGlobals, "16384");

    PatchRecord crowded;
    crowded.routings.resize(256);
    EXPECT_TRUE(buildPatchBank({crowded}).empty());
}
