// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading and writing single samples and whole rows of a SampleImage, in the
// masters' red, green, blue order. Internal to the calibration folder.

#include "calibration/sample_image.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace orbicrop::calibration::detail {

// A frame the calibration cannot read is refused before any sample is
// touched: its layout comes from a file's header, not from us.
template <typename Image>
void CheckLayout(const Image& image)
{
    if (image.topRow == nullptr || image.width <= 0 || image.height <= 0 || (image.planes != 1 && image.planes != 3)
        || (image.bytesPerSample != 1 && image.bytesPerSample != 2) || image.depth < 1
        || image.depth > 8 * image.bytesPerSample) {
        throw std::invalid_argument("The frame's sample layout cannot be calibrated");
    }
}

// Where the sample of colour plane (0 red, 1 green, 2 blue) sits in a pixel.
inline std::int32_t FramePlane(std::int32_t planes, bool bgr, std::int32_t plane)
{
    return planes == 3 && bgr ? 2 - plane : plane;
}

template <typename Image>
std::uint32_t LoadSample(const Image& image, std::int32_t x, std::int32_t y, std::int32_t framePlane)
{
    const std::uint8_t* at =
        image.row(y) + (std::size_t(x) * std::size_t(image.planes) + std::size_t(framePlane)) * image.bytesPerSample;
    if (image.bytesPerSample == 1) {
        return *at;
    }
    std::uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}

inline void StoreSample(const SampleImage& image, std::int32_t x, std::int32_t y, std::int32_t framePlane,
                        std::uint32_t value)
{
    std::uint8_t* at =
        image.row(y) + (std::size_t(x) * std::size_t(image.planes) + std::size_t(framePlane)) * image.bytesPerSample;
    if (image.bytesPerSample == 1) {
        *at = std::uint8_t(value);
        return;
    }
    const std::uint16_t narrow = std::uint16_t(value);
    std::memcpy(at, &narrow, 2);
}

// Row y as width * planes floats, red, green, blue.
inline void LoadRow(const ConstSampleImage& image, std::int32_t y, float* out)
{
    const std::size_t count = std::size_t(image.width) * std::size_t(image.planes);
    const std::uint8_t* row = image.row(y);
    if (image.bytesPerSample == 1) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = float(row[i]);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint16_t value;
            std::memcpy(&value, row + 2 * i, 2);
            out[i] = float(value);
        }
    }
    if (image.planes == 3 && image.bgr) {
        for (std::size_t i = 0; i < count; i += 3) {
            std::swap(out[i], out[i + 2]);
        }
    }
}

}   // namespace orbicrop::calibration::detail
