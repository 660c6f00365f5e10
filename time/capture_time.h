// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Capture times as SER files keep them: 100 ns ticks since 0001-01-01 00:00
// UTC. The Unix epoch is tick kUnixEpochTicks.
inline constexpr std::int64_t kUnixEpochTicks = 621'355'968'000'000'000;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;

// An ISO 8601 UTC time: "2026-12-08T01:30:45Z", with a space for the T,
// fractions of a second, and "Z", "+00:00" or nothing after it. Empty for
// anything else, another offset included (a capture time is given in UT).
std::optional<std::int64_t> ParseIsoUtc(const std::string& text);

// The capture time in a file's name (directory left out), in the forms
// capture programs write: "YYYY-MM-DD-HHMM_T" (T: tenths of a minute) and
// "YYYYMMDD_HHMMSS" directly followed by "UT" or "UTC" (optionally after _ or -).
// Both are read as UTC. Empty when the name has neither.
std::optional<std::int64_t> CaptureTimeInName(const std::string& path);

// "YYYY-MM-DD-HHMM_T-": the time rounded to the nearest 6 seconds, T its
// tenths of a minute; the prefix derotation software reads from a name.
std::string WinJuposPrefix(std::int64_t utcTicks);
// name with WinJuposPrefix(utcTicks) at its start, in place of one it may
// already begin with (a capture named by its program): one time, not two.
std::string WithWinJuposPrefix(const std::string& name, std::int64_t utcTicks);
// name without the WinJUPOS time it may begin with.
std::string WithoutWinJuposPrefix(const std::string& name);

// "YYYY-MM-DDTHH:MM:SS.fffffffZ", for logs and tracks.
std::string IsoUtc(std::int64_t utcTicks);
// The same to the millisecond, without the zone, as FITS's DATE-OBS takes
// it: "2024-03-01T20:10:24.043" (the fraction cut, not rounded).
std::string IsoUtcMillis(std::int64_t utcTicks);
