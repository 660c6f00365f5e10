// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/levels.h"
#include "image/bayer.h"
#include "image/orientation.h"

#include <cstdint>
#include <optional>

// Red and blue moved onto green against the atmosphere's dispersion: only
// measured and told (Measure), or also corrected in every colour output
// frame (Correct).
enum class AlignRgb { Off, Measure, Correct };

// Where a file's capture lies against the meridian flip: no flip given,
// before it, after it (turned), or no capture time to tell.
enum class MeridianTurn { NotAsked, Before, After, NoTime };

// How the colours of a file are read and written, beyond the output mode.
// Taken from the shell once per test and once per file of a batch, as the
// centring choices are. Off by default, and then every result is what it was
// without them.
struct ColourOptions {
    // The mosaic of files that do not name one themselves (raw AVIs, and SER
    // captures whose header says mono); a SER header that names a mosaic wins.
    std::optional<BayerPattern> declaredBayer;
    // Such files' mosaic read from their first frames, when none is declared.
    bool detectBayer = false;
    // Raw mosaics become colour output; the planet is still measured on the
    // raw samples.
    bool debayer = false;
    DemosaicMethod method = DemosaicMethod::EdgeAware;
    AlignRgb alignRgb = AlignRgb::Off;
    // Deeper samples mapped into the 8-bit outputs; none: their top 8 bits.
    std::optional<LevelsChoice> levels;
    // Every output frame is mirrored by flip, then turned clockwise by
    // rotate degrees (0, 90, 180, 270).
    std::int32_t rotate = 0;
    Flip flip = Flip::None;
    // The mount's meridian flip, in minutes after midnight UT: a capture
    // taken after it is turned by a further 180 degrees.
    std::optional<std::int32_t> meridianFlip;
};
