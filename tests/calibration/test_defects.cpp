// SPDX-License-Identifier: GPL-3.0-or-later
// Hot and cold pixels: found in a dark or voted on in the frames, and
// repaired from their own colour only; and a synthetic capture calibrated
// with a dark, a flat and the dark's defects.

#include "calibration/calibrator.h"
#include "synthetic_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <numbers>
#include <string>

namespace {

using namespace calibtest;

class Repair : public testing::TestWithParam<Layout> {};

// Every colour at its own level; the defects, at the edges too, overwritten
// with full scale (hot) or 0 (cold). A repair that reads another colour's
// sites, or the wrong plane, or past an edge, leaves a sample off its level.
TEST_P(Repair, DefectsAreFilledFromTheirOwnColourOnly)
{
    const Layout& layout = GetParam();
    constexpr std::int32_t kWidth = 30;
    constexpr std::int32_t kHeight = 20;
    Frame frame(layout, kWidth, kHeight);
    DefectMap map;
    map.width = kWidth;
    map.height = kHeight;
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            for (std::int32_t p = 0; p < layout.planes; ++p) {
                frame.set(x, y, p, layout.top() / 5 * std::uint32_t(1 + 2 * ColourOf(layout, x, y, p)));
            }
            const bool corner = (x == 0 || x == kWidth - 1) && (y == 0 || y == kHeight - 1);
            if (corner || (x * 7 + y * 13) % 23 == 0) {
                ((x + y) % 3 == 0 ? map.cold : map.hot).push_back(std::uint32_t(y * kWidth + x));
            }
        }
    }
    const Frame levels = frame;
    for (const auto& [list, value] : {std::pair{&map.hot, layout.top()}, std::pair{&map.cold, 0U}}) {
        for (const std::uint32_t at : *list) {
            for (std::int32_t p = 0; p < layout.planes; ++p) {
                frame.set(std::int32_t(at) % kWidth, std::int32_t(at) / kWidth, p, value);
            }
        }
    }
    RepairDefects(frame.image, map);
    EXPECT_EQ(frame.bytes(), levels.bytes());
}

INSTANTIATE_TEST_SUITE_P(Layouts, Repair,
                         testing::Values(Layout{"Mono8", 1, 8, 1, false, std::nullopt, false},
                                         Layout{"Rggb12BottomUp", 2, 12, 1, false, BayerPattern::Rggb, true},
                                         Layout{"Grbg8", 1, 8, 1, false, BayerPattern::Grbg, false},
                                         Layout{"Bgr16BottomUp", 2, 16, 3, true, std::nullopt, true}));

// Twelve frames with 30 fixed hot pixels, 3 dead ones and a bright star
// that crosses the field: the pixels that stand out in most frames are the
// sensor's, the star's stand out once each.
TEST(DefectVoter, FindsTheFixedDefectsButNotAMovingStar)
{
    const Layout layout{"Rggb12", 2, 12, 1, false, BayerPattern::Rggb, false};
    constexpr std::int32_t kWidth = 96;
    constexpr std::int32_t kHeight = 64;
    std::vector<std::uint32_t> hot;
    std::vector<std::uint32_t> cold;
    for (std::uint32_t at = 101, i = 0; at < kWidth * kHeight; at += 197, ++i) {
        (i % 11 == 10 ? cold : hot).push_back(at);
    }
    DefectVoter voter(kWidth, kHeight, 1, layout.mosaic);
    for (std::int32_t i = 0; i < 12; ++i) {
        Frame frame(layout, kWidth, kHeight);
        Noise noise{std::uint32_t(i)};
        for (std::int32_t y = 0; y < kHeight; ++y) {
            for (std::int32_t x = 0; x < kWidth; ++x) {
                const double level = 300.0 + 100.0 * ColourOf(layout, x, y, 0);
                const double star = 3000.0 * std::exp(-(std::pow(x - 10 - 7 * i, 2) + std::pow(y - 30, 2)) / 2.0);
                frame.set(x, y, 0, std::uint32_t(std::lround(level + star + 8.0 * noise.normal())));
            }
        }
        for (const std::uint32_t at : hot) {
            frame.set(std::int32_t(at % kWidth), std::int32_t(at / kWidth), 0, 2500);
        }
        for (const std::uint32_t at : cold) {
            frame.set(std::int32_t(at % kWidth), std::int32_t(at / kWidth), 0, 0);
        }
        voter.add(frame.image);
    }
    const DefectMap found = voter.defects();
    EXPECT_EQ(voter.frames(), 12);
    EXPECT_EQ(found.hot, hot);
    EXPECT_EQ(found.cold, cold);
}

