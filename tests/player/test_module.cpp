// The module parse: layout, size limits, speech slots, and refusals with reasons.
#include <gtest/gtest.h>

#include <cstring>

#include "module_test_support.h"

namespace {

void appendWord(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// The blocks after the sixteen channel records, each size field as given.
struct Blocks {
    uint32_t globalField = 22;
    std::vector<uint8_t> global = std::vector<uint8_t>(22, 0);
    uint32_t patchField = 90;
    std::vector<uint8_t> patch = {4, 0, 0, 0};   // program 0 at offset 4, 86 bytes, no routings
    uint32_t speechField = 0;
    std::vector<uint8_t> speech;
    Blocks() { patch.resize(90, 0); }
};

// A module without events (12-byte header, sixteen zero note counts) and the blocks.
std::vector<uint8_t> assemble(const Blocks& b) {
    std::vector<uint8_t> out;
    appendWord(out, 96);
    appendWord(out, 0);
    appendWord(out, 0);
    out.resize(12 + 64, 0);
    appendWord(out, b.globalField);
    out.insert(out.end(), b.global.begin(), b.global.end());
    appendWord(out, b.patchField);
    out.insert(out.end(), b.patch.begin(), b.patch.end());
    appendWord(out, b.speechField);
    out.insert(out.end(), b.speech.begin(), b.speech.end());
    return out;
}

// A speech block: count, offsets from the count field, then the texts.
std::vector<uint8_t> speechBlock(const std::vector<std::string>& texts) {
    std::vector<uint8_t> block;
    appendWord(block, uint32_t(texts.size()));
    uint32_t offset = uint32_t(4 + 4 * texts.size());
    for (const std::string& text : texts) {
        appendWord(block, offset);
        offset += uint32_t(text.size() + 1);
    }
    for (const std::string& text : texts) {
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0);
    }
    return block;
}

bool parses(const std::vector<uint8_t>& image, ModuleView& view) {
    std::string reason;
    bool ok = parseModule(image.data(), uint32_t(image.size()), view, reason);
    EXPECT_TRUE(ok) << reason;
    return ok;
}

}  // namespace

TEST(ModuleParse, SmallestLayoutIs88BytesAndAPlayableOneAddsGlobalsAndPatchZero) {
    Blocks empty;
    empty.globalField = 0;
    empty.global.clear();
    empty.patchField = 0;
    empty.patch.clear();
    std::vector<uint8_t> smallest = assemble(empty);
    ASSERT_EQ(smallest.size(), 88u);
    // the layout is complete: what is missing is content the synthesizer reads
    EXPECT_EQ(parseFailure(smallest), "global parameter block has 0 bytes; the synthesizer needs at least 22");
    smallest.pop_back();
    EXPECT_EQ(parseFailure(smallest),
              "speech block size is truncated (needs 4 bytes at offset 84, file has 87)");

    std::vector<uint8_t> playable = assemble(Blocks{});
    ASSERT_EQ(playable.size(), 88u + 22 + 90);
    auto view = std::make_unique<ModuleView>();
    ASSERT_TRUE(parses(playable, *view));
    EXPECT_EQ(view->globalParams, playable.data() + 80);
    EXPECT_EQ(view->patchBlock, playable.data() + 106);
    EXPECT_EQ(view->speechBlock, nullptr);
}

// Each block's size field and content, at and past its limits.
TEST(ModuleParse, BlockSizesAndSpeechContent) {
    const std::vector<uint8_t> ok = speechBlock({"ab", "cd"});   // 12 + 6 = 18 bytes
    auto speech = [](std::vector<uint8_t> block, uint32_t field, size_t at = SIZE_MAX, uint8_t value = 0) {
        Blocks b;
        if (at != SIZE_MAX) block[at] = value;
        b.speech = std::move(block);
        b.speechField = field;
        return b;
    };
    auto globals = [](uint32_t field, size_t size) {
        Blocks b;
        b.globalField = field;
        b.global.resize(size, 0);
        return b;
    };
    auto patches = [](uint32_t field, size_t size) {
        Blocks b;
        b.patchField = field;
        b.patch.resize(size, 0);
        return b;
    };
    const std::pair<Blocks, std::string> cases[] = {
        {globals(16384, 16384), ""},
        {globals(16385, 16385), "global parameter block size 16385 is outside 0 to 16384"},
        {globals(0x80000016u, 22), "global parameter block size -2147483626 is outside 0 to 16384"},
        {patches(1048576, 1048576), ""},
        {patches(1048577, 1048577), "patch block size 1048577 is outside 0 to 1048576"},
        {patches(0xFFFFFFFFu, 90), "patch block size -1 is outside 0 to 1048576"},
        {speech(ok, 18), ""},
        {speech(ok, 17), "speech text 1 has no zero byte before the end of the speech block"},
        {speech(ok, 18, 8, 18), "speech text 1 starts at offset 18, outside the 18-byte speech block"},
        {speech(ok, 18, 1, 1), "speech block has 258 texts; at most 256 are allowed"},
        {speech(ok, 18, 0, 4), "speech block of 18 bytes is too short for the offsets of its 4 texts"},
        {speech({1, 0, 0}, 3), "speech block of 3 bytes is too short for its text count"},
        {speech(ok, 40), "speech block is truncated (needs 40 bytes at offset 200, file has 218)"},
    };
    for (const auto& [blocks, reason] : cases) EXPECT_EQ(parseFailure(assemble(blocks)), reason);
}

