// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "time/capture_time.h"

#include <cstdint>
#include <optional>

namespace orbicrop::capture {

inline constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

// The ticks of a civil date and time read as UT, by the one reckoning of
// time/ (its ISO reader); empty when a field is out of range, 30 February
// and 24:00 included.
std::optional<std::int64_t> CivilTicks(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The ticks of the midnight that begins day dayOfYear (1 is 1 January).
std::optional<std::int64_t> DayOfYearTicks(int year, int dayOfYear);

// The midnight (UT) that begins the day of ticks.
constexpr std::int64_t MidnightOf(std::int64_t ticks)
{
    const std::int64_t rest = ticks % kTicksPerDay;
    return ticks - (rest < 0 ? rest + kTicksPerDay : rest);
}

}   // namespace orbicrop::capture
