// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/gray_plane.h"
#include "image/output_bitmap.h"

#include <cstddef>
#include <cstdint>
#include <utility>

// The mirror the user asks for: h swaps left and right, v top and bottom.
enum class Flip { None, H, V };

// How an output picture is turned: mirrored left-right first when mirror is
// set, then turned clockwise, as the picture is seen, by quarterTurns. Every
// rotation and flip, and any chain of them, is one of these eight.
struct Orientation {
    std::int32_t quarterTurns = 0;   // 0..3
    bool mirror = false;

    bool any() const { return quarterTurns != 0 || mirror; }
    bool swapsSides() const { return quarterTurns % 2 != 0; }
};

// The user's rotation (0, 90, 180, 270 degrees clockwise) applied after the
// flip; a top-bottom mirror is a left-right one turned by 180 degrees.
Orientation OrientationOf(std::int32_t rotateDegrees, Flip flip);

// orientation followed by a further half turn.
Orientation TurnedHalf(Orientation orientation);

// The pixel of a width x height source (top-down rows) that lands at (x, y)
// of the oriented picture.
std::pair<std::int32_t, std::int32_t> SourceOf(const Orientation& orientation, std::int32_t width, std::int32_t height,
                                               std::int32_t x, std::int32_t y);

// Copies the width x height picture at src into dst oriented; both are
// addressed by their top rows and the bytes from one row to the next below
// it; a pixel is pixelBytes bytes.
void OrientPixels(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t width, std::int32_t height,
                  std::int32_t pixelBytes, const Orientation& orientation, std::uint8_t* dst, std::ptrdiff_t dstStride);

// in oriented into out, which is resized to fit.
void OrientBitmap(const OutputBitmap& in, const Orientation& orientation, OutputBitmap& out);
// A width x height grey plane oriented into out.
void OrientPlane(const GrayPlane& in, std::int32_t width, std::int32_t height, const Orientation& orientation,
                 GrayPlane& out);
