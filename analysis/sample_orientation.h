// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/native_frame.h"
#include "image/orientation.h"

#include <cstdint>
#include <vector>

// The mosaic at the top-left sample of a width x height picture oriented,
// given the mosaic at its top-left sample before: the red (or cyan) site
// goes where the orientation takes it. Any other layout is returned as it is.
std::int32_t OrientedMosaic(std::int32_t layoutAtTopLeft, std::int32_t width, std::int32_t height,
                            const Orientation& orientation);

// frame's samples oriented in place (scratch is reused memory). A mosaic is
// turned sample by sample and renamed from its new top-left sample, so the
// frame then starts at (0, 0) of its own layout.
void OrientSamples(SampleFrame& frame, const Orientation& orientation, std::vector<std::uint8_t>& scratch);
