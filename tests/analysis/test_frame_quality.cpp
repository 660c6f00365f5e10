// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_quality.h"
#include "tools/sample_planet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <numeric>
#include <vector>

namespace {

// xorshift64*: the same ladder on every machine and library, unlike the
// standard distributions.
struct Random {
    std::uint64_t state;
    double uniform()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return double((state * 2685821657736338717ULL) >> 11) / double(1ULL << 53);
    }
    double gaussian()
    {
        double sum = 0.0;
        for (int i = 0; i < 12; ++i)
            sum += uniform();
        return sum - 6.0;
    }
};

// Green levels before exposure, rows from the top, pixel centres at +0.5.
struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<double> levels;
    double& at(std::int32_t x, std::int32_t y) { return levels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    double at(std::int32_t x, std::int32_t y) const
    {
        return levels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};

constexpr std::int32_t kSide = 192;
constexpr double kCenterX = 96.3;   // from the left
constexpr double kCenterY = 95.6;   // from the top
constexpr double kRadius = 60.0;
constexpr double kFlattening = 0.94;

// A limb-darkened disc on black with belts, festoons and spots from one to a
// few pixels wide: detail at every scale that the seeing blurs.
Picture TexturedDisc()
{
    Picture p{kSide, kSide, std::vector<double>(std::size_t(kSide) * kSide, 0.0)};
    Random random{99};
    struct Spot {
        double x, y, size, amplitude;
    };
    std::vector<Spot> spots;
    for (int i = 0; i < 160; ++i) {
        const double angle = 2.0 * std::numbers::pi * random.uniform();
        const double distance = kRadius * std::sqrt(random.uniform());
        const double size = 0.7 + 1.3 * random.uniform();
        const double amplitude = (random.uniform() < 0.5 ? -1.0 : 1.0) * (0.10 + 0.15 * random.uniform());
        spots.push_back(
            {kCenterX + distance * std::cos(angle), kCenterY + distance * std::sin(angle), size, amplitude});
    }
    for (std::int32_t y = 0; y < kSide; ++y)
        for (std::int32_t x = 0; x < kSide; ++x) {
            const double dx = (x + 0.5 - kCenterX) / kRadius;
            const double dy = (y + 0.5 - kCenterY) / (kRadius * kFlattening);
            const double d2 = dx * dx + dy * dy;
            const double coverage = std::clamp((1.0 - std::sqrt(d2)) * kRadius + 0.5, 0.0, 1.0);
            if (coverage <= 0.0)
                continue;
            const double mu = std::sqrt(std::max(0.0, 1.0 - std::min(d2, 1.0)));
            double surface = 0.8 + 0.2 * std::cos(dy * 12.0 + 0.6 * std::sin(dx * 4.0));
            surface += 0.06 * std::sin(x * 0.9 + 1.7 * std::sin(y * 0.21)) * std::cos(y * 0.7);
            for (const Spot& s : spots) {
                const double ex = x + 0.5 - s.x;
                const double ey = y + 0.5 - s.y;
                const double q = (ex * ex + ey * ey) / (s.size * s.size);
                if (q < 16.0)
                    surface += s.amplitude * std::exp(-0.5 * q);
            }
            p.at(x, y) = 170.0 * coverage * (0.45 + 0.55 * mu) * surface;
        }
    return p;
}

// The seeing: a Gaussian of deviation sigma, edges repeated.
Picture Blurred(const Picture& in, double sigma)
{
    if (sigma <= 0.0)
        return in;
    const auto reach = std::int32_t(std::ceil(3.5 * sigma));
    std::vector<double> kernel(std::size_t(2 * reach + 1));
    for (std::int32_t i = -reach; i <= reach; ++i)
        kernel[std::size_t(i + reach)] = std::exp(-0.5 * i * i / (sigma * sigma));
    const double total = std::accumulate(kernel.begin(), kernel.end(), 0.0);
    for (double& k : kernel)
        k /= total;
    Picture across = in;
    Picture out = in;
    for (std::int32_t y = 0; y < in.height; ++y)
        for (std::int32_t x = 0; x < in.width; ++x) {
            double sum = 0.0;
            for (std::int32_t i = -reach; i <= reach; ++i)
                sum += kernel[std::size_t(i + reach)] * in.at(std::clamp(x + i, 0, in.width - 1), y);
            across.at(x, y) = sum;
        }
    for (std::int32_t y = 0; y < in.height; ++y)
        for (std::int32_t x = 0; x < in.width; ++x) {
            double sum = 0.0;
            for (std::int32_t i = -reach; i <= reach; ++i)
                sum += kernel[std::size_t(i + reach)] * across.at(x, std::clamp(y + i, 0, in.height - 1));
            out.at(x, y) = sum;
        }
    return out;
}

// The picture through a transparency of gain with camera noise, grey; the
// columns left of frameLeft black, as outside the frame.
OutputBitmap Exposed(const Picture& p, double gain, double noise, Random& random, std::int32_t frameLeft = 0)
{
    OutputBitmap b;
    b.setSize(p.width, p.height);
    for (std::int32_t y = 0; y < p.height; ++y) {
        std::uint8_t* row = b.rowFromBottom(p.height - 1 - y);
        for (std::int32_t x = 0; x < p.width; ++x) {
            const double level = p.at(x, y) * gain + noise * random.gaussian();
            const auto v = x < frameLeft ? 0 : std::uint8_t(std::clamp(std::lround(level), 0L, 255L));
            std::fill_n(row + 3 * x, 3, v);
        }
    }
    return b;
}

Picture GreenOf(const OutputBitmap& b)
{
    Picture p{b.width(), b.height(), std::vector<double>(std::size_t(b.width()) * std::size_t(b.height()))};
    for (std::int32_t y = 0; y < b.height(); ++y)
        for (std::int32_t x = 0; x < b.width(); ++x)
            p.at(x, y) = b.rowFromBottom(b.height() - 1 - y)[3 * x + 1];
    return p;
}

// An object given in the picture's top-down, +0.5 coordinates, in the crop's.
ObjectInCrop Object(double centerX, double centerY, double radiusX, double radiusY, std::int32_t width,
                    std::int32_t height, std::int32_t frameLeft = 0)
{
    return {centerX - 0.5, height - 0.5 - centerY, radiusX, radiusY, frameLeft, 0, width, height};
}

std::vector<double> Ranks(const std::vector<double>& v)
{
    std::vector<std::size_t> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&v](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> ranks(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]])
            ++j;
        for (std::size_t k = i; k <= j; ++k)
            ranks[order[k]] = 0.5 * double(i + j);
        i = j + 1;
    }
    return ranks;
}

