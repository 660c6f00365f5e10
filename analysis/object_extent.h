// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/dispersion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// How many frames at the start of a run tell the object's size: a test's
// two, and the frames a batch looks at before a file's output opens when its
// size or the disc's radius comes from them.
constexpr std::int32_t kFirstFrames = 5;

struct PlanetFix;

// What the first frames of a run showed of the object. The planet blocks'
// extent reaches half a block beyond the outermost block centres; centred
// on the limb, the output must hold the whole disc around its centre, not
// only the lit part.
struct FirstFrames {
    double width = 0.0;   // the largest extent found, in pixels; 0 until one is
    double height = 0.0;
    std::vector<double> limbRadii;         // the disc radii fitted, in frame order
    bool cutTold = false;                  // the run has said the output cuts the object
    std::vector<Dispersion> dispersions;   // red and blue against green, when asked for

    void add(const PlanetFix& fix, std::int32_t blockSize);
    bool any() const { return width > 0.0 && height > 0.0; }
    // The radius the rest of a file is fitted with: the median of those
    // fitted freely, which steadies the centre on a crescent.
    std::optional<double> heldLimbRadius() const;
};

// The output size that holds an object of the extent with a quarter to
// spare, in steps of 16, from 32 to 4096, and the log's line for it.
std::pair<std::int32_t, std::int32_t> SizeFromObject(double width, double height);
std::string SizeFromObjectLine(std::int32_t width, std::int32_t height);

// The log's line for the disc radius a file is centred with.
std::string LimbRadiusLine(double radius);

// The words for an object larger than the output, when it is.
std::optional<std::string> CutWarning(const FirstFrames& first, std::int32_t cropWidth, std::int32_t cropHeight);
