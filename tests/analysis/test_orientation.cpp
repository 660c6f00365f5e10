// SPDX-License-Identifier: GPL-3.0-or-later
// Rotations and flips of output frames: the pixels land where the picture,
// as seen, puts them, and a mosaic's name follows its red site.

#include "analysis/sample_orientation.h"
#include "image/orientation.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Case {
    std::int32_t rotate;
    Flip flip;
    std::int32_t width;
    std::vector<std::uint8_t> pixels;   // rows top-down
};

// The picture  1 2 3 / 4 5 6  under every rotation and flip.
const Case kCases[] = {
    {90, Flip::None, 2, {4, 1, 5, 2, 6, 3}},  {180, Flip::None, 3, {6, 5, 4, 3, 2, 1}},
    {270, Flip::None, 2, {3, 6, 2, 5, 1, 4}}, {0, Flip::H, 3, {3, 2, 1, 6, 5, 4}},
    {0, Flip::V, 3, {4, 5, 6, 1, 2, 3}},      {90, Flip::H, 2, {6, 3, 5, 2, 4, 1}},
};

}   // namespace

TEST(Orientation, BitmapsAndSamplesTurnAsThePictureIsSeen)
{
    for (const Case& c : kCases) {
        const Orientation o = OrientationOf(c.rotate, c.flip);
        const std::int32_t height = 6 / c.width;
        SCOPED_TRACE(c.rotate);
        SCOPED_TRACE(int(c.flip));

        OutputBitmap bitmap;
        bitmap.setSize(3, 2);
        for (std::int32_t r = 0; r < 2; ++r)
            for (std::int32_t x = 0; x < 3; ++x)
                for (std::int32_t b = 0; b < 3; ++b)
                    bitmap.rowFromBottom(1 - r)[x * 3 + b] = std::uint8_t(r * 3 + x + 1 + 10 * b);
        OutputBitmap turned;
        OrientBitmap(bitmap, o, turned);
        ASSERT_EQ(turned.width(), c.width);
        ASSERT_EQ(turned.height(), height);
        for (std::int32_t r = 0; r < height; ++r)
            for (std::int32_t x = 0; x < c.width; ++x)
                for (std::int32_t b = 0; b < 3; ++b)
                    EXPECT_EQ(turned.rowFromTop(r)[x * 3 + b], c.pixels[std::size_t(r * c.width + x)] + 10 * b);

        // Two-byte samples move as whole pixels.
        SampleFrame frame;
        frame.width = 3;
        frame.height = 2;
        frame.bytesPerSample = 2;
        frame.depth = 16;
        for (std::uint8_t v = 1; v <= 6; ++v)
            frame.samples.insert(frame.samples.end(), {v, std::uint8_t(v + 100)});
        std::vector<std::uint8_t> scratch;
        OrientSamples(frame, o, scratch);
        ASSERT_EQ(frame.width, c.width);
        ASSERT_EQ(frame.height, height);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(frame.samples[2 * i], c.pixels[i]);
            EXPECT_EQ(frame.samples[2 * i + 1], c.pixels[i] + 100);
        }
    }
}

// Every sample of a mosaic cut at an odd place holds its site's colour (0
// red, 1 green, 2 blue); after any rotation, flip or both, and the meridian's
// half turn, the layout the frame names must give every sample its colour.
TEST(Orientation, AMosaicsNameFollowsItsRedSite)
{
    const auto colourAt = [](std::int32_t layout, std::int64_t x, std::int64_t y) {
        const std::int32_t at = MosaicAt(layout, x, y) - 8;   // RGGB family: 0 RGGB .. 3 BGGR
        const bool red = at == 0, blue = at == 3;
        return red ? 0 : blue ? 2 : 1;
    };
    std::int32_t renamed = 0;
    for (const std::int32_t rotate : {0, 90, 180, 270})
        for (const Flip flip : {Flip::None, Flip::H, Flip::V})
            for (const bool meridian : {false, true}) {
                SampleFrame frame;
                frame.width = 6;
                frame.height = 4;
                frame.layout = 8;   // RGGB at the file's top-left
                frame.left = 3;
                frame.top = 1;
                for (std::int32_t y = 0; y < 4; ++y)
                    for (std::int32_t x = 0; x < 6; ++x)
                        frame.samples.push_back(std::uint8_t(colourAt(8, 3 + x, 1 + y)));
                const Orientation plain = OrientationOf(rotate, flip);
                std::vector<std::uint8_t> scratch;
                OrientSamples(frame, meridian ? TurnedHalf(plain) : plain, scratch);
                renamed += frame.layout != MosaicAt(8, 3, 1) ? 1 : 0;
                for (std::int32_t y = 0; y < frame.height; ++y)
                    for (std::int32_t x = 0; x < frame.width; ++x)
                        ASSERT_EQ(frame.samples[std::size_t(y * frame.width + x)],
                                  colourAt(frame.layout, frame.left + x, frame.top + y))
                            << rotate << " " << int(flip) << " " << meridian << " at " << x << "," << y;
            }
    EXPECT_GT(renamed, 0);
    // The named example: RGGB mirrored left-right is GRBG.
    EXPECT_EQ(OrientedMosaic(8, 4, 4, OrientationOf(0, Flip::H)), 9);
}
