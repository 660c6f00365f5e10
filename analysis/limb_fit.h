// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/frame_view.h"

#include <cstdint>
#include <optional>

// Where to look for the limb: the object's centre of gravity and extent, as
// the planet search gives them (x from the left, y from stored row 0, the
// bottom row), and the 8-bit level between sky and object the search used.
struct LimbHint {
    double centerX = 0.0;
    double centerY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
    // 0 picks the level from the frame: a quarter of the way from the sky to
    // the object's brightest level.
    double threshold = 0.0;
    // The widest fall, in pixels, that still counts as the limb (from 80 % to
    // 20 % of the way from the object's level to the sky's): a step blurred
    // by seeing of sigma s falls over 1.7 s, a terminator over many times that.
    double maxEdgeWidth = 4.5;
    std::int32_t rays = 360;
    // The disc's radius when it is known (a capture's earlier frames): only
    // the centre is fitted. On a crescent's half of the limb the radius and
    // the centre along the sun's direction trade against each other, and
    // holding one steadies the other.
    std::optional<double> radius;
};

// Whether a run centres on the limb, and the disc's radius once the file's
// first frames have measured it.
struct LimbChoice {
    bool on = false;
    std::optional<double> radius;

    bool operator==(const LimbChoice&) const = default;
};

// The disc's centre and radius from a circle fitted to its lit limb.
struct LimbFit {
    double centerX = 0.0;
    double centerY = 0.0;
    double radius = 0.0;
    // The limb points that carried the fit, and their RMS distance from it.
    std::int32_t points = 0;
    double rmsResidual = 0.0;
};

// Rays from the hint's centre find each one's outermost fall from object to
// sky; falls without sky beyond or without the object's full level behind
// are dropped. A Gaussian-blurred step, its inside rising as a ramp from the
// sky (a crescent's terminator) or flat, fitted to the pixels along each
// fall, places the edge at sub-pixel precision and measures its blur; falls
// blurred wider than a limb are dropped, and the others refitted with the
// blur they share. A circle found by consensus among the edges, then refined
// by geometric least squares weighted by edge height and Tukey's biweight,
// leaves the terminator's points out. A second round of rays from that
// circle's centre crosses the limb square and gives the fit.
//
// Empty when no limb can be fitted: too few sharp edges (the object fills
// the frame, or fades without an edge), or no circle that most of them agree
// on over a sixth of a turn.
std::optional<LimbFit> FitLimb(const FrameView& frame, const LimbHint& hint);