constexpr std::int32_t kWidth = 256;
constexpr std::int32_t kHeight = 192;
constexpr std::int32_t kHotPixels = 500;

// A 12-bit sensor: a bias, dark current, 500 hot pixels at 60 to 100 % of
// full scale, and a dust donut that takes 5 % of the light off a ring.
struct Sensor {
    Layout layout;
    std::vector<std::uint32_t> hotPlaces;
    std::vector<double> hot = std::vector<double>(kWidth * kHeight);

    explicit Sensor(const Layout& l) : layout(l)
    {
        Noise noise(2024);
        while (hotPlaces.size() < kHotPixels) {
            const std::uint32_t at = std::uint32_t(noise.uniform() * kWidth * kHeight);
            if (hot[at] == 0.0) {
                hot[at] = (0.6 + 0.4 * noise.uniform()) * 4095.0;
                hotPlaces.push_back(at);
            }
        }
        std::sort(hotPlaces.begin(), hotPlaces.end());
    }
    static bool inRing(std::int32_t x, std::int32_t y)
    {
        const double r = std::hypot(x - 170.0, y - 80.0);
        return r >= 22.0 && r <= 34.0;
    }
    double response(std::int32_t x, std::int32_t y) const
    {
        const double colour[] = {0.6, 1.0, 0.8};
        return (layout.mosaic ? colour[ColourOf(layout, x, y, 0)] : 1.0) * (inRing(x, y) ? 0.95 : 1.0);
    }
    Frame capture(double light, bool exposed, std::uint32_t seed) const
    {
        Frame frame(layout, kWidth, kHeight);
        Noise noise(seed);
        for (std::int32_t y = 0; y < kHeight; ++y) {
            for (std::int32_t x = 0; x < kWidth; ++x) {
                const double signal = light * response(x, y);
                const double dark = exposed ? 12.0 + hot[std::size_t(y * kWidth + x)] : 0.0;
                const double v = 200.0 + dark + signal + std::sqrt(9.0 + signal) * noise.normal();
                frame.set(x, y, 0, std::uint32_t(std::clamp(std::lround(v), 0L, 4095L)));
            }
        }
        return frame;
    }
};

// A sample less the median of the 8 nearest of its colour, which in a mosaic
// are two samples away for every site.
double Residual(const Frame& frame, bool mosaic, std::int32_t x, std::int32_t y)
{
    const std::int32_t d = mosaic ? 2 : 1;
    std::vector<double> around;
    for (const std::int32_t dy : {-d, 0, d}) {
        for (const std::int32_t dx : {-d, 0, d}) {
            const std::int32_t nx = x + dx;
            const std::int32_t ny = y + dy;
            if ((dx != 0 || dy != 0) && nx >= 0 && ny >= 0 && nx < kWidth && ny < kHeight) {
                around.push_back(frame.at(nx, ny));
            }
        }
    }
    std::sort(around.begin(), around.end());
    const std::size_t n = around.size();
    return frame.at(x, y) - (n % 2 != 0 ? around[n / 2] : (around[n / 2 - 1] + around[n / 2]) / 2.0);
}

// The RMS over 16 sectors of the ring of each sector's mean level against
// its colour's level outside the ring: the donut the flat should take out.
double DonutResidual(const Sensor& sensor, const Frame& frame)
{
    double level[3] = {};
    double count[3] = {};
    double sector[16] = {};
    double inSector[16] = {};
    for (const bool ring : {false, true}) {
        for (std::int32_t y = 0; y < kHeight; ++y) {
            for (std::int32_t x = 0; x < kWidth; ++x) {
                const std::int32_t c = ColourOf(sensor.layout, x, y, 0);
                if (Sensor::inRing(x, y) != ring || sensor.hot[std::size_t(y * kWidth + x)] > 0.0) {
                    continue;
                }
                if (!ring) {
                    level[c] += frame.at(x, y);
                    count[c] += 1.0;
                    continue;
                }
                const double angle = std::atan2(y - 80.0, x - 170.0) + std::numbers::pi;
                const std::size_t s = std::min<std::size_t>(15, std::size_t(angle / (2.0 * std::numbers::pi) * 16.0));
                sector[s] += frame.at(x, y) / (level[c] / count[c]);
                inSector[s] += 1.0;
            }
        }
    }
    double squares = 0.0;
    for (std::size_t s = 0; s < 16; ++s) {
        squares += std::pow(sector[s] / inSector[s] - 1.0, 2);
    }
    return std::sqrt(squares / 16.0);
}

