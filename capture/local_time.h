// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orbicrop::capture {

// Seconds east of UT (local = UT + offset) from "+HH:MM", "-05:30", "+H",
// "+HHMM" or unsigned hours ("2" is +2 h); empty for anything else and
// outside -14:00..+14:00, the range of the world's zones.
std::optional<std::int32_t> ParseUtcOffset(std::string_view text);

// An offset in decimal hours as the sidecars write it ("+2.00", "-5,5",
// "5.75"), or in any form ParseUtcOffset takes; to the nearest minute.
std::optional<std::int32_t> ParseHoursOffset(std::string_view text);

// The UT of a local time, both in capture ticks.
constexpr std::int64_t LocalToUt(std::int64_t localTicks, std::int32_t utcOffsetSeconds)
{
    return localTicks - std::int64_t{utcOffsetSeconds} * 10'000'000;
}

}   // namespace orbicrop::capture
