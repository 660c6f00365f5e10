// SPDX-License-Identifier: GPL-3.0-or-later
#include "debayer/bayer_detect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr BayerPattern kPatterns[] = {BayerPattern::Rggb, BayerPattern::Grbg, BayerPattern::Gbrg, BayerPattern::Bggr};
constexpr int kWidth = 64, kHeight = 56, kFrames = 4, kSeeds = 50;

struct Rgb {
    double r, g, b;
};

// A scene's light at (x, y) of frame f, 0..1 in each colour.
using Scene = std::function<Rgb(int f, double x, double y)>;

// A banded planet, limb-darkened, its belts redder than its zones,
// trembling by whole and half pixels from frame to frame as seeing moves it.
Scene Planet(std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double cx = 28 + 8 * u(rng), cy = 24 + 8 * u(rng), radius = 15 + 7 * u(rng);
    const double period = 5 + 6 * u(rng), phase = 6.3 * u(rng);
    const Rgb zone{1.0, 0.7 + 0.25 * u(rng), 0.45 + 0.4 * u(rng)};
    const Rgb belt{zone.r * 0.8, zone.g * 0.65, zone.b * 0.5};
    std::vector<std::array<double, 2>> shake(kFrames);
    for (auto& s : shake)
        s = {3 * u(rng) - 1.5, 3 * u(rng) - 1.5};
    return [=](int f, double x, double y) {
        const double dx = x - cx - shake[std::size_t(f)][0], dy = y - cy - shake[std::size_t(f)][1];
        const double rr = (dx * dx + dy * dy) / (radius * radius);
        if (rr >= 1.0)
            return Rgb{0, 0, 0};
        const double limb = 1.0 - 0.6 * (1.0 - std::sqrt(1.0 - rr));
        const double w = 0.5 + 0.5 * std::sin(dy / period * 6.28 + phase);
        return Rgb{limb * (zone.r * w + belt.r * (1 - w)), limb * (zone.g * w + belt.g * (1 - w)),
                   limb * (zone.b * w + belt.b * (1 - w))};
    };
}

// A cratered field filling the frame (the Moon, the Sun's granulation), its
// light a little redder than white, drifting by a pixel or two.
Scene Surface(std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<std::array<double, 4>> craters(40);   // x, y, radius, depth (+ bright, - dark)
    for (auto& c : craters)
        c = {80 * u(rng) - 8, 72 * u(rng) - 8, 1.5 + 6 * u(rng), 0.6 * u(rng) - 0.3};
    const Rgb tint{1.0, 0.75 + 0.2 * u(rng), 0.55 + 0.35 * u(rng)};
    const double slope = 0.004 * u(rng);
    return [=](int f, double x, double y) {
        x += 0.7 * f;
        y -= 0.4 * f;
        double v = 0.55 + slope * (x - 32);
        for (const auto& c : craters) {
            const double d2 = ((x - c[0]) * (x - c[0]) + (y - c[1]) * (y - c[1])) / (c[2] * c[2]);
            v += c[3] * std::exp(-d2);
        }
        v = std::clamp(v, 0.05, 1.0);
        return Rgb{v * tint.r, v * tint.g, v * tint.b};
    };
}

// The frames of a capture of scene with noise: a mosaic in pattern's phase,
// or, with none, a mono sensor's picture of the same light. Every other seed
// is a 12-bit capture in two-byte samples.
BayerEvidence Detect(const Scene& scene, std::optional<BayerPattern> pattern, std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const bool deep = rng() % 2 == 0;
    const double scale = deep ? 16.0 : 1.0, peak = 140 + 90 * u(rng), sky = 6 + 10 * u(rng), sigma = 1.5 + 3 * u(rng);
    std::normal_distribution<double> noise(0.0, sigma);
    const int bytes = deep ? 2 : 1;
    BayerDetector detector;
    std::vector<std::uint8_t> frame(std::size_t(kWidth * kHeight * bytes));
    for (int f = 0; f < kFrames; ++f) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Rgb light = scene(f, x, y);
                double v = 0.3 * light.r + 0.6 * light.g + 0.1 * light.b;
                if (pattern) {
                    const char site = NameOf(*pattern)[std::size_t((y & 1) * 2 + (x & 1))];
                    v = site == 'R' ? light.r : site == 'G' ? light.g : light.b;
                }
                const double level = std::clamp((sky + peak * v + noise(rng)) * scale, 0.0, 255.0 * scale);
                const auto s = std::uint16_t(std::lround(level));
                const std::size_t k = std::size_t(y * kWidth + x);
                if (deep)
                    std::memcpy(&frame[k * 2], &s, 2);
                else
                    frame[k] = std::uint8_t(s);
            }
        detector.add(frame.data(), std::ptrdiff_t(kWidth * bytes), kWidth, kHeight, bytes, bytes);
    }
    return detector.evidence();
}

struct Ladder {
    const char* name;
    Scene (*make)(std::mt19937&);
};
constexpr Ladder kScenes[] = {{"planet", Planet}, {"surface", Surface}};

// Each phase of each scene, over many captures: the pattern is the one the
// data was mosaicked in, and the greens' agreement shows it.
TEST(BayerDetect, FindsEveryPhaseOfColourPlanetsAndSurfaces)
{
    for (const Ladder& ladder : kScenes) {
        int right = 0, total = 0;
        for (const BayerPattern pattern : kPatterns) {
            int found = 0, none = 0;
            double worstMargin = 1.0;
            for (int seed = 0; seed < kSeeds; ++seed) {
                std::mt19937 rng(std::uint32_t(seed * 4 + int(pattern)));
                const BayerEvidence e = Detect(ladder.make(rng), pattern, rng);
                found += e.pattern == pattern;
                none += !e.pattern;
                worstMargin = std::min(worstMargin, e.greenAgreement - e.otherAgreement);
            }
            std::cout << ladder.name << " " << NameOf(pattern) << ": " << found << "/" << kSeeds << " right, " << none
                      << " none, smallest margin " << worstMargin << "\n";
            right += found;
            total += kSeeds;
        }
        EXPECT_GE(right * 100, total * 99) << ladder.name;
    }
}

// The same scenes seen by a mono sensor are never taken for a mosaic.
TEST(BayerDetect, MonoCapturesAreNoMosaic)
{
    for (const Ladder& ladder : kScenes) {
        int mosaics = 0;
        double worstMargin = 0.0;
        for (int seed = 0; seed < kSeeds * 4; ++seed) {
            std::mt19937 rng{std::uint32_t(seed)};
            const BayerEvidence e = Detect(ladder.make(rng), std::nullopt, rng);
            mosaics += e.pattern.has_value();
            EXPECT_GE(e.cells, kMinObjectCells);
            worstMargin = std::max(worstMargin, e.greenAgreement - e.otherAgreement);
        }
        std::cout << ladder.name << " mono: " << mosaics << "/" << kSeeds * 4 << " taken for a mosaic, largest margin "
                  << worstMargin << "\n";
        EXPECT_EQ(mosaics, 0) << ladder.name;
    }
}

}   // namespace
