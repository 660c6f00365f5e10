// SPDX-License-Identifier: GPL-3.0-or-later
// Masters combined from frames, and frames calibrated with them: exact where
// there is nothing to do, rounded and clamped at the frame's depth, and a
// flat that never shifts the colour balance.

#include "calibration/calibrator.h"
#include "synthetic_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

namespace {

using namespace calibtest;

const Layout kLayouts[] = {
    {"Mono8", 1, 8, 1, false, std::nullopt, false},
    {"Rggb12BottomUp", 2, 12, 1, false, BayerPattern::Rggb, true},
    {"Gbrg16", 2, 16, 1, false, BayerPattern::Gbrg, false},
    {"Bgr8BottomUp", 1, 8, 3, true, std::nullopt, true},
    {"Rgb10", 2, 10, 3, false, std::nullopt, false},
};

class Layouts : public testing::TestWithParam<Layout> {};

TEST_P(Layouts, FramesStayExactWhereCalibrationHasNothingToDoAndTakeTheirOwnDark)
{
    const Layout& layout = GetParam();
    constexpr std::int32_t kWidth = 37;
    constexpr std::int32_t kHeight = 11;
    Frame frame(layout, kWidth, kHeight);
    Noise noise(7);
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            for (std::int32_t p = 0; p < layout.planes; ++p) {
                frame.set(x, y, p, 3 + std::uint32_t(noise.uniform() * (layout.top() - 2)));
            }
        }
    }
    const Frame original = frame;
    Calibrator({}).apply(frame.image);
    EXPECT_EQ(frame.bytes(), original.bytes());

    const Calibrator zeroDarkEvenFlat(Masters(Uniform(MasterKind::Dark, layout, kWidth, kHeight, 0.0f),
                                              Uniform(MasterKind::Flat, layout, kWidth, kHeight, 1234.5f)));
    ASSERT_TRUE(zeroDarkEvenFlat.hasMasters());
    zeroDarkEvenFlat.apply(frame.image);
    EXPECT_EQ(frame.bytes(), original.bytes());

    // A dark of 1 on red, 2 on green, 3 on blue: each sample loses its own
    // colour's, whatever order the frame keeps its planes or rows in.
    Master dark = Uniform(MasterKind::Dark, layout, kWidth, kHeight, 0.0f);
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            for (std::int32_t p = 0; p < layout.planes; ++p) {
                dark.values[std::size_t((y * kWidth + x) * layout.planes + p)] = float(1 + ColourOf(layout, x, y, p));
            }
        }
    }
    Calibrator(Masters(dark)).apply(frame.image);
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            for (std::int32_t p = 0; p < layout.planes; ++p) {
                ASSERT_EQ(frame.at(x, y, p), original.at(x, y, p) - std::uint32_t(1 + ColourOf(layout, x, y, p)))
                    << x << "," << y << " plane " << p;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calibrator, Layouts, testing::ValuesIn(kLayouts));

TEST(Calibrator, RoundsToTheNearestAndClampsToTheFramesDepth)
{
    const Layout layout{"Mono12", 2, 12, 1, false, std::nullopt, false};
    Frame frame(layout, 4, 1);
    const std::uint32_t raw[] = {100, 4000, 101, 2000};
    for (std::int32_t x = 0; x < 4; ++x) {
        frame.set(x, 0, 0, raw[x]);
    }
    Master dark = Uniform(MasterKind::Dark, layout, 4, 1, 0.0f);
    dark.values = {150.0f, 0.0f, 0.4f, 0.6f};
    Master flat = Uniform(MasterKind::Flat, layout, 4, 1, 0.0f);
    flat.values = {2.0f, 1.0f, 2.0f, 2.0f};   // mean 1.75: gains 0.875 and 1.75
    Calibrator(Masters(dark, flat)).apply(frame.image);
    EXPECT_EQ(frame.at(0, 0), 0U);      // below the dark
    EXPECT_EQ(frame.at(1, 0), 4095U);   // 7000, over 12 bits
    EXPECT_EQ(frame.at(2, 0), 88U);     // 88.025
    EXPECT_EQ(frame.at(3, 0), 1749U);   // 1749.475
}

// A flat whose red sites see half the light of its green ones, over a
// vignetted field with a dead corner. Normalising the whole flat to one mean
// would bring every site of a uniform-colour frame to the same level; each
// site by its own mean keeps the frame's red at half its green.
TEST(Calibrator, AMosaicFlatKeepsTheColourBalance)
{
    const Layout layout{"Rggb12", 2, 12, 1, false, BayerPattern::Rggb, false};
    constexpr std::int32_t kWidth = 64;
    constexpr std::int32_t kHeight = 48;
    const double flatLevel[] = {1000.0, 2000.0, 1600.0};
    const double lightLevel[] = {800.0, 1600.0, 1200.0};
    Master flat = Uniform(MasterKind::Flat, layout, kWidth, kHeight, 0.0f);
    Frame light(layout, kWidth, kHeight);
    const auto deadCorner = [](std::int32_t x, std::int32_t y) { return x < 4 && y < 4; };
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const double r = std::hypot(x - 31.5, y - 23.5) / 40.0;
            const double shape = 1.0 - 0.3 * r * r;
            const std::int32_t colour = ColourOf(layout, x, y, 0);
            flat.values[std::size_t(y * kWidth + x)] = deadCorner(x, y) ? 0.0f : float(flatLevel[colour] * shape);
            light.set(x, y, 0, deadCorner(x, y) ? 1000U : std::uint32_t(std::lround(lightLevel[colour] * shape)));
        }
    }
    Calibrator(Masters(std::nullopt, flat)).apply(light.image);

    double sum[3] = {};
    double lowest[3] = {1e9, 1e9, 1e9};
    double highest[3] = {};
    std::int32_t count[3] = {};
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const double v = light.at(x, y);
            if (deadCorner(x, y)) {
                EXPECT_EQ(v, 1000.0) << "a dead flat sample divides by 1";
                continue;
            }
            const std::int32_t c = ColourOf(layout, x, y, 0);
            sum[c] += v;
            ++count[c];
            lowest[c] = std::min(lowest[c], v);
            highest[c] = std::max(highest[c], v);
        }
    }
    const double red = sum[0] / count[0];
    const double green = sum[1] / count[1];
    const double blue = sum[2] / count[2];
    std::cout << "after the flat: red/green " << red / green << ", blue/green " << blue / green << "\n";
    EXPECT_NEAR(red / green, 0.5, 0.0025);
    EXPECT_NEAR(blue / green, 0.75, 0.00375);
    for (std::int32_t c = 0; c < 3; ++c) {
        EXPECT_LE(highest[c] - lowest[c], 3.0) << "the vignetting is gone from colour " << c;
    }
}

