// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/time_range.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int32_t kSecondsPerDay = 86'400;

// "HH:MM:SS" from text[at], at most 23:59:59.
std::optional<std::int32_t> SecondOfDay(const std::string& text, std::size_t at)
{
    if (text.size() < at + 8 || text[at + 2] != ':' || text[at + 5] != ':')
        return std::nullopt;
    std::int32_t parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        const char high = text[at + 3 * i];
        const char low = text[at + 3 * i + 1];
        if (high < '0' || high > '9' || low < '0' || low > '9')
            return std::nullopt;
        parts[i] = (high - '0') * 10 + (low - '0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

}   // namespace

bool TimeRange::contains(std::int64_t utcTicks) const
{
    const std::int64_t inDay = utcTicks % (kSecondsPerDay * kTicksPerSecond);
    const std::int64_t from = std::int64_t(first) * kTicksPerSecond;
    const std::int64_t to = std::int64_t(end) * kTicksPerSecond;
    if (first <= end)
        return inDay >= from && inDay < to;
    return inDay >= from || inDay < to;   // over midnight
}

std::optional<TimeRange> ParseTimeRange(const std::string& text)
{
    if (text.size() != 17 || text[8] != '-')
        return std::nullopt;
    const auto first = SecondOfDay(text, 0);
    const auto end = SecondOfDay(text, 9);
    if (!first || !end || *first == *end)
        return std::nullopt;
    return TimeRange{*first, *end};
}

std::string TimeOfDayText(std::int32_t second)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600 % 24, second / 60 % 60, second % 60);
    return text;
}

std::string TimeRangeText(const TimeRange& range)
{
    return TimeOfDayText(range.first) + "-" + TimeOfDayText(range.end);
}

std::optional<std::int64_t> CaptureTimeOf(std::optional<std::int64_t> streamStart, const NativeFrame* native,
                                          double sampleTime)
{
    if (native != nullptr)
        return native->utcTicks;
    if (!streamStart || !std::isfinite(sampleTime))
        return std::nullopt;
    return *streamStart + std::int64_t(std::llround(sampleTime * 1e7));
}

std::optional<std::int32_t> ParseClockMinutes(const std::string& text)
{
    const auto digit = [&](std::size_t i) { return text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -100; };
    if (text.size() != 5 || text[2] != ':')
        return std::nullopt;
    const std::int32_t hours = digit(0) * 10 + digit(1);
    const std::int32_t minutes = digit(3) * 10 + digit(4);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return std::nullopt;
    return hours * 60 + minutes;
}

std::string ClockText(std::int32_t minutes)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", int(minutes / 60 % 24), int(minutes % 60));
    return text;
}
