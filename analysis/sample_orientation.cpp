// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/sample_orientation.h"

#include <utility>

std::int32_t OrientedMosaic(std::int32_t layoutAtTopLeft, std::int32_t width, std::int32_t height,
                            const Orientation& orientation)
{
    if (!IsMosaic(layoutAtTopLeft) || width < 2 || height < 2)
        return layoutAtTopLeft;
    // Bit 0 of the id is the red site's column in the 2 x 2 cell, bit 1 its
    // row (see MosaicAt); the whole cell follows from where red is.
    const std::int32_t redX = layoutAtTopLeft & 1;
    const std::int32_t redY = (layoutAtTopLeft >> 1) & 1;
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::int32_t x = 0; x < 2; ++x) {
            const auto [sx, sy] = SourceOf(orientation, width, height, x, y);
            if (sx % 2 == redX && sy % 2 == redY)
                return (layoutAtTopLeft & ~3) | x | (y << 1);
        }
    }
    return layoutAtTopLeft;
}

void OrientSamples(SampleFrame& frame, const Orientation& orientation, std::vector<std::uint8_t>& scratch)
{
    if (!orientation.any())
        return;
    const std::int32_t pixelBytes = frame.planes * frame.bytesPerSample;
    const std::int32_t outWidth = orientation.swapsSides() ? frame.height : frame.width;
    scratch.resize(frame.samples.size());
    OrientPixels(frame.samples.data(), std::ptrdiff_t(frame.width) * pixelBytes, frame.width, frame.height, pixelBytes,
                 orientation, scratch.data(), std::ptrdiff_t(outWidth) * pixelBytes);
    frame.samples.swap(scratch);
    frame.layout =
        OrientedMosaic(MosaicAt(frame.layout, frame.left, frame.top), frame.width, frame.height, orientation);
    if (orientation.swapsSides())
        std::swap(frame.width, frame.height);
    frame.left = 0;
    frame.top = 0;
}
