// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/frame_view.h"
#include "image/gray_plane.h"
#include "image/output_bitmap.h"
#include "analysis/processing_state.h"

#include <cstdint>

// Cuts a width x height window centred on (centerX, centerY) out of a decoded
// frame into the bitmap (resized to the window) and, with makeGrayPlane, into
// a newly made grey plane (the blue byte of each pixel, rows top-down). Parts
// of the window outside the frame come out black (and 0 in the plane).
//
// Output row i (from the bottom) and column j come from stored row
// centerY - height div 2 + i and column centerX - width div 2 + j.
//
// With ignoreIncomplete the window is refused, returning false and changing
// nothing, when centre +- the half sizes comes within one pixel of a frame
// edge; the half sizes serve that test only. Any copied pixel whose red and
// blue bytes differ sets state.colorDetected.
bool CropFrame(TProcessingState& state, OutputBitmap& bitmap, const std::uint8_t* frame, GrayPlane& grayPlane,
               std::int32_t centerX, std::int32_t centerY, std::int32_t halfWidth, std::int32_t halfHeight,
               std::int32_t width, std::int32_t height, bool ignoreIncomplete, bool makeGrayPlane);

// The window of one cut: centre and size in pixels, frame coordinates.
struct CropWindow {
    std::int32_t centerX = 0;
    std::int32_t centerY = 0;
    std::int32_t halfWidth = 0;   // for the border test of ignoreIncomplete only
    std::int32_t halfHeight = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool ignoreIncomplete = false;
    bool makeGrayPlane = false;
};

// Whether centre +- the half sizes comes within one pixel of a frame edge:
// the window a Remove incomplete frames run refuses.
bool WindowReachesBorder(const CropWindow& window, std::int32_t inputWidth, std::int32_t inputHeight);

// count grey bytes spread to count BGR pixels of equal channels.
void ExpandGray(std::uint8_t* out, const std::uint8_t* gray, std::int32_t count);

// The same cut from any frame layout. A grey source pixel gives blue = green =
// red = its value (and never colour).
bool CropFrame(TProcessingState& state, OutputBitmap& bitmap, const FrameView& frame, GrayPlane& grayPlane,
               const CropWindow& window);
