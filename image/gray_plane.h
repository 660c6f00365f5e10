// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// A greyscale picture of width x height bytes, one per pixel, rows packed and
// stored TOP-DOWN (the first row is the top of the picture). An empty plane
// stands for "no plane".
using GrayPlane = std::vector<std::uint8_t>;
