// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/sample_crop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Two-byte RGB samples numbered by position, on rows padded past their width.
struct Frame {
    static constexpr std::int32_t kWidth = 5, kHeight = 4, kPlanes = 3, kStride = kWidth * kPlanes * 2 + 6;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kStride * kHeight, 0xAB);
    Frame()
    {
        for (std::int32_t y = 0; y < kHeight; ++y)
            for (std::int32_t k = 0; k < kWidth * kPlanes; ++k) {
                const std::uint16_t v = std::uint16_t(0x1000 + y * 100 + k);
                bytes[std::size_t(y * kStride + k * 2)] = std::uint8_t(v);
                bytes[std::size_t(y * kStride + k * 2 + 1)] = std::uint8_t(v >> 8);
            }
    }
    NativeFrame view() const
    {
        NativeFrame f;
        f.topRow = bytes.data();
        f.stride = kStride;
        f.width = kWidth;
        f.height = kHeight;
        f.layout = 100;
        f.planes = kPlanes;
        f.bytesPerSample = 2;
        f.depth = 13;
        return f;
    }
};

std::uint16_t SampleAt(const SampleFrame& s, std::int32_t x, std::int32_t y, std::int32_t p)
{
    const std::size_t at = (std::size_t(y * s.width + x) * 3 + std::size_t(p)) * 2;
    return std::uint16_t(s.samples[at] | s.samples[at + 1] << 8);
}

TEST(CropSamples, KeepsEverySampleAndIsZeroOutsideTheFrame)
{
    const Frame frame;
    SampleFrame out;
    out.samples.assign(1000, 0x55);   // memory of an earlier, larger crop
    CropSamples(frame.view(), -1, 2, 4, 3, out);
    ASSERT_EQ(out.samples.size(), 4u * 3 * 3 * 2);
    EXPECT_EQ(out.depth, 13);
    EXPECT_EQ(out.left, -1);
    EXPECT_EQ(out.top, 2);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 4; ++x)
            for (std::int32_t p = 0; p < 3; ++p) {
                const std::int32_t sx = x - 1, sy = y + 2;
                const bool inside = sx >= 0 && sy < Frame::kHeight;
                const std::uint16_t want = inside ? std::uint16_t(0x1000 + sy * 100 + sx * 3 + p) : 0;
                EXPECT_EQ(SampleAt(out, x, y, p), want) << x << "," << y << "," << p;
            }
}

TEST(CropSamples, AWindowWhollyOutsideIsBlack)
{
    const Frame frame;
    SampleFrame out;
    CropSamples(frame.view(), 9, 0, 2, 2, out);
    EXPECT_EQ(out.samples, std::vector<std::uint8_t>(2 * 2 * 3 * 2, 0));
}

TEST(SamplesOfCrop, AreTheBitmapRowsTopDownOrTheGreyPlane)
{
    OutputBitmap bitmap;
    bitmap.setSize(2, 2);
    for (std::int32_t i = 0; i < 2; ++i)
        for (std::int32_t k = 0; k < 6; ++k)
            bitmap.rowFromBottom(i)[k] = std::uint8_t(10 * i + k);
    SampleFrame out;
    SamplesOfCrop(bitmap, nullptr, out);
    EXPECT_EQ(out.layout, kSamplesBgr);
    EXPECT_EQ(out.samples, (std::vector<std::uint8_t>{10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5}));
    const GrayPlane plane{7, 8, 9, 10};
    SamplesOfCrop(bitmap, &plane, out);
    EXPECT_EQ(out.layout, kSamplesMono);
    EXPECT_EQ(out.samples, plane);
}

}   // namespace
