// Global bytes above the parameter scale (a file may hold up to 255) act as
// 128 and never blow up the bus.
#include <gtest/gtest.h>
#include <cmath>
#include "synth_test_support.h"

TEST(GlobalBytes, ValuesAbove128ActAs128AndStayFinite) {
    const std::vector<uint8_t> bank = buildPatchBank({heldPatch()});
    auto huge = makeSynth();
    auto top = makeSynth();
    std::vector<uint8_t> globals255(globalParamCount, 255);
    std::vector<uint8_t> globals128(globalParamCount, 128);
    initSynth(*huge, bank);
    initSynth(*top, bank);
    synthSetGlobals(*huge, globals255.data());
    synthSetGlobals(*top, globals128.data());
    EXPECT_EQ(huge->globalParams[rvbLowCut], 128.0f);

    std::vector<float> a(2 * 44100), b(2 * 44100);
    for (Synth* s : {huge.get(), top.get()}) send(*s, {0x90, 60, 100, 0xFD});
    synthRender(*huge, a.data(), 44100, nullptr, 0);
    synthRender(*top, b.data(), 44100, nullptr, 0);
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_TRUE(std::isfinite(a[i])) << "sample " << i;
        ASSERT_EQ(a[i], b[i]) << "sample " << i;
    }
}
