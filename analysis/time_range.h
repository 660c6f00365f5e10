// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/native_frame.h"

#include <cstdint>
#include <optional>
#include <string>

// A span of the day in UTC, by its first and its end second after midnight:
// frames captured from first up to, not including, end. An end before the
// first reaches over midnight (23:50:00-00:10:00), as a night's captures do.
// Half-open, so that 20:10:00-20:12:00 and 20:12:00-20:14:00 share no frame.
struct TimeRange {
    std::int32_t first = 0;   // 0..86399
    std::int32_t end = 0;

    bool contains(std::int64_t utcTicks) const;
    bool operator==(const TimeRange&) const = default;
};

// "20:10:00-20:12:00": two times of day HH:MM:SS; nothing for anything else,
// or for a range of no time at all (the same time twice).
std::optional<TimeRange> ParseTimeRange(const std::string& text);
// The range as ParseTimeRange reads it.
std::string TimeRangeText(const TimeRange& range);
// "HH:MM:SS" of a second of the day.
std::string TimeOfDayText(std::int32_t second);
// Minutes after midnight of "HH:MM" (00:00..23:59); nothing when text is no such time.
std::optional<std::int32_t> ParseClockMinutes(const std::string& text);

// "HH:MM" of minutes after midnight.
std::string ClockText(std::int32_t minutes);

// A frame's capture time: its own when the source gave one, else the
// stream's start (streamStart, 100 ns ticks since 0001-01-01 UTC) plus its
// presentation time. A source that hands its samples decides alone: a
// capture without stamps has no time.
std::optional<std::int64_t> CaptureTimeOf(std::optional<std::int64_t> streamStart, const NativeFrame* native,
                                          double sampleTime);
