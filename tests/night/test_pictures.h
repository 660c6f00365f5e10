// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <png.h>

// Pictures for the night report's tests, made and read with libpng: a planet
// and two plots in colours a browser's page shows nowhere else, so that a
// screenshot tells whether the embedded pictures were drawn.
struct RgbPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgb;   // top row first

    void fill(std::uint32_t x, std::uint32_t y, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        std::uint8_t* p = &rgb[(std::size_t(y) * width + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
    // Pixels within tolerance of this colour in every channel.
    std::int64_t count(std::uint8_t r, std::uint8_t g, std::uint8_t b, int tolerance) const
    {
        std::int64_t n = 0;
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
            n += std::abs(rgb[i] - r) <= tolerance && std::abs(rgb[i + 1] - g) <= tolerance
                && std::abs(rgb[i + 2] - b) <= tolerance;
        return n;
    }
};

inline constexpr std::uint8_t kPlanet[3] = {222, 150, 60};
inline constexpr std::uint8_t kCurve[3] = {20, 90, 200};

struct PngImage {
    png_image image{};
    PngImage() { image.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
};

inline std::vector<std::uint8_t> EncodePng(const RgbPicture& picture)
{
    PngImage png;
    png.image.width = picture.width;
    png.image.height = picture.height;
    png.image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png.image, nullptr, &size, 0, picture.rgb.data(), 0, nullptr))
        throw std::runtime_error("libpng sized no PNG");
    std::vector<std::uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png.image, bytes.data(), &size, 0, picture.rgb.data(), 0, nullptr))
        throw std::runtime_error("libpng wrote no PNG");
    bytes.resize(size);
    return bytes;
}

inline RgbPicture ReadPng(const std::string& path)
{
    PngImage png;
    if (!png_image_begin_read_from_file(&png.image, path.c_str()))
        throw std::runtime_error("not a PNG: " + path);
    png.image.format = PNG_FORMAT_RGB;
    RgbPicture picture{png.image.width, png.image.height, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(png.image))};
    if (!png_image_finish_read(&png.image, nullptr, picture.rgb.data(), 0, nullptr))
        throw std::runtime_error("unreadable PNG: " + path);
    return picture;
}

// A banded disc on black, as a best frame of Jupiter looks.
inline std::vector<std::uint8_t> PlanetPng(std::uint32_t side)
{
    RgbPicture p{side, side, std::vector<std::uint8_t>(std::size_t(side) * side * 3, 0)};
    const double centre = side / 2.0;
    for (std::uint32_t y = 0; y < side; ++y)
        for (std::uint32_t x = 0; x < side; ++x) {
            const double dx = x + 0.5 - centre;
            const double dy = y + 0.5 - centre;
            if (dx * dx + dy * dy > 0.4 * side * 0.4 * side)
                continue;
            if (y * 7 / side % 2 == 1)
                p.fill(x, y, 170, 105, 45);
            else
                p.fill(x, y, kPlanet[0], kPlanet[1], kPlanet[2]);
        }
    return EncodePng(p);
}

// A falling curve on white, 640 x 360, as the quality curve is drawn.
inline std::vector<std::uint8_t> PlotPng()
{
    RgbPicture p{640, 360, std::vector<std::uint8_t>(640 * 360 * 3, 255)};
    for (std::uint32_t x = 40; x < 620; ++x) {
        p.fill(x, 330, 0, 0, 0);
        const auto y = std::uint32_t(40 + 280 * (1 - std::exp((40.0 - x) / 150.0)));
        for (std::uint32_t t = 0; t < 4; ++t)
            p.fill(x, y + t, kCurve[0], kCurve[1], kCurve[2]);
    }
    return EncodePng(p);
}
