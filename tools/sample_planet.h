// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <cstdint>

// Deterministic frames of a banded, limb-darkened planet on a noisy dark sky
// that drifts by a seeded random walk with jitter, like a capture through
// moving air with imperfect tracking.
class SamplePlanet {
public:
    struct Options {
        std::int32_t width = 640;
        std::int32_t height = 480;
        double radius = 70.0;
        std::uint64_t seed = 20261208;
        bool gray = false;           // a monochrome camera: red = green = blue
        bool rings = false;          // Saturn: a tilted ring system around the disc
        double moonDistance = 0.0;   // > 0: a 6 x 6 white moon this far right of the centre
        // >= 0: a knock of the mount at this frame puts the disc's centre on
        // the frame's right edge for kBumpFrames frames, half of it cut off.
        std::int32_t bumpFrame = -1;
        // > 0: Venus lit from the side at this phase angle in degrees (a
        // crescent above 90), white and featureless, instead of the banded disc.
        double phase = 0.0;
    };
    static constexpr std::int32_t kBumpFrames = 5;

    explicit SamplePlanet(const Options& options);

    // Draws the next frame into bitmap (resized to the frame size) and
    // returns where the planet's centre was, x from the left, y from the top.
    void next(OutputBitmap& bitmap, double& centerX, double& centerY);

private:
    double uniform();    // [0, 1)
    double gaussian();   // mean 0, deviation 1

    Options m_options;
    std::uint64_t m_rng;
    double m_x;
    double m_y;
    double m_vx = 0.0;
    double m_vy = 0.0;
    std::int32_t m_frame = 0;
};
