// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbicrop::capture {

// A time read from a capture's path, and whether it is UT or the local time
// of the computer that captured.
struct NameTime {
    std::int64_t ticks;
    bool isUtc;
};

// SharpCap's default capture path, ".../2023-11-01/Jupiter/22_28_08.ser":
// the date from the nearest folder named YYYY-MM-DD, the time of day from
// the name. SharpCap names its folders and files in local time, or in UT
// with a "Z" after the time ("22_28_08Z.ser") when told to.
std::optional<NameTime> SharpCapNameTime(std::string_view path);

// Whether pattern can date a name: its fields are those TimeByPattern knows,
// none twice, with a year, a day (month and day, or day of the year) and an
// hour at least.
bool IsTimePattern(std::string_view pattern);

// The time in a file's name (without its folders and extension) by a
// pattern of strftime's fields: %Y (four digits), %y (two: 69-99 are
// 1969-1999), %m, %d, %j (day of the year, three digits), %H, %M, %S, %f
// (fractions of a second, as many digits as are written) and %% (a percent
// sign); every other character stands for itself. The first place in the
// name where the pattern fits and makes a valid time, with no digit just
// before or after it; empty when there is none or the pattern is no
// pattern (IsTimePattern). The time is as written: the pattern cannot tell
// UT from local time.
std::optional<std::int64_t> TimeByPattern(std::string_view name, std::string_view pattern);

// How the names of a batch are to be read when they are all there is.
struct NameTimeChoices {
    std::string pattern;   // the user's, for TimeByPattern; empty when none
    // The local time the names are written in, seconds east of UT; without
    // it a local time in a name dates nothing.
    std::optional<std::int32_t> utcOffsetSeconds;
};

// The UT of a capture as its path gives it: by the user's pattern (a local
// time at utcOffsetSeconds when one is given, else UT), else the WinJUPOS
// time that FireCapture and others begin names with (UT), else SharpCap's
// folders (UT, or local at utcOffsetSeconds).
std::optional<std::int64_t> UtcTimeInName(const std::string& path, const NameTimeChoices& choices);

}   // namespace orbicrop::capture
