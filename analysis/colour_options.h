// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/levels.h"
#include "image/bayer.h"

#include <optional>

// Red and blue moved onto green against the atmosphere's dispersion: only
// measured and told (Measure), or also corrected in every colour output
// frame (Correct).
enum class AlignRgb { Off, Measure, Correct };

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
};
