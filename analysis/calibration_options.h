// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// Where hot and cold pixels are found: not at all, in the master dark, or in
// the frames themselves (pixels that stand out in the same place in most
// frames).
enum class HotPixels : std::uint8_t { Off, Dark, Auto };

// The masters every frame is calibrated with, by their files (FITS); empty:
// none. Off by default: nothing is calibrated.
struct CalibrationOptions {
    std::string dark;
    std::string flat;
    std::string bias;
    HotPixels hotPixels = HotPixels::Off;

    bool any() const { return !dark.empty() || !flat.empty() || !bias.empty() || hotPixels != HotPixels::Off; }
    bool operator==(const CalibrationOptions&) const = default;
};

// The masters as loaded, once for a batch (run/calibration_setup.h).
struct LoadedMasters;
