// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/native_frame.h"
#include "image/gray_plane.h"
#include "image/output_bitmap.h"

#include <cstdint>

// Cuts the width x height window whose top-left pixel lies at (left, top) of
// the frame (top-down rows) into out, samples unchanged; parts of the window
// outside the frame are 0. out's memory is reused from call to call.
void CropSamples(const NativeFrame& frame, std::int64_t left, std::int64_t top, std::int32_t width, std::int32_t height,
                 SampleFrame& out);

// The same bytes an 8-bit output holds, as samples: the grey plane as mono
// when given, otherwise the bitmap's blue, green, red bytes, rows top-down.
void SamplesOfCrop(const OutputBitmap& bitmap, const GrayPlane* plane, SampleFrame& out);
