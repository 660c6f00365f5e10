// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/time_range.h"

#include <gtest/gtest.h>

namespace {

// 2022-09-28 00:00:00 UTC in 100 ns ticks since 0001-01-01, plus seconds.
std::int64_t At(double seconds)
{
    return 637999200000000000LL + std::int64_t(seconds * 1e7);
}

}   // namespace

// Ranges are half-open, and one whose end comes first reaches over midnight;
// a range of no time and impossible times are not ranges.
TEST(TimeRange, ParsesHalfOpenRangesAlsoOverMidnight)
{
    const auto evening = ParseTimeRange("20:10:00-20:12:00");
    ASSERT_TRUE(evening);
    EXPECT_TRUE(evening->contains(At(20 * 3600 + 600)));
    EXPECT_TRUE(evening->contains(At(20 * 3600 + 719.9)));
    EXPECT_FALSE(evening->contains(At(20 * 3600 + 720)));
    EXPECT_FALSE(evening->contains(At(20 * 3600 + 599.9)));
    EXPECT_EQ(TimeRangeText(*evening), "20:10:00-20:12:00");

    const auto night = ParseTimeRange("23:50:00-00:10:00");
    ASSERT_TRUE(night);
    EXPECT_TRUE(night->contains(At(23 * 3600 + 3599)));
    EXPECT_TRUE(night->contains(At(86400 + 300)));
    EXPECT_FALSE(night->contains(At(12 * 3600)));

    for (const char* bad : {"20:10:00-20:10:00", "24:00:00-01:00:00", "20:60:00-21:00:00", "20:10-20:12",
                            "20:10:00 20:12:00", "20:10:00-20:12:00Z"})
        EXPECT_FALSE(ParseTimeRange(bad)) << bad;
}
