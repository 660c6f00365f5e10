// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "avi/avi_writer.h"
#include "image/output_bitmap.h"
#include "support/crescent.h"
#include "support/disc_video.h"
#include "support/ser_writer.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

// A banded, limb-darkened planet with a dark spot, in units of its centre's
// level; (x, y) from the disc's centre.
inline double BandedPlanet(double x, double y, double radius)
{
    const double r2 = (x * x + y * y) / (radius * radius);
    if (r2 >= 1.0)
        return 0.0;
    const double limb = 0.35 + 0.65 * std::sqrt(1.0 - r2);
    const double band = std::sin(2.5 * std::numbers::pi * y / radius);
    const double sx = x - 0.35 * radius, sy = y + 0.25 * radius;
    const double spot = 0.4 * std::exp(-(sx * sx + sy * sy) / (0.02 * radius * radius));
    return limb * (1.0 - 0.3 * band * band) * (1.0 - spot);
}

// A colour capture of that planet drifting by sub-pixel steps, each channel
// drawn from the scene at its own offset (picture coordinates, y down), so
// that red and blue lie exactly that far from green; seeing blur and noise
// as SeeingPicture gives them.
struct DispersedPlanet {
    std::int32_t width = 192;
    std::int32_t height = 160;
    double radius = 36.0;
    std::array<double, 2> red{2.4, -1.3};
    std::array<double, 2> blue{-1.7, 0.6};
    static constexpr double kSky = 10.0;

    std::pair<double, double> centre(std::int32_t f) const { return {96.3 + 0.6 * f, 80.2 - 0.4 * f}; }

    // Blue, green, red levels per pixel, rows top-down.
    std::vector<std::uint8_t> frame(std::int32_t f) const
    {
        const auto [cx, cy] = centre(f);
        const std::array<std::array<double, 2>, 3> offsets{blue, std::array<double, 2>{0.0, 0.0}, red};
        const std::array<double, 3> gain{0.6, 0.85, 1.0};
        std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 3);
        for (std::size_t c = 0; c < 3; ++c) {
            const double ox = cx + offsets[c][0], oy = cy + offsets[c][1];
            const auto plane = SeeingPicture(
                width, height, [&](double x, double y) { return gain[c] * BandedPlanet(x - ox, y - oy, radius); }, 1.5,
                std::uint32_t(100 * f + c), kSky);
            for (std::size_t i = 0; i < plane.size(); ++i)
                pixels[i * 3 + c] = plane[i];
        }
        return pixels;
    }

    void writeAvi(const std::string& file, std::int32_t frames) const
    {
        TAviWriter writer(0, 0);
        OutputBitmap bitmap;
        OpenTestAvi(writer, bitmap, file, width, height, false);
        for (std::int32_t f = 0; f < frames; ++f) {
            const auto pixels = frame(f);
            for (std::int32_t y = 0; y < height; ++y)
                std::copy_n(pixels.data() + std::size_t(y) * std::size_t(width) * 3, std::size_t(width) * 3,
                            bitmap.rowFromBottom(height - 1 - y));
            writer.AddFrame(bitmap, f);
        }
        writer.CloseVideo();
    }

    // An RGB SER of 12-bit samples (the levels x 16).
    SerClip ser(std::int32_t frames) const
    {
        SerClip clip;
        clip.colourId = 100;
        clip.depth = 12;
        clip.width = width;
        clip.height = height;
        for (std::int32_t f = 0; f < frames; ++f) {
            const auto pixels = frame(f);
            clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t p) {
                return 16 * pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(2 - p)];
            });
        }
        return clip;
    }
};

// The centroid of one channel less the sky, over the circle of the given
// radius around (cx, cy), of pixels stored blue, green, red, rows top-down.
inline std::pair<double, double> ChannelCentroid(const std::vector<double>& pixels, std::int32_t width,
                                                 std::int32_t height, std::int32_t channel, double cx, double cy,
                                                 double reach, double sky)
{
    double sum = 0.0, sx = 0.0, sy = 0.0;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) > reach * reach)
                continue;
            const double v = pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(channel)];
            sum += v - sky;
            sx += (v - sky) * x;
            sy += (v - sky) * y;
        }
    return {sx / sum, sy / sum};
}

// Red and blue against green by their centroids, measured independently of
// the tool: green's centroid first (over a circle about the picture's
// middle), then all three over the same circle about it. Red x, red y, blue
// x, blue y.
inline std::array<double, 4> CentroidOffsets(const std::vector<double>& pixels, std::int32_t width, std::int32_t height,
                                             double reach, double sky)
{
    auto [gx, gy] = ChannelCentroid(pixels, width, height, 1, width / 2.0, height / 2.0, reach, sky);
    std::tie(gx, gy) = ChannelCentroid(pixels, width, height, 1, gx, gy, reach, sky);
    const auto [rx, ry] = ChannelCentroid(pixels, width, height, 2, gx, gy, reach, sky);
    const auto [bx, by] = ChannelCentroid(pixels, width, height, 0, gx, gy, reach, sky);
    return {rx - gx, ry - gy, bx - gx, by - gy};
}
