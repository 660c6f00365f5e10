// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <cstdint>
#include <vector>

// Deterministic frames cut from one static cratered surface (the Moon close
// up) at whole-pixel shifts that follow a seeded random walk, so that the
// content of every frame is known to move by exactly the reported shift.
class SampleSurface {
public:
    struct Options {
        std::int32_t width = 640;
        std::int32_t height = 480;
        std::uint64_t seed = 20261208;
    };

    explicit SampleSurface(const Options& options);

    // Draws the next frame and returns its shift against the first frame:
    // how far the content moved, x right, y down, in whole pixels.
    void next(OutputBitmap& bitmap, double& shiftX, double& shiftY);

private:
    static constexpr std::int32_t kMargin = 40;   // the walk stays within this
    double uniform();

    Options m_options;
    std::uint64_t m_rng;
    std::int32_t m_imageWidth;
    std::int32_t m_imageHeight;
    std::vector<std::uint8_t> m_image;   // grey, rows top-down
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    bool m_first = true;
};
