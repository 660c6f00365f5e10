// SPDX-License-Identifier: GPL-3.0-or-later
// Capture times: read from ISO text and from the names capture programs
// give, and written as the WinJUPOS prefix.

#include "time/capture_time.h"

#include <gtest/gtest.h>

TEST(CaptureTime, NamesAndIsoTimesAreReadAsUtc)
{
    const auto iso = [](const char* text) { return ParseIsoUtc(text); };
    const std::int64_t t = *iso("2024-03-01T20:10:24Z");
    EXPECT_EQ(t, kUnixEpochTicks + 1709323824LL * kTicksPerSecond);
    EXPECT_EQ(iso("2024-03-01 20:10:24.5+00:00"), t + kTicksPerSecond / 2);
    EXPECT_FALSE(iso("2024-03-01T20:10:24+01:00"));
    EXPECT_FALSE(iso("2024-02-30T20:10:24Z"));
    EXPECT_EQ(CaptureTimeInName("/x/2024-03-01-2010_4-Jupiter.ser"), t);
    EXPECT_EQ(CaptureTimeInName("Jup_20240301_201024UT.avi"), t);
    EXPECT_FALSE(CaptureTimeInName("Jup_20240301_201024.avi"));   // local time, perhaps
    EXPECT_FALSE(CaptureTimeInName("/2024-03-01-2010_4/jup.avi"));
    // Tenths of a minute, to the nearest 6 s, carried into the next day.
    EXPECT_EQ(WinJuposPrefix(t), "2024-03-01-2010_4-");
    EXPECT_EQ(WinJuposPrefix(t + 29'000'000), "2024-03-01-2010_4-");
    EXPECT_EQ(WinJuposPrefix(t + 31'000'000), "2024-03-01-2010_5-");
    EXPECT_EQ(WinJuposPrefix(*iso("2024-12-31T23:59:58Z")), "2025-01-01-0000_0-");
}
