// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"
#include "avi/avi_writer.h"
#include "support/synthetic_source.h"

#include <functional>
#include <string>
#include <vector>

// A clip of a uniform disc whose centre follows a known path, written as an
// uncompressed RGB24 AVI (read back losslessly). Centres at 4k + 3.5 keep the
// disc symmetric on the analysis grid, so the expected centre is exact.
// An uncompressed AVI opened for frames of the given size, and a bitmap of
// that size to fill.
inline void OpenTestAvi(TAviWriter& writer, OutputBitmap& bitmap, const std::string& file, std::int32_t width,
                        std::int32_t height, bool gray)
{
    writer.setFileName(file);
    writer.setWidth(width);
    writer.setHeight(height);
    writer.OpenVideo(gray);
    bitmap.setSize(width, height);
}

struct DiscClip {
    std::int32_t width = 160;
    std::int32_t height = 120;
    double radius = 10.0;
    std::uint8_t blue = 200, green = 200, red = 200, sky = 8;
    std::function<void(std::int32_t frame, double& cx, double& cy)> path = [](std::int32_t frame, double& cx,
                                                                              double& cy) {
        cx = 51.5 + 4 * frame;
        cy = 59.5;
    };

    // One frame, bottom-up BGR with stride width x 3 (the decoded layout).
    std::vector<std::uint8_t> frame(std::int32_t index) const
    {
        std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 3);
        double cx = 0, cy = 0;
        path(index, cx, cy);
        PaintDisc(pixels.data(), width, height, cx, cy, radius, blue, green, red, sky);
        return pixels;
    }

    // The same clip as an 8-bit Y800 AVI: each pixel's blue byte, top row first.
    void writeGray(const std::string& file, std::int32_t frames) const
    {
        TAviWriter writer(0, 0);
        OutputBitmap bitmap;
        OpenTestAvi(writer, bitmap, file, width, height, true);
        std::vector<std::uint8_t> plane(std::size_t(width) * std::size_t(height));
        for (std::int32_t i = 0; i < frames; ++i) {
            const auto pixels = frame(i);
            for (std::int32_t y = 0; y < height; ++y)
                for (std::int32_t x = 0; x < width; ++x)
                    plane[std::size_t(height - 1 - y) * std::size_t(width) + std::size_t(x)] =
                        pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3];
            writer.AddGrayFrame(bitmap, plane.data(), i);
        }
        writer.CloseVideo();
    }

    void write(const std::string& file, std::int32_t frames) const
    {
        TAviWriter writer(0, 0);
        OutputBitmap bitmap;
        OpenTestAvi(writer, bitmap, file, width, height, false);
        for (std::int32_t i = 0; i < frames; ++i) {
            const auto pixels = frame(i);
            for (std::int32_t y = 0; y < height; ++y)
                std::copy_n(pixels.data() + std::size_t(y) * std::size_t(width) * 3, std::size_t(width) * 3,
                            bitmap.rowFromBottom(y));
            writer.AddFrame(bitmap, i);
        }
        writer.CloseVideo();
    }
};

// An uncompressed AVI whose every pixel is painted by paint(frame, x, y), y
// from the top: a grey level, written as Y800 or as equal blue, green, red.
template <class Paint>
void WritePaintedAvi(const std::string& file, std::int32_t width, std::int32_t height, std::int32_t frames, bool gray,
                     Paint paint)
{
    TAviWriter writer(0, 0);
    OutputBitmap bitmap;
    OpenTestAvi(writer, bitmap, file, width, height, gray);
    std::vector<std::uint8_t> plane(std::size_t(width) * std::size_t(height));
    for (std::int32_t f = 0; f < frames; ++f) {
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) {
                const auto level = std::uint8_t(paint(f, x, y));
                plane[std::size_t(y) * std::size_t(width) + std::size_t(x)] = level;
                std::uint8_t* p = bitmap.rowFromBottom(height - 1 - y) + std::size_t(x) * 3;
                p[0] = p[1] = p[2] = level;
            }
        if (gray)
            writer.AddGrayFrame(bitmap, plane.data(), f);
        else
            writer.AddFrame(bitmap, f);
    }
    writer.CloseVideo();
}
