// The sound output's float to 16-bit conversion: x 32768, nearest even,
// out of range or NaN to the most negative integer, clamp to +-32600.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "player/pcm.h"

TEST(Pcm16, ScalesRoundsToEvenClampsAt32600AndOutOfRangeBecomesTheNegativeLimit) {
    const float scale = 32768.0f;
    EXPECT_EQ(floatToPcm16(1.0f, scale), 32600);
    EXPECT_EQ(floatToPcm16(-1.0f, scale), -32600);
    EXPECT_EQ(floatToPcm16(0.5f, scale), 16384);
    EXPECT_EQ(floatToPcm16(2.5f / 32768, scale), 2);
    EXPECT_EQ(floatToPcm16(3.5f / 32768, scale), 4);
    EXPECT_EQ(floatToPcm16(32600.0f / 32768, scale), 32600);
    EXPECT_EQ(floatToPcm16(32599.0f / 32768, scale), 32599);
    EXPECT_EQ(floatToPcm16(-32601.0f / 32768, scale), -32600);
    // Past the 32-bit range the conversion yields INT32_MIN, which clamps to
    // -32600, whatever the sign of the input.
    EXPECT_EQ(floatToPcm16(std::numeric_limits<float>::quiet_NaN(), scale), -32600);
    EXPECT_EQ(floatToPcm16(std::numeric_limits<float>::infinity(), scale), -32600);
    EXPECT_EQ(floatToPcm16(70000.0f, scale), -32600);   // 2.29e9 > 2^31
    EXPECT_EQ(floatToPcm16(65535.0f, scale), 32600);    // 2.147e9 < 2^31 still fits
    EXPECT_EQ(floatToPcm16(-70000.0f, scale), -32600);
    EXPECT_EQ(floatToPcm16(-65536.0f, scale), -32600);  // -2^31 itself is in range
    EXPECT_EQ(floatToPcm16(0.0f, std::numeric_limits<float>::infinity()), -32600);  // 0 x inf is NaN
}