class Capture : public testing::TestWithParam<Layout> {};

TEST_P(Capture, DarkFlatAndTheDarksDefectsCalibrateIt)
{
    const Sensor sensor(GetParam());
    const bool mosaic = sensor.layout.mosaic.has_value();
    const auto frames = [&](double light, bool exposed, std::uint32_t seed) {
        return [=, &sensor](std::int32_t i) { return sensor.capture(light, exposed, seed + std::uint32_t(i)); };
    };
    const Master bias = Combine(MasterKind::Bias, 20, frames(0.0, false, 1000));
    const Master dark = Combine(MasterKind::Dark, 20, frames(0.0, true, 2000));
    const Master flat =
        Combine(MasterKind::Flat, 16, frames(2500.0, false, 3000), CombineMethod::SigmaClippedMean, &bias);
    const DefectMap defects = FindDefectsInDark(dark);

    const Frame light = sensor.capture(1500.0, true, 4000);
    Frame darkOnly = light;
    Calibrator(Masters(dark)).apply(darkOnly.image);
    Frame unrepaired = light;
    Calibrator(Masters(dark, flat)).apply(unrepaired.image);
    Frame calibrated = light;
    Calibrator(Masters(dark, flat), defects).apply(calibrated.image);

    std::vector<double> residuals;
    std::int32_t changed = 0;
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            if (sensor.hot[std::size_t(y * kWidth + x)] == 0.0) {
                residuals.push_back(std::fabs(Residual(calibrated, mosaic, x, y)));
                changed += calibrated.at(x, y) != unrepaired.at(x, y) ? 1 : 0;
            }
        }
    }
    std::nth_element(residuals.begin(), residuals.begin() + std::ptrdiff_t(residuals.size() / 2), residuals.end());
    const double sigma = 1.4826 * residuals[residuals.size() / 2];
    std::int32_t tamed = 0;
    for (const std::uint32_t at : sensor.hotPlaces) {
        const double r = Residual(calibrated, mosaic, std::int32_t(at % kWidth), std::int32_t(at / kWidth));
        tamed += std::fabs(r) <= 3.0 * sigma ? 1 : 0;
    }
    const std::size_t found = std::count_if(sensor.hotPlaces.begin(), sensor.hotPlaces.end(), [&](std::uint32_t at) {
        return std::binary_search(defects.hot.begin(), defects.hot.end(), at);
    });
    const double before = DonutResidual(sensor, darkOnly);
    const double after = DonutResidual(sensor, calibrated);
    std::cout << sensor.layout.name << ": dark defects " << defects.hot.size() << " hot (" << found << " of "
              << kHotPixels << " placed), " << defects.cold.size() << " cold; hot pixels within 3 sigma (" << sigma
              << ") after repair " << tamed << "; other pixels changed by the repair " << changed
              << "; donut RMS without the flat " << 100.0 * before << " %, with it " << 100.0 * after << " %\n";
    RecordProperty("hotWithin3Sigma", tamed);
    RecordProperty("otherPixelsChanged", changed);
    RecordProperty("donutRmsPercent", std::to_string(100.0 * after));
    EXPECT_GE(tamed, kHotPixels * 99 / 100);
    EXPECT_LE(changed, std::int32_t(residuals.size() / 1000));
    EXPECT_GT(before, 0.04);
    EXPECT_LT(after, 0.005);
}

INSTANTIATE_TEST_SUITE_P(Sensors, Capture,
                         testing::Values(Layout{"Rggb12", 2, 12, 1, false, BayerPattern::Rggb, false},
                                         Layout{"Mono12", 2, 12, 1, false, std::nullopt, true}));

}   // namespace