// Sizes come from files' headers: a mismatch is refused before a sample is
// written, never read or written past a buffer.
TEST(Calibrator, RefusesWhatDoesNotFit)
{
    const Layout layout{"Mono12", 2, 12, 1, false, std::nullopt, false};
    Frame frame(layout, 8, 4);
    const Frame original = frame;
    const Master dark = Uniform(MasterKind::Dark, layout, 8, 4, 1.0f);
    EXPECT_THROW(Calibrator(Masters(dark, Uniform(MasterKind::Flat, layout, 8, 5, 1.0f))), std::invalid_argument);
    EXPECT_THROW(Calibrator(Masters(Uniform(MasterKind::Dark, layout, 9, 4, 1.0f))).apply(frame.image),
                 std::invalid_argument);
    DefectMap outside;
    outside.width = 8;
    outside.height = 4;
    outside.hot = {3, 32};
    EXPECT_THROW(Calibrator(Masters(dark), outside), std::invalid_argument);
    EXPECT_THROW(RepairDefects(frame.image, outside), std::invalid_argument);
    Calibrator late(Masters(dark));
    late.setDefects(outside);
    EXPECT_THROW(late.apply(frame.image), std::invalid_argument);
    frame.image.depth = 17;
    EXPECT_THROW(Calibrator(Masters(dark)).apply(frame.image), std::invalid_argument);
    EXPECT_EQ(frame.bytes(), original.bytes());
    MasterCombiner combiner(MasterKind::Dark, 8, 3, 1);
    EXPECT_THROW(combiner.add(original.image), std::invalid_argument);
    EXPECT_THROW(combiner.add(original.image, &dark), std::invalid_argument);
}

// A cosmic ray in one of 20 frames moves the plain mean of its sample by
// 150 units; the clipped mean drops it and is the mean of the other 19.
TEST(MasterCombiner, SigmaClippingDropsACosmicRayThePlainMeanKeeps)
{
    const Layout layout{"Mono12", 2, 12, 1, false, std::nullopt, false};
    const auto frame = [&](std::int32_t i) {
        Frame f(layout, 16, 8);
        Noise noise(std::uint32_t(100 + i));
        for (std::int32_t y = 0; y < 8; ++y) {
            for (std::int32_t x = 0; x < 16; ++x) {
                f.set(x, y, 0, std::uint32_t(std::lround(1000.0 + 10.0 * noise.normal())));
            }
        }
        if (i == 7) {
            f.set(5, 5, 0, 4000);
        }
        return f;
    };
    double others = 0.0;
    for (std::int32_t i = 0; i < 20; ++i) {
        others += i == 7 ? 0.0 : frame(i).at(5, 5);
    }
    others /= 19.0;
    const Master mean = Combine(MasterKind::Dark, 20, frame, CombineMethod::Mean);
    const Master clipped = Combine(MasterKind::Dark, 20, frame);
    const float plainHit = mean.values[5 * 16 + 5];
    const float clippedHit = clipped.values[5 * 16 + 5];
    std::cout << "cosmic ray sample: plain mean " << plainHit << ", clipped mean " << clippedHit
              << ", mean of the other 19 " << others << "\n";
    EXPECT_GT(plainHit - others, 140.0);
    EXPECT_NEAR(clippedHit, others, 1e-3);
    EXPECT_EQ(clipped.combined, 20);
}

// Thousands of 16-bit frames, less a bias: float sums would be off by units.
TEST(MasterCombiner, ManySixteenBitFramesAverageExactly)
{
    const Layout layout{"Mono16", 2, 16, 1, false, std::nullopt, true};
    const auto frame = [&](std::int32_t i) {
        Frame f(layout, 4, 2);
        for (std::int32_t x = 0; x < 4; ++x) {
            f.set(x, 0, 0, i % 2 == 0 ? 65535U : 65534U);
            f.set(x, 1, 0, 65535U);
        }
        return f;
    };
    const Master bias = Uniform(MasterKind::Bias, layout, 4, 2, 100.0f);
    for (const CombineMethod method : {CombineMethod::Mean, CombineMethod::SigmaClippedMean}) {
        const Master master = Combine(MasterKind::Dark, 6000, frame, method, &bias);
        EXPECT_EQ(master.values[0], 65434.5f);
        EXPECT_EQ(master.values[7], 65435.0f);
    }
}

}   // namespace
