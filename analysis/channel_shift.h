// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/dispersion.h"
#include "analysis/native_frame.h"
#include "image/output_bitmap.h"

#include <cstdint>
#include <vector>

// Moves red and blue back onto green: each is resampled at its offset with a
// Catmull-Rom cubic, which puts a channel's centroid exactly where the
// offset says and rings little on a planet's limb. What a shift brings in
// from beyond the crop is black; green is untouched. The shifter keeps its
// memory from frame to frame (one per thread).
class ChannelShifter {
public:
    void align(OutputBitmap& bitmap, const Dispersion& d);
    // Three-plane samples (RGB or BGR, one or two bytes), clamped to their
    // depth; other layouts are left as they are.
    void align(SampleFrame& samples, const Dispersion& d);

    // Resamples plane (width x height, rows top-down) so that its pixel at
    // (x, y) takes the value at (x + offset.x, y + offset.y).
    void shift(std::vector<float>& plane, std::int32_t width, std::int32_t height, const ChannelOffset& offset);

private:
    std::vector<float> m_plane;
    std::vector<float> m_scratch;
};
