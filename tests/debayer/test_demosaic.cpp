// SPDX-License-Identifier: GPL-3.0-or-later
#include "debayer/demosaic.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr BayerPattern kPatterns[] = {BayerPattern::Rggb, BayerPattern::Grbg, BayerPattern::Gbrg, BayerPattern::Bggr};
constexpr DemosaicMethod kMethods[] = {DemosaicMethod::Bilinear, DemosaicMethod::EdgeAware};

// The colour sampled at (x, y), read off the pattern's name so that the
// tests do not share the library's arithmetic.
char SiteColour(BayerPattern pattern, std::int64_t x, std::int64_t y)
{
    return NameOf(pattern)[std::size_t((y & 1) * 2 + (x & 1))];
}

struct Rgb {
    int r, g, b;
};

// Samples of 1 or 2 bytes, packed row after row.
struct Plane {
    int width, height, bytes, channels;
    std::vector<std::uint8_t> data = std::vector<std::uint8_t>(std::size_t(width * height * bytes * channels));
    std::ptrdiff_t stride() const { return std::ptrdiff_t(width) * bytes * channels; }
    void set(std::size_t k, int v)
    {
        const auto s = std::uint16_t(v);
        if (bytes == 1)
            data[k] = std::uint8_t(s);
        else
            std::memcpy(&data[k * 2], &s, 2);
    }
    int get(std::size_t k) const
    {
        std::uint16_t s = data[k];
        if (bytes == 2)
            std::memcpy(&s, &data[k * 2], 2);
        return s;
    }
    Rgb pixel(int x, int y) const
    {
        const auto k = std::size_t(y * width + x) * 3;
        return {get(k + 2), get(k + 1), get(k)};
    }
};

template <class Picture>
Plane Mosaic(int width, int height, int bytes, BayerPattern pattern, Picture picture)
{
    Plane m{width, height, bytes, 1};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = picture(x, y);
            const char site = SiteColour(pattern, x, y);
            m.set(std::size_t(y * width + x), site == 'R' ? c.r : site == 'G' ? c.g : c.b);
        }
    return m;
}

Plane Demosaic(const Plane& mosaic, BayerPattern pattern, DemosaicMethod method)
{
    Plane out{mosaic.width, mosaic.height, mosaic.bytes, 3};
    Demosaicer().demosaic(mosaic.data.data(), mosaic.stride(), mosaic.width, mosaic.height, mosaic.bytes, pattern,
                          method, out.data.data(), out.stride());
    return out;
}

void ExpectNear(Rgb seen, Rgb want, double tolerance)
{
    EXPECT_NEAR(seen.r, want.r, tolerance);
    EXPECT_NEAR(seen.g, want.g, tolerance);
    EXPECT_NEAR(seen.b, want.b, tolerance);
}

std::ptrdiff_t Threads()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
}

}   // namespace

// Under ctest every test runs in a process of its own, so a worker pool left
// by this or any earlier demosaicing would show as a thread more.
TEST(Demosaic, RunsOnTheCallingThreadOnly)
{
    const auto before = Threads();
    const Plane mosaic = Mosaic(1024, 768, 2, BayerPattern::Rggb, [](int x, int y) { return Rgb{x, y, x + y}; });
    for (DemosaicMethod method : kMethods)
        Demosaic(mosaic, BayerPattern::Rggb, method);
    EXPECT_EQ(Threads(), before);
}

// Reader threads keep a demosaicer each, and the first ones may be built at
// the same moment; under ThreadSanitizer anything they share unguarded shows.
// A strip 2 samples high is demosaicked in the demosaicer's own scratch.
TEST(Demosaic, DemosaicersOnSeveralThreadsGiveTheSamePicture)
{
    const Plane mosaic = Mosaic(64, 2, 2, BayerPattern::Bggr, [](int x, int y) {
        return Rgb{x * 40, y * 50, 3000 - x * y};
    });
    std::array<std::vector<std::uint8_t>, 3> seen;
    {
        std::vector<std::jthread> threads;
        for (auto& picture : seen)
            threads.emplace_back([&] {
                for (int k = 0; k < 10; ++k)
                    picture = Demosaic(mosaic, BayerPattern::Bggr, DemosaicMethod::EdgeAware).data;
            });
    }
    const auto want = Demosaic(mosaic, BayerPattern::Bggr, DemosaicMethod::EdgeAware).data;
    for (const auto& picture : seen)
        EXPECT_EQ(picture, want);
}

TEST(Demosaic, NamesRoundTripInAnyCaseAndRejectTheRest)
{
    for (BayerPattern pattern : kPatterns)
        EXPECT_EQ(ParseBayerPattern(NameOf(pattern)), pattern);
    EXPECT_EQ(ParseBayerPattern("rggb"), BayerPattern::Rggb);
    EXPECT_EQ(ParseBayerPattern("gBrG"), BayerPattern::Gbrg);
    for (const char* bad : {"", "RGB", "RGGBX", " BGGR", "RGBG"})
        EXPECT_FALSE(ParseBayerPattern(bad)) << bad;

    for (DemosaicMethod method : kMethods)
        EXPECT_EQ(ParseDemosaicMethod(NameOf(method)), method);
    EXPECT_EQ(ParseDemosaicMethod("Edge-Aware"), DemosaicMethod::EdgeAware);
    for (const char* bad : {"", "edgeaware", "bilinear ", "vng"})
        EXPECT_FALSE(ParseDemosaicMethod(bad)) << bad;
}

TEST(Demosaic, PatternAtAnOffsetNamesTheSitesFoundThere)
{
    for (BayerPattern origin : kPatterns)
        for (int left = -3; left <= 3; ++left)
            for (int top = -3; top <= 3; ++top)
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < 2; ++x)
                        EXPECT_EQ(SiteColour(PatternAt(origin, left, top), x, y), SiteColour(origin, x + left, y + top))
                            << NameOf(origin) << " at " << left << "," << top;
}