double Spearman(const std::vector<double>& a, const std::vector<double>& b)
{
    const std::vector<double> ra = Ranks(a);
    const std::vector<double> rb = Ranks(b);
    const double mean = 0.5 * double(a.size() - 1);
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (ra[i] - mean) * (rb[i] - mean);
        aa += (ra[i] - mean) * (ra[i] - mean);
        bb += (rb[i] - mean) * (rb[i] - mean);
    }
    return ab / std::sqrt(aa * bb);
}

}   // namespace

// Forty frames of one disc blurred by 0 to 3 pixels in shuffled order, each
// through its own transparency (x0.7 to x1.3) with light noise: the score
// follows the blur, not the brightness. (The former whole-crop score: 0.38
// with the sharpness, 0.96 with the brightness.)
TEST(ObjectQuality, RanksABlurLadderBySharpnessNotByBrightness)
{
    constexpr int kFrames = 40;
    const Picture disc = TexturedDisc();
    Random random{12345};
    std::vector<double> sigmas(kFrames);
    for (int i = 0; i < kFrames; ++i)
        sigmas[std::size_t(i)] = 3.0 * i / (kFrames - 1);
    for (int i = kFrames - 1; i > 0; --i)
        std::swap(sigmas[std::size_t(i)], sigmas[std::size_t(random.uniform() * (i + 1))]);
    std::vector<double> sharpness, gains, scores;
    QualityMeter meter;
    const ObjectInCrop object = Object(kCenterX, kCenterY, kRadius, kRadius * kFlattening, kSide, kSide);
    for (const double sigma : sigmas) {
        const double gain = 0.7 + 0.6 * random.uniform();
        sharpness.push_back(-sigma);
        gains.push_back(gain);
        scores.push_back(meter.score(Exposed(Blurred(disc, sigma), gain, 2.0, random), object));
    }
    EXPECT_GE(Spearman(scores, sharpness), 0.9);
    EXPECT_LE(std::abs(Spearman(scores, gains)), 0.3);
}

