// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"

#include <cstdint>

// Turns the detection setting (percent, nominally -100..100, not clamped) into
// an absolute green level for one decoded frame, relative to the histogram
// peak of its block means: 0 puts the threshold at the peak, 100 at 255,
// -100 at 0. The peak (the most common block brightness, on a planetary frame
// the sky) is handed back for use as the background level.
//
// frame: inputWidth x inputHeight pixels of the state, BGR, rows bottom-up,
// stride inputWidth x 3; only green bytes are read. Reads blockSize,
// inputWidth and inputHeight of the state.
double ComputeThreshold(const TProcessingState& state, const std::uint8_t* frame, std::int32_t& peak, double percent);