// A grey card with a red patch: a pattern read the wrong way round turns the
// patch blue or green, and a wrong depth or scale moves the grey.
TEST(Demosaic, GreyStaysGreyAndRedStaysRedForEveryPatternMethodAndDepth)
{
    struct Depth {
        int bytes, fullScale;
        Rgb grey, red;
    };
    for (const Depth& d :
         {Depth{1, 255, {180, 180, 180}, {200, 30, 30}}, Depth{2, 4095, {3000, 3000, 3000}, {3300, 500, 500}}}) {
        const double tolerance = 0.03 * d.fullScale;
        for (BayerPattern pattern : kPatterns)
            for (DemosaicMethod method : kMethods) {
                SCOPED_TRACE(testing::Message() << NameOf(pattern) << " " << NameOf(method) << " " << d.bytes);
                const auto card = [&](int x, int y) { return x >= 10 && x < 22 && y >= 8 && y < 18 ? d.red : d.grey; };
                const Plane out = Demosaic(Mosaic(32, 26, d.bytes, pattern, card), pattern, method);
                for (int y = 0; y < out.height; ++y)
                    for (int x = 0; x < out.width; ++x) {
                        if (x < 7 || x >= 25 || y < 5 || y >= 21)
                            ExpectNear(out.pixel(x, y), d.grey, tolerance);
                        else if (x >= 13 && x < 19 && y >= 11 && y < 15)
                            ExpectNear(out.pixel(x, y), d.red, tolerance);
                    }
            }
    }
}

// Odd strides and an odd start put two-byte samples at odd addresses, which
// take another way through; every way must give the same picture and leave
// the bytes between rows alone. One demosaicer takes them all, as a reader
// thread's would, so scratch kept from another layout must not leak in.
TEST(Demosaic, RowPaddingAndOddAddressesGiveTheSamePicture)
{
    Demosaicer demosaicer;
    struct Layout {
        int bytes, inPad, outPad, offset;
    };
    for (const Layout& l : {Layout{1, 5, 7, 0}, Layout{2, 4, 8, 0}, Layout{2, 3, 5, 0}, Layout{2, 0, 0, 1}})
        for (DemosaicMethod method : kMethods) {
            SCOPED_TRACE(testing::Message() << l.bytes << " " << l.inPad << " " << l.outPad << " " << l.offset);
            const int width = 9, height = 7;
            const Plane tight = Mosaic(width, height, l.bytes, BayerPattern::Grbg, [](int x, int y) {
                return Rgb{(x * 37 + y * 91) % 251, x * 20, y * 30};
            });
            const Plane want = Demosaic(tight, BayerPattern::Grbg, method);

            const std::ptrdiff_t stride = tight.stride() + l.inPad, outStride = want.stride() + l.outPad;
            std::vector<std::uint8_t> in(std::size_t(l.offset + stride * height));
            std::vector<std::uint8_t> out(std::size_t(l.offset + outStride * height), 0xA5);
            for (int y = 0; y < height; ++y)
                std::memcpy(&in[std::size_t(l.offset + y * stride)], &tight.data[std::size_t(y * tight.stride())],
                            std::size_t(tight.stride()));
            demosaicer.demosaic(&in[std::size_t(l.offset)], stride, width, height, l.bytes, BayerPattern::Grbg, method,
                                &out[std::size_t(l.offset)], outStride);
            for (int y = 0; y < height; ++y) {
                const auto* row = &out[std::size_t(l.offset + y * outStride)];
                EXPECT_EQ(std::memcmp(row, &want.data[std::size_t(y * want.stride())], std::size_t(want.stride())), 0)
                    << "row " << y;
                for (int k = 0; k < l.outPad && y + 1 < height; ++k)
                    EXPECT_EQ(row[want.stride() + k], 0xA5) << "row " << y;
            }
        }
}

TEST(Demosaic, TinyMosaicsKeepTheirColour)
{
    const Rgb red{200, 30, 30};
    for (auto [width, height] : {std::pair{2, 2}, {2, 5}, {5, 2}, {3, 3}, {5, 3}, {3, 4}})
        for (BayerPattern pattern : kPatterns)
            for (DemosaicMethod method : kMethods) {
                SCOPED_TRACE(testing::Message()
                             << width << "x" << height << " " << NameOf(pattern) << " " << NameOf(method));
                const Plane out =
                    Demosaic(Mosaic(width, height, 1, pattern, [&](int, int) { return red; }), pattern, method);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        ExpectNear(out.pixel(x, y), red, 0.03 * 255);
            }
}

TEST(Demosaic, RefusesWhatItCannotDemosaic)
{
    std::vector<std::uint8_t> in(64), out(256);
    const auto call = [&](int width, int height, int bytes, std::ptrdiff_t stride, std::ptrdiff_t outStride) {
        Demosaicer().demosaic(in.data(), stride, width, height, bytes, BayerPattern::Rggb, DemosaicMethod::Bilinear,
                              out.data(), outStride);
    };
    EXPECT_NO_THROW(call(4, 4, 1, 4, 12));
    EXPECT_THROW(call(1, 4, 1, 4, 12), std::invalid_argument);
    EXPECT_THROW(call(4, 1, 1, 4, 12), std::invalid_argument);
    EXPECT_THROW(call(4, 4, 3, 12, 36), std::invalid_argument);
    EXPECT_THROW(call(4, 4, 2, 7, 24), std::invalid_argument);
    EXPECT_THROW(call(4, 4, 2, 8, 23), std::invalid_argument);
}