// The disc cut through its centre by the frame's left edge: the cut does not
// count as detail, whether the object is the whole disc's ellipse or the
// visible half's (the centre and radii a search may report), so the cut disc
// scores like the whole one at the same blur, below a sharper whole one.
TEST(ObjectQuality, ACutDiscScoresLikeTheWholeDisc)
{
    const Picture disc = TexturedDisc();
    const Picture soft = Blurred(disc, 1.0);
    constexpr std::int32_t kCut = 96;
    QualityMeter meter;
    Random random{777};
    const ObjectInCrop whole = Object(kCenterX, kCenterY, kRadius, kRadius * kFlattening, kSide, kSide);
    const double sharpWhole = meter.score(Exposed(disc, 1.0, 2.0, random), whole);
    const double softWhole = meter.score(Exposed(soft, 1.0, 2.0, random), whole);
    const OutputBitmap cut = Exposed(soft, 1.0, 2.0, random, kCut);
    const double visibleRadius = 0.5 * (kCenterX + kRadius - kCut);
    for (const ObjectInCrop& object :
         {Object(kCenterX, kCenterY, kRadius, kRadius * kFlattening, kSide, kSide, kCut),
          Object(kCut + visibleRadius, kCenterY, visibleRadius, kRadius * kFlattening, kSide, kSide, kCut)}) {
        const double score = meter.score(cut, object);
        EXPECT_GT(score, 0.8 * softWhole);
        EXPECT_LT(score, 1.25 * softWhole);
        EXPECT_LT(score, sharpWhole);
    }
}

// The suite's Jupiter and Saturn (its rings crossing the disc), blurred by
// ever more: every step scores lower.
TEST(ObjectQuality, RanksBlurredSamplePlanetsInOrder)
{
    for (const bool rings : {false, true}) {
        SamplePlanet::Options options;
        options.width = rings ? 288 : 192;
        options.height = 192;
        options.radius = rings ? 50.0 : 60.0;
        options.rings = rings;
        SamplePlanet planet(options);
        OutputBitmap frame;
        double centerX = 0.0, centerY = 0.0;
        planet.next(frame, centerX, centerY);
        const Picture green = GreenOf(frame);
        const ObjectInCrop object =
            Object(centerX, centerY, options.radius, options.radius * 0.935, options.width, options.height);
        QualityMeter meter;
        Random random{5};
        double previous = std::numeric_limits<double>::infinity();
        for (int step = 0; step < 10; ++step) {
            const double sigma = 0.4 + 0.3 * step;
            const double score = meter.score(Exposed(Blurred(green, sigma), 1.0, 0.0, random), object);
            EXPECT_LT(score, previous) << (rings ? "Saturn" : "Jupiter") << ", blur " << sigma;
            previous = score;
        }
    }
}

// No picture, no light or no frame part score 0; a disc too small for its
// rim, or an object given as nonsense, is measured over the frame part,
// which still tells its blur.
TEST(ObjectQuality, EmptyBlackAndTinyCropsScoreSafely)
{
    QualityMeter meter;
    EXPECT_EQ(meter.score(OutputBitmap(), ObjectInCrop{}), 0.0);
    Picture black{64, 64, std::vector<double>(64 * 64, 0.0)};
    Random random{3};
    EXPECT_EQ(meter.score(Exposed(black, 1.0, 0.0, random), Object(32, 32, 20, 20, 64, 64)), 0.0);

    Picture tiny = black;
    for (std::int32_t y = 0; y < 64; ++y)
        for (std::int32_t x = 0; x < 64; ++x)
            tiny.at(x, y) = std::hypot(x + 0.5 - 32.0, y + 0.5 - 32.0) < 4.0 ? 200.0 : 0.0;
    const OutputBitmap sharp = Exposed(tiny, 1.0, 0.0, random);
    const OutputBitmap soft = Exposed(Blurred(tiny, 1.5), 1.0, 0.0, random);
    const ObjectInCrop small = Object(32, 32, 4, 4, 64, 64);
    EXPECT_GT(meter.score(sharp, small), meter.score(soft, small));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(meter.score(sharp, {nan, nan, nan, nan, 0, 0, 64, 64}), meter.score(sharp, small));
    EXPECT_EQ(meter.score(sharp, {31.5, 31.5, 4, 4, 40, 0, 30, 64}), 0.0);
}
