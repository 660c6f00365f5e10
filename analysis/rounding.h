// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>

// Real numbers become integers by rounding to the nearest integer, a tie going
// to the even neighbour (2.5 -> 2, 3.5 -> 4). nearbyint follows the current
// rounding mode, which nothing in this program changes from round-to-nearest-even.
inline std::int64_t RoundHalfEven(double value)
{
    return static_cast<std::int64_t>(std::nearbyint(value));
}

// A centre for a crop that must start on an even column and row: an odd
// rounded coordinate moves up to the next even integer; others stay as they are.
inline double MakeEven(double coordinate)
{
    const std::int64_t r = RoundHalfEven(coordinate);
    return (r % 2 != 0) ? double(r + 1) : coordinate;
}
