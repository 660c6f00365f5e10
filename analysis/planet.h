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
bool FindPlanet(const TProcessingState& state, std::uint8_t* frame,
                double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY,
                bool showEffect, bool debayerSafe, bool inverse);

// The same search on any frame layout; frames of the state's blockSize.
bool FindPlanet(const TProcessingState& state, const FrameView& frame,
                double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY,
                bool debayerSafe, bool inverse);

// The search on a 24-bit frame that may be marked: with showEffect the
// background blocks are brightened as above. Blocks are valued before any is
// marked, so the result equals that of the read-only search.
bool FindPlanet(const TProcessingState& state, const MarkableFrame& frame,
                double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY,
                bool showEffect, bool debayerSafe, bool inverse);

// A green level plus the show-effect brightening, kept within a byte.
std::uint8_t ClampByte(std::int32_t value);
