// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/threshold.h"

#include "support/test_frame.h"

#include <gtest/gtest.h>

TEST(ComputeThreshold, WorkedExampleAcrossSettings)
{
    TestFrame f = WorkedExample();
    const TProcessingState s = f.state();
    std::int32_t peak = -1;
    EXPECT_DOUBLE_EQ(ComputeThreshold(s, f.data(), peak, 5), 22.25);
    EXPECT_EQ(peak, 10);
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, 0), 10.0);
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, -50), 5.0);
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, 100), 255.0);
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, -100), 0.0);
    // Not clamped: the same formulas hold outside -100..100.
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, 150), 377.5);
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, -150), -5.0);
}

TEST(ComputeThreshold, ThresholdIsComputedStepByStepInDoubles)
{
    TestFrame f(16, 8, 10);
    const TProcessingState s = f.state();
    std::int32_t peak = 0;
    // 7 / 100 is inexact; the value must be (7 / 100) * 245 + 10, not a fused or reordered form.
    const double expected = 7.0 / 100.0 * 245.0 + 10.0;
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, 7), expected);
    const double negative = -33.0 / 100.0 * 10.0 + 10.0;
    EXPECT_EQ(ComputeThreshold(s, f.data(), peak, -33), negative);
}

TEST(ComputeThreshold, EqualCountsPickTheLowerLevel)
{
    TestFrame f(16, 8, 200);
    for (int c = 0; c < 4; ++c)
        f.setBlockGreen(c, 1, 10);
    std::int32_t peak = -1;
    ComputeThreshold(f.state(), f.data(), peak, 0);
    EXPECT_EQ(peak, 10);
}

TEST(ComputeThreshold, BlockMeansRoundHalfToEven)
{
    struct Case {
        int sum;
        int bin;
    };
    // Sums of 16 green bytes: 8 -> mean 0.5 -> bin 0, 24 -> 1.5 -> 2, 40 -> 2.5 -> 2, 9 -> 1.
    for (Case c : {Case{8, 0}, Case{24, 2}, Case{40, 2}, Case{9, 1}}) {
        TestFrame f(4, 4, 0);
        for (int k = 0; k < c.sum; ++k)
            f.pixel(k % 4, (k / 4) % 4)[1] += 1;
        std::int32_t peak = -1;
        ComputeThreshold(f.state(), f.data(), peak, 0);
        EXPECT_EQ(peak, c.bin) << "block sum " << c.sum;
    }
}

TEST(ComputeThreshold, FrameSmallerThanABlockHasPeakZero)
{
    TestFrame f(3, 3, 200);
    std::int32_t peak = -1;
    EXPECT_EQ(ComputeThreshold(f.state(), f.data(), peak, 40), 0.4 * 255);
    EXPECT_EQ(peak, 0);
    EXPECT_EQ(ComputeThreshold(f.state(), f.data(), peak, -30), 0.0);
}

TEST(ComputeThreshold, PartialBlocksAndRedBlueNeverCount)
{
    TestFrame base = WorkedExample();
    std::int32_t expectedPeak = 0;
    const double expected = ComputeThreshold(base.state(), base.data(), expectedPeak, 5);

    // 17 x 9: the extra column and row are bright; red and blue are noise.
    TestFrame f(17, 9, 255);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            f.setPixel(x, y, std::uint8_t(x * 13), base.green(x, y), std::uint8_t(y * 31));
    std::int32_t peak = 0;
    EXPECT_EQ(ComputeThreshold(f.state(), f.data(), peak, 5), expected);
    EXPECT_EQ(peak, expectedPeak);
}

TEST(ComputeThreshold, UniformFrameAtFullSettingIs255)
{
    for (int level : {0, 77, 255}) {
        TestFrame f(16, 8, std::uint8_t(level));
        std::int32_t peak = -1;
        EXPECT_EQ(ComputeThreshold(f.state(), f.data(), peak, 100), 255.0);
        EXPECT_EQ(peak, level);
    }
}
