// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The colour sites of a mosaic, and the groups of samples a master is
// measured in. Internal to the calibration folder.

#include "image/bayer.h"

#include <cstdint>

namespace orbicrop::calibration::detail {

enum class SiteColour : std::uint8_t { Red, Green, Blue };

// The colour of the sample at (x, y) of a mosaic whose top-left sample is
// origin's first letter.
inline SiteColour ColourAt(BayerPattern origin, std::int32_t x, std::int32_t y)
{
    switch (PatternAt(origin, x, y)) {
    case BayerPattern::Rggb: return SiteColour::Red;
    case BayerPattern::Bggr: return SiteColour::Blue;
    default: return SiteColour::Green;
    }
}

// A master is measured in groups that each hold one kind of sample: a
// mosaic's four sites of the 2 x 2 cell (its two greens apart, as their
// responses differ on many sensors), an RGB master's planes, else the whole.
inline std::int32_t SiteGroups(std::int32_t planes, bool mosaic)
{
    if (planes == 3) {
        return 3;
    }
    return mosaic ? 4 : 1;
}

inline std::int32_t SiteGroupOf(std::int32_t planes, bool mosaic, std::int32_t x, std::int32_t y, std::int32_t plane)
{
    if (planes == 3) {
        return plane;
    }
    return mosaic ? (y % 2) * 2 + x % 2 : 0;
}

}   // namespace orbicrop::calibration::detail
