// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/centring_options.h"

#include <algorithm>
#include <cstdint>

std::int32_t KeepBest::countOf(std::int32_t candidates) const
{
    if (candidates <= 0)
        return 0;
    switch (kind) {
    case Kind::All:
    case Kind::Floor: return candidates;
    case Kind::Count: return std::clamp(value, 1, candidates);
    case Kind::Percent: {
        // Rounded to the nearest frame, ties up: 25 % of 10 frames keeps 3.
        const std::int64_t kept = (std::int64_t(candidates) * value + 50) / 100;
        return std::int32_t(std::clamp<std::int64_t>(kept, 1, candidates));
    }
    }
    return candidates;
}
