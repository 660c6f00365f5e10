#pragma once

#include "analysis/processing_state.h"

#include <cstddef>
#include <cstdint>

// Where the pixels of a decoded frame lie. Stored row y = 0 is the bottom row
// of the picture; stride is the step in bytes from one stored row to the next
// (negative when the rows lie top-down in memory). A frame is either 24-bit
// (blue, green, red) or 8-bit grey, which stands for blue = green = red.
struct FrameView {
    std::uint8_t* data = nullptr;       // first byte of stored row 0
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 3;     // 3 or 1

    std::uint8_t* row(std::int32_t y) const { return data + std::ptrdiff_t(y) * stride; }
    // The byte that detection reads: green, or the grey value itself.
    std::int32_t greenOffset() const { return bytesPerPixel == 3 ? 1 : 0; }
    bool gray() const { return bytesPerPixel == 1; }
};

// The decoded frame of the state's size: BGR, bottom-up, stride width x 3.
inline FrameView BgrFrame(const TProcessingState& state, std::uint8_t* frame)
{
    return {frame, std::ptrdiff_t(state.inputWidth) * 3, state.inputWidth, state.inputHeight, 3};
}

// A grey frame of the state's size whose bottom row starts at bottomRow.
inline FrameView GrayFrame(const TProcessingState& state, std::uint8_t* bottomRow, std::ptrdiff_t stride)
{
    return {bottomRow, stride, state.inputWidth, state.inputHeight, 1};
}