TEST(ModuleParse, SpeechBlockOf8191BytesIsReadAnd8192MeansNone) {
    Blocks b;
    b.speech = speechBlock({"hello"});
    b.speech.resize(8191, 'x');   // padding after the text stays inside the block
    b.speechField = 8191;
    std::vector<uint8_t> image = assemble(b);
    auto view = std::make_unique<ModuleView>();
    ASSERT_TRUE(parses(image, *view));
    EXPECT_EQ(view->speechBlock, image.data() + 88 + 22 + 90);
    EXPECT_STREQ(view->speechTexts[0], "hello");
    EXPECT_STREQ(view->speechTexts[1], " ");

    b.speechField = 8192;   // the bytes after the field are not read at all
    image = assemble(b);
    ASSERT_TRUE(parses(image, *view));
    EXPECT_EQ(view->speechBlock, nullptr);
    for (const char* text : view->speechTexts) ASSERT_EQ(text, defaultSpeechText);
}

TEST(ModuleParse, EveryParseResetsAllSpeechSlotsBeforeFillingItsOwn) {
    Blocks five;
    five.speech = speechBlock({"a", "b", "c", "d", "e"});
    five.speechField = uint32_t(five.speech.size());
    std::vector<uint8_t> first = assemble(five);
    Blocks three;
    three.speech = speechBlock({"one", "two", "three"});
    three.speechField = uint32_t(three.speech.size());
    std::vector<uint8_t> second = assemble(three);

    auto view = std::make_unique<ModuleView>();
    ASSERT_TRUE(parses(first, *view));
    EXPECT_STREQ(view->speechTexts[4], "e");
    ASSERT_TRUE(parses(second, *view));
    first.assign(first.size(), 0xEE);   // the first image is gone
    EXPECT_EQ(view->speechTextCount, 3u);
    EXPECT_STREQ(view->speechTexts[2], "three");
    for (int slot = 3; slot < 256; ++slot) ASSERT_EQ(view->speechTexts[slot], defaultSpeechText) << slot;
    // a failing parse leaves no slot pointing into its image either
    second[88 + 22 + 90 + 1] = 1;   // speech count 3 + 256
    std::string reason;
    ASSERT_FALSE(parseModule(second.data(), uint32_t(second.size()), *view, reason));
    EXPECT_EQ(reason, "speech block has 259 texts; at most 256 are allowed");
    for (const char* text : view->speechTexts) ASSERT_EQ(text, defaultSpeechText);
}

TEST(ModuleParse, TimeBaseAndTempoRanges) {
    ModuleSource source = playableSource();
    source.tempos = {{0, 500000}, {10, 400000}, {20, 9739154}};   // G = 3: tempo plane at 3G = 9
    source.channels[0].notes = {{0, 60, 100}};
    std::vector<uint8_t> image = mustWrite(source);
    EXPECT_EQ(parseFailure(image), "");
    std::vector<uint8_t> slow = image;
    putWordAt(slow, 12 + 9 + 8, 9739155);    // tempo of event 2, at an odd address
    EXPECT_EQ(parseFailure(slow),
              "tempo event 2 sets 9739155 microseconds per beat, outside 1 to 9739154");

    putWordAt(image, 0, 429496);
    EXPECT_EQ(parseFailure(image), "");
    putWordAt(image, 0, 429497);
    EXPECT_EQ(parseFailure(image), "time division of 429497 ticks per beat is outside 1 to 429496");
    putWordAt(image, 0, 0);
    EXPECT_EQ(parseFailure(image), "time division of 0 ticks per beat is outside 1 to 429496");
}

