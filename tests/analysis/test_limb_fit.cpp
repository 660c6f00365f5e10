// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/limb_fit.h"
#include "analysis/planet.h"
#include "analysis/threshold.h"

#include "support/crescent.h"
#include "support/test_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kRadius = 60.0;
constexpr double kSeeing = 1.5;
constexpr double kPercent = 10.0;

double Shade(double x, double y, double phase)
{
    return CrescentShade(x, y, kRadius, phase);
}

// The picture of brightness(x, y) as green in a BGR frame (blue and red
// differ, so reading another channel shows).
TestFrame Render(const std::function<double(double, double)>& brightness, std::uint32_t seed)
{
    constexpr std::int32_t kSize = 256;
    const std::vector<std::uint8_t> levels = SeeingPicture(kSize, kSize, brightness, kSeeing, seed);
    TestFrame frame(kSize, kSize);
    for (std::int32_t y = 0; y < kSize; ++y)
        for (std::int32_t x = 0; x < kSize; ++x) {
            const std::uint8_t g = levels[std::size_t(y) * kSize + std::size_t(x)];
            frame.setPixel(x, y, std::uint8_t(g / 2), g, std::uint8_t(255 - g));
        }
    return frame;
}

FrameView View(TestFrame& f)
{
    return {f.data(), std::ptrdiff_t(f.width) * 3, f.width, f.height, 3};
}

// The hint as a run would have it: the planet search's centre of gravity,
// extent and threshold level.
LimbHint SearchHint(TestFrame& f)
{
    const PlanetFix fix = SearchPlanet(f.state(), View(f), nullptr, {kPercent, false, false, false});
    std::int32_t peak = 0;
    const double threshold = ComputeThreshold(f.state(), f.data(), peak, kPercent);
    LimbHint hint;
    hint.centerX = fix.centerX;
    hint.centerY = fix.centerY;
    hint.radiusX = fix.radiusX;
    hint.radiusY = fix.radiusY;
    hint.threshold = threshold;
    return hint;
}

double MedianRadius(std::vector<double> radii)
{
    std::sort(radii.begin(), radii.end());
    return radii[radii.size() / 2];
}

class LimbFitPhase : public ::testing::TestWithParam<double> {};

}   // namespace

// The disc steps by known sub-pixel amounts; the fit must follow the disc,
// not the lit part, with little jitter from frame to frame. As a run does,
// the radius is learned from the first frames and then held.
TEST_P(LimbFitPhase, FollowsTheDiscCentre)
{
    const double phase = GetParam();
    constexpr std::int32_t kFrames = 24, kLearning = 5;
    std::vector<double> errorsX, errorsY, radii;
    double worst = 0.0, worstFromGravity = 0.0, micros = 0.0;
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const double cx = 120.3 + 0.37 * i, cy = 130.6 - 0.21 * i;
        TestFrame frame = Render([&](double x, double y) { return Shade(x - cx, y - cy, phase); }, 7u + i);
        LimbHint hint = SearchHint(frame);
        if (i >= kLearning)
            hint.radius = MedianRadius(radii);
        const auto start = std::chrono::steady_clock::now();
        const auto fit = FitLimb(View(frame), hint);
        micros += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        ASSERT_TRUE(fit.has_value()) << "frame " << i;
        if (i < kLearning)
            radii.push_back(fit->radius);
        errorsX.push_back(fit->centerX - cx);
        errorsY.push_back(fit->centerY - cy);
        worst = std::max(worst, std::hypot(errorsX.back(), errorsY.back()));
        worstFromGravity =
            std::max(worstFromGravity, std::hypot(fit->centerX - hint.centerX, fit->centerY - hint.centerY));
        EXPECT_NEAR(fit->radius, kRadius, 1.5);
    }
    double meanX = 0.0, meanY = 0.0, jitter = 0.0;
    for (std::size_t k = 0; k < errorsX.size(); ++k) {
        meanX += errorsX[k] / double(errorsX.size());
        meanY += errorsY[k] / double(errorsY.size());
    }
    for (std::size_t k = 0; k < errorsX.size(); ++k)
        jitter += std::pow(errorsX[k] - meanX, 2) + std::pow(errorsY[k] - meanY, 2);
    jitter = std::sqrt(jitter / double(errorsX.size()));
    std::cout << "phase " << phase << ": worst error " << worst << " px, mean error (" << meanX << ", " << meanY
              << ") px, jitter " << jitter << " px RMS over " << kFrames << " frames, worst distance from centre of "
              << "gravity " << worstFromGravity << " px, " << micros / kFrames << " us per fit\n";
    EXPECT_LT(worst, 0.5);
    EXPECT_LE(jitter, 0.1);
    if (phase == 0.0) {
        EXPECT_LT(worstFromGravity, 0.2);
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, LimbFitPhase, ::testing::Values(0.0, 30.0, 90.0, 150.0));

TEST(FitLimb, NoFitWithoutASharpLimb)
{
    // A lit disc larger than the frame: every ray ends on the object.
    TestFrame filling = Render([](double x, double y) { return Shade(0.3 * (x - 128.0), 0.3 * (y - 128.0), 40.0); }, 1);
    LimbHint whole;
    whole.centerX = whole.centerY = 128.0;
    whole.radiusX = whole.radiusY = 100.0;
    whole.threshold = 30.0;
    EXPECT_FALSE(FitLimb(View(filling), whole));
    // Only a gradual fall to the sky, as a terminator has, and no edge.
    TestFrame fading =
        Render([](double x, double y) { return std::max(0.0, 1.0 - std::hypot(x - 128.0, y - 128.0) / 60.0); }, 2);
    EXPECT_FALSE(FitLimb(View(fading), SearchHint(fading)));
    // The same frame with a limb does fit, so the refusals above are the edge's.
    TestFrame disc = Render([](double x, double y) { return std::hypot(x - 128.0, y - 128.0) < 60.0 ? 1.0 : 0.0; }, 3);
    EXPECT_TRUE(FitLimb(View(disc), SearchHint(disc)));
}
