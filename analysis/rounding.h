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