TEST(ModuleParse, StreamsMustEndBeforeTheReservedTick) {
    // 256 deltas of 0xFFFFFF reach 4294967040; a last delta of 254 ends one tick short
    ModuleSource source = playableSource();
    auto& controller = source.channels[5].controllers[2];
    source.channels[5].notes = {{0, 60, 1}};
    for (uint32_t i = 1; i <= 256; ++i) controller.push_back({i * 0xFFFFFFu, 1});
    controller.push_back({0xFFFFFFFEu, 2});
    std::vector<uint8_t> image = mustWrite(source);
    EXPECT_EQ(parseFailure(image), "");
    auto view = std::make_unique<ModuleView>();
    ASSERT_TRUE(parses(image, *view));
    const size_t lastDelta = size_t(view->channels[5].controllers[2] - image.data()) + 256;
    ASSERT_EQ(image[lastDelta], 254);
    image[lastDelta] = 255;
    EXPECT_EQ(parseFailure(image),
              "controller 3 stream of channel 5 reaches tick 4294967295; events must lie before tick 4294967295");
}

TEST(ModuleParse, EveryProgramTheStreamsSelectNeedsACompletePatch) {
    ModuleSource source = playableSource(6);
    source.channels[3].notes = {{0, 60, 1}};
    source.channels[3].programs = {{0, 5}, {1, 128 + 4}};   // 132 selects program 4
    EXPECT_EQ(parseFailure(mustWrite(source)), "");

    // The table has no count: with five patches, entry 5 is the first word of
    // patch 0, here the offset 1000.
    source.patchBlock = buildPatchBank(std::vector<PatchRecord>(5));   // 20 + 5 x 86 = 450 bytes
    putWordAt(source.patchBlock, 20, 1000);
    EXPECT_EQ(parseFailure(mustWrite(source)),
              "patch for program 5 at offset 1000 runs past the 450-byte patch block (needs 86 bytes)");
    source.channels[3].programs = {{0, 4}};
    EXPECT_EQ(parseFailure(mustWrite(source)), "");
    source.patchBlock[20 + 4 * 86 + 85] = 1;   // the last patch claims one routing it lacks
    EXPECT_EQ(parseFailure(mustWrite(source)),
              "patch for program 4 at offset 364 runs past the 450-byte patch block (needs 89 bytes)");

    ModuleSource small = playableSource(1);   // 90 bytes
    small.channels[0].notes = {{0, 60, 1}};
    small.channels[0].programs = {{7, 30}};
    EXPECT_EQ(parseFailure(mustWrite(small)),
              "patch for program 30 is missing: the patch block of 90 bytes ends before its offset "
              "table entry (needs 124 bytes)");
    ModuleSource bare = playableSource(0);
    EXPECT_EQ(parseFailure(mustWrite(bare)),
              "patch for program 0 is missing: the patch block of 0 bytes ends before its offset "
              "table entry (needs 4 bytes)");
}

TEST(ModuleParse, CorruptedCountsAreRefusedWithWhereTheDataRunsOut) {
    ModuleSource source = playableSource();
    source.channels[3].notes = {{0, 60, 100}, {96, 60, 0}};
    source.channels[3].bends = {{0, 0, 64}};
    std::vector<uint8_t> image = mustWrite(source);   // channel 3's note count at 12 + 12 = 24
    ASSERT_EQ(parseFailure(image), "");
    const uint32_t size = uint32_t(image.size());
    std::vector<uint8_t> huge = image;
    putWordAt(huge, 24, 0xFFFFFFFFu);   // 5 x count needs more than 32 bits
    EXPECT_EQ(parseFailure(huge), "note stream of channel 3 is truncated (needs 21474836475 bytes at offset 28, "
                                      "file has " + std::to_string(size) + ")");
    std::vector<uint8_t> globals = image;
    putWordAt(globals, 8, 1000);
    EXPECT_EQ(parseFailure(globals), "global event stream is truncated (needs 10000 bytes at offset 12, file has " +
                                         std::to_string(size) + ")");
}

TEST(ModuleParse, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    ModuleSource source = playableSource(3);
    source.tempos = {{0, 500000}, {48, 400000, 3, 4, 8}, {96, 450000}};
    source.channels[0].notes = {{0, 60, 100}, {10, 60, 0}};
    source.channels[0].programs = {{0, 2}};
    source.channels[0].bends = {{5, 0, 64}};
    source.channels[0].controllers[3] = {{1, 7}, {2, 8}};
    source.channels[15].notes = {{3, 50, 90}};
    source.speechTexts = {"hi", "there"};
    const std::vector<uint8_t> image = mustWrite(source);
    ASSERT_EQ(parseFailure(image), "");
    for (size_t cut = 0; cut < image.size(); ++cut) {
        // an exact-size copy, so the sanitizer catches any read past the cut
        auto heap = std::make_unique<uint8_t[]>(cut);
        std::memcpy(heap.get(), image.data(), cut);
        auto view = std::make_unique<ModuleView>();
        std::string reason;
        ASSERT_FALSE(parseModule(cut == 0 ? nullptr : heap.get(), uint32_t(cut), *view, reason)) << cut;
        EXPECT_NE(reason.find("is truncated"), std::string::npos) << cut << ": " << reason;
    }
}
