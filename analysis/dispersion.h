// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <optional>
#include <string>
#include <vector>

// Where one colour channel's picture lies against green's, in pixels at
// sub-pixel precision, picture coordinates: x to the right, y down.
struct ChannelOffset {
    double x = 0.0;
    double y = 0.0;
};

// The atmosphere's dispersion as a colour frame shows it: red and blue
// against green. Low in the sky red sits above blue (red's y negative).
struct Dispersion {
    ChannelOffset red;
    ChannelOffset blue;
};

// Measures the dispersion of colour crops around the disc. The frame handler
// asks it for each of a file's first frames; the implementation lives above
// the analysis layer (it needs an FFT library) and is handed to the handler
// by the file run, as the surface aligner is.
class DispersionMeter {
public:
    virtual ~DispersionMeter() = default;
    // disc is a square crop centred on the object, of a power-of-two side.
    // Nothing when a channel holds no detail to match.
    virtual std::optional<Dispersion> measure(const OutputBitmap& disc) = 0;
};

// The value a file is corrected with: the median of each coordinate over
// its first frames' measurements, which passes over a frame the seeing
// smeared; nothing without measurements.
std::optional<Dispersion> MedianDispersion(const std::vector<Dispersion>& measured);

// "Dispersion: R +0.42, −1.31 px; B −0.36, +1.02 px against G".
std::string DispersionLine(const Dispersion& d);
