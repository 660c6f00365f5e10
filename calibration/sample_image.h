// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/bayer.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orbicrop::calibration {

// A frame's samples as calibration reads and changes them: rows top-down,
// stride bytes apart (negative for a picture stored bottom-up); samples of
// a pixel interleaved, planeOrder telling where red, green and blue are;
// two-byte samples in the host's (little-endian) order with the value in
// the low depth bits.
struct SampleImage {
    std::uint8_t* topRow = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;           // 1 (mono or a mosaic) or 3
    bool bgr = false;                  // with 3 planes: blue first (else red)
    std::int32_t bytesPerSample = 1;   // 1 or 2
    std::int32_t depth = 8;            // 1..16: results are clamped to 0 .. 2^depth - 1
    // The mosaic seen from the top-left sample, for raw colour frames.
    std::optional<BayerPattern> mosaic;

    std::uint8_t* row(std::int32_t y) const { return topRow + std::ptrdiff_t(y) * stride; }
};

// The same, read only.
struct ConstSampleImage {
    const std::uint8_t* topRow = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
    bool bgr = false;
    std::int32_t bytesPerSample = 1;
    std::int32_t depth = 8;
    std::optional<BayerPattern> mosaic;

    ConstSampleImage() = default;
    ConstSampleImage(const SampleImage& image)
        : topRow(image.topRow), stride(image.stride), width(image.width), height(image.height), planes(image.planes),
          bgr(image.bgr), bytesPerSample(image.bytesPerSample), depth(image.depth), mosaic(image.mosaic)
    {}
    const std::uint8_t* row(std::int32_t y) const { return topRow + std::ptrdiff_t(y) * stride; }
};

// The frame shape describes, its samples at topRow, rows stride bytes apart
// (a writable copy of them, say).
inline SampleImage WithSamples(const ConstSampleImage& shape, std::uint8_t* topRow, std::ptrdiff_t stride)
{
    SampleImage image;
    image.topRow = topRow;
    image.stride = stride;
    image.width = shape.width;
    image.height = shape.height;
    image.planes = shape.planes;
    image.bgr = shape.bgr;
    image.bytesPerSample = shape.bytesPerSample;
    image.depth = shape.depth;
    image.mosaic = shape.mosaic;
    return image;
}

}   // namespace orbicrop::calibration
