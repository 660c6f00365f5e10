// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/frame_view.h"
#include "analysis/processing_state.h"

#include <cstdint>

// Where the planet is in one decoded frame and how far it reaches.
//
// Every complete analysis block is a planet block when its green sum (with
// inverse: its darkness, area x 255 - sum) is strictly above threshold x area.
// The centre is the mean of the planet block centres weighted by their
// brightness above the histogram peak; the radii run from that centre to the
// farther outermost planet block centre on each axis. Coordinates are pixels,
// x from the left edge, y from the first stored row (the bottom of the picture).
//
// With debayerSafe an odd rounded coordinate is moved up to the next even
// integer, so crops start on even columns and rows. With showEffect the green
// bytes of background blocks are brightened by 50 in place (the frame is the
// only thing written), which the preview then shows.
//
// Returns false when no planet block carried weight; the centre is then
// (0, 0) and the radii come from the extents as they stand.
bool FindPlanet(const TProcessingState& state, std::uint8_t* frame, double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY, bool showEffect, bool debayerSafe, bool inverse);

// The same search on any frame layout; frames of the state's blockSize.
bool FindPlanet(const TProcessingState& state, const FrameView& frame, double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY, bool debayerSafe, bool inverse);

// The search on a 24-bit frame that may be marked: with showEffect the
// background blocks are brightened as above. Blocks are valued before any is
// marked, so the result equals that of the read-only search.
bool FindPlanet(const TProcessingState& state, const MarkableFrame& frame, double& centerX, double& centerY,
                double percent, double& radiusX, double& radiusY, bool showEffect, bool debayerSafe, bool inverse);

// Every choice of one search, for callers that pass them on as they are.
struct PlanetSearch {
    double percent = 0.0;
    bool debayerSafe = false;
    bool inverse = false;
    // Only the largest 4-connected group of planet blocks (by block count; of
    // equal groups the first in visiting order) gives the centre and radii.
    bool largestObject = false;

    bool operator==(const PlanetSearch&) const = default;
};

struct PlanetFix {
    bool found = false;
    double centerX = 0.0;
    double centerY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
    // The measured planet blocks reach two opposite borders of the block
    // grid: the object fills the frame, and its centre of gravity moves with
    // whatever the threshold lets in at the edges.
    bool fillsFrame = false;
    // The planet blocks reach a border of the block grid: the object may be
    // cut by the frame's edge.
    bool touchesBorder = false;
    // The planet blocks' total weight: their brightness (with inverse, their
    // darkness) above the histogram peak, in levels x pixels.
    double brightness = 0.0;
    // Centred on the limb: the fitted disc's radius (the centre is the
    // disc's); limbMissing when the object was found but no limb fitted,
    // and then found is false.
    double limbRadius = 0.0;
    bool limbMissing = false;
};

// The search with the choices above. With mark, background blocks are
// brightened in green as with showEffect, and with largestObject the planet
// blocks of the ignored groups are tinted red (green and blue halved), so the
// preview tells them from the background.
PlanetFix SearchPlanet(const TProcessingState& state, const FrameView& frame, const MarkableFrame* mark,
                       const PlanetSearch& search);

// Whether the planet blocks that carry weight (brighter than the sky) reach
// two opposite borders of the block grid: the object fills the frame, and its
// centre of gravity moves with whatever the threshold lets in at the edges.
// Blocks of a negative setting that weigh nothing (the sky) do not count.
bool PlanetFillsFrame(const TProcessingState& state, const FrameView& frame, double percent);

// A green level plus the show-effect brightening, kept within a byte.
std::uint8_t ClampByte(std::int32_t value);
