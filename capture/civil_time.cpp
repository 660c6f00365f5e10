// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/civil_time.h"

#include <cstdio>
#include <string>

namespace orbicrop::capture {

std::optional<std::int64_t> CivilTicks(int year, int month, int day, int hour, int minute, int second)
{
    // The ranges keep the text to the fixed widths the ISO reader takes.
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0
        || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour, minute, second);
    return ParseIsoUtc(text);
}

std::optional<std::int64_t> DayOfYearTicks(int year, int dayOfYear)
{
    const auto first = CivilTicks(year, 1, 1);
    const auto last = CivilTicks(year, 12, 31);
    if (!first || !last || dayOfYear < 1)
        return std::nullopt;
    const std::int64_t ticks = *first + std::int64_t{dayOfYear - 1} * kTicksPerDay;
    if (ticks > *last)
        return std::nullopt;
    return ticks;
}

}   // namespace orbicrop::capture
