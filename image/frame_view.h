// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Where the pixels of a decoded frame lie. Stored row y = 0 is the bottom row
// of the picture; stride is the step in bytes from one stored row to the next
// (negative when the rows lie top-down in memory). A frame is either 24-bit
// (blue, green, red) or 8-bit grey, which stands for blue = green = red.
// The view reads only: analysis never changes a frame it measures or crops.
struct FrameView {
    const std::uint8_t* data = nullptr;   // first byte of stored row 0
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 3;   // 3 or 1

    const std::uint8_t* row(std::int32_t y) const { return data + std::ptrdiff_t(y) * stride; }
    // The byte that detection reads: green, or the grey value itself.
    std::int32_t greenOffset() const { return bytesPerPixel == 3 ? 1 : 0; }
    bool gray() const { return bytesPerPixel == 1; }
};

// A 24-bit frame whose bytes may be changed. Only the show-effect marking of
// a test's preview writes into a frame, so only it asks for this view.
struct MarkableFrame {
    std::uint8_t* data = nullptr;   // first byte of stored row 0 (the bottom row)
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::uint8_t* row(std::int32_t y) const { return data + std::ptrdiff_t(y) * stride; }
    FrameView view() const { return {data, stride, width, height, 3}; }
};
