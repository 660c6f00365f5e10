// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/orientation.h"

#include <cstring>

Orientation OrientationOf(std::int32_t rotateDegrees, Flip flip)
{
    Orientation o;
    o.quarterTurns = ((rotateDegrees / 90) % 4 + 4) % 4;
    o.mirror = flip != Flip::None;
    if (flip == Flip::V)
        o.quarterTurns = (o.quarterTurns + 2) % 4;
    return o;
}

// A half turn commutes with the mirror, so it simply adds two quarter turns.
Orientation TurnedHalf(Orientation orientation)
{
    orientation.quarterTurns = (orientation.quarterTurns + 2) % 4;
    return orientation;
}

std::pair<std::int32_t, std::int32_t> SourceOf(const Orientation& orientation, std::int32_t width, std::int32_t height,
                                               std::int32_t x, std::int32_t y)
{
    std::int32_t sx = x, sy = y;
    switch (orientation.quarterTurns) {
    case 1:
        sx = y;
        sy = height - 1 - x;
        break;
    case 2:
        sx = width - 1 - x;
        sy = height - 1 - y;
        break;
    case 3:
        sx = width - 1 - y;
        sy = x;
        break;
    default: break;
    }
    if (orientation.mirror)
        sx = width - 1 - sx;
    return {sx, sy};
}

void OrientPixels(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t width, std::int32_t height,
                  std::int32_t pixelBytes, const Orientation& orientation, std::uint8_t* dst, std::ptrdiff_t dstStride)
{
    const std::int32_t outWidth = orientation.swapsSides() ? height : width;
    const std::int32_t outHeight = orientation.swapsSides() ? width : height;
    for (std::int32_t y = 0; y < outHeight; ++y) {
        std::uint8_t* row = dst + std::ptrdiff_t(y) * dstStride;
        for (std::int32_t x = 0; x < outWidth; ++x) {
            const auto [sx, sy] = SourceOf(orientation, width, height, x, y);
            std::memcpy(row + std::ptrdiff_t(x) * pixelBytes,
                        src + std::ptrdiff_t(sy) * srcStride + std::ptrdiff_t(sx) * pixelBytes,
                        std::size_t(pixelBytes));
        }
    }
}

void OrientBitmap(const OutputBitmap& in, const Orientation& orientation, OutputBitmap& out)
{
    const bool swap = orientation.swapsSides();
    out.setSize(swap ? in.height() : in.width(), swap ? in.width() : in.height());
    if (in.empty())
        return;
    // Both bitmaps are stored bottom-up: walked from their top rows, upwards in memory.
    OrientPixels(in.rowFromTop(0), -std::ptrdiff_t(in.stride()), in.width(), in.height(), 3, orientation,
                 out.rowFromBottom(out.height() - 1), -std::ptrdiff_t(out.stride()));
}

void OrientPlane(const GrayPlane& in, std::int32_t width, std::int32_t height, const Orientation& orientation,
                 GrayPlane& out)
{
    out.resize(in.size());
    if (in.empty())
        return;
    const std::int32_t outWidth = orientation.swapsSides() ? height : width;
    OrientPixels(in.data(), width, width, height, 1, orientation, out.data(), outWidth);
}
