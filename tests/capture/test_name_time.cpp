// SPDX-License-Identifier: GPL-3.0-or-later
// Times in capture names: the user's patterns, SharpCap's dated folders,
// and UTC offsets as a user or a sidecar writes them.

#include "capture/local_time.h"
#include "capture/name_time.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

using namespace orbicrop::capture;

namespace {

std::string Iso(std::optional<std::int64_t> ticks)
{
    return ticks ? IsoUtcMillis(*ticks) : "none";
}

}   // namespace

struct PatternRow {
    const char* name;
    const char* path;
    const char* pattern;
    const char* time;
};

void PrintTo(const PatternRow& row, std::ostream* out)
{
    *out << row.name;
}

class NamePattern : public testing::TestWithParam<PatternRow> {};

TEST_P(NamePattern, DatesTheName)
{
    EXPECT_EQ(Iso(TimeByPattern(GetParam().path, GetParam().pattern)), GetParam().time);
}

INSTANTIATE_TEST_SUITE_P(
    Name, NamePattern,
    testing::Values(PatternRow{"Stamp", "Jup_20240301_201024.ser", "%Y%m%d_%H%M%S", "2024-03-01T20:10:24.000"},
                    PatternRow{"ShortYearFolderIgnored", "/2023-01-01/jup_240301-2010.avi", "%y%m%d-%H%M",
                               "2024-03-01T20:10:00.000"},
                    PatternRow{"DayOfYearAndFraction", "mars 2024.061 20h10m24,5s.ser", "%Y.%j %Hh%Mm%S,%fs",
                               "2024-03-01T20:10:24.500"},
                    PatternRow{"LastCenturyShortYear", "99123_2010.ser", "%y%j_%H%M", "1999-05-03T20:10:00.000"},
                    PatternRow{"PercentSign", "50%_20240301_2010.ser", "50%%_%Y%m%d_%H%M", "2024-03-01T20:10:00.000"},
                    PatternRow{"FirstValidPlaceWins", "a_20240230_2010_b_20240301_2011_c_20240302_2012.ser",
                               "%Y%m%d_%H%M", "2024-03-01T20:11:00.000"},
                    PatternRow{"NoDigitJustBefore", "x120240301_2010.ser", "%Y%m%d_%H%M", "none"},
                    PatternRow{"NoDigitJustAfter", "20240301_20101.ser", "%Y%m%d_%H%M", "none"},
                    PatternRow{"HourOutOfRange", "20240301_2510.ser", "%Y%m%d_%H%M", "none"},
                    PatternRow{"ExtensionIsNoName", "20240301_2010.123", "%Y%m%d_%H%M.%S", "none"},
                    PatternRow{"NoPattern", "20240301_2010.ser", "%Y%m%d", "none"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NamePattern, ValidatorTakesOnlyPatternsThatDate)
{
    for (const char* good : {"%Y%m%d_%H%M%S", "%y%j%H", "Jup-%d.%m.%Y %H:%M:%S.%f"})
        EXPECT_TRUE(IsTimePattern(good)) << good;
    for (const char* bad : {"", "%H%M%S", "%Y%m%d", "%Y%m%d_%H%q", "%Y%m%d_%H%", "%Y%Y%m%d%H", "%Y%y%m%d%H", "%Y%j%m%H",
                            "%Y%m%d%H%S", "%Y%m%d%H%M%f"})
        EXPECT_FALSE(IsTimePattern(bad)) << bad;
}

struct NameRow {
    const char* name;
    const char* path;
    const char* pattern;
    std::optional<std::int32_t> offset;
    const char* utc;
};

void PrintTo(const NameRow& row, std::ostream* out)
{
    *out << row.name;
}

class UtcName : public testing::TestWithParam<NameRow> {};

TEST_P(UtcName, ReadsTheNameInUt)
{
    EXPECT_EQ(Iso(UtcTimeInName(GetParam().path, {GetParam().pattern, GetParam().offset})), GetParam().utc);
}

INSTANTIATE_TEST_SUITE_P(
    Name, UtcName,
    testing::Values(
        NameRow{"SharpCapLocal", "/c/SharpCap Captures/2023-11-01/Jupiter/22_28_08.ser", "", 9 * 3600,
                "2023-11-01T13:28:08.000"},
        NameRow{"SharpCapLocalWithoutOffset", "/c/2023-11-01/Jupiter/22_28_08.ser", "", std::nullopt, "none"},
        NameRow{"SharpCapUt", "/c/2023-11-01/Jupiter/22_28_08Z.ser", "", std::nullopt, "2023-11-01T22:28:08.000"},
        NameRow{"SharpCapWithoutDateFolder", "/c/Jupiter/22_28_08.ser", "", 3600, "none"},
        NameRow{"SharpCapTimeMustEndTheNumber", "/c/2023-11-01/22_28_081.ser", "", 3600, "none"},
        NameRow{"WinJuposIsUtWhateverTheOffset", "/x/2024-03-01-2010_4-Jupiter.ser", "", 9 * 3600,
                "2024-03-01T20:10:24.000"},
        NameRow{"PatternAtOffset", "Jup_20240301_211024.ser", "%Y%m%d_%H%M%S", 3600, "2024-03-01T20:10:24.000"},
        NameRow{"PatternWithoutOffsetIsUt", "Jup_20240301_211024.ser", "%Y%m%d_%H%M%S", std::nullopt,
                "2024-03-01T21:10:24.000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UtcName, OffsetsInTheirWrittenForms)
{
    const std::pair<const char*, std::optional<std::int32_t>> rows[] = {
        {"+02:00", 7200},         {"-05:30", -19800},     {"+2", 7200},          {"3", 10800},
        {"+0545", 20700},         {" -14:00 ", -50400},   {"+14:00", 50400},     {"+14:30", std::nullopt},
        {"+05:60", std::nullopt}, {"+1:5", std::nullopt}, {"abc", std::nullopt}, {"", std::nullopt},
        {"+", std::nullopt},      {"+123", std::nullopt}};
    for (const auto& [text, seconds] : rows)
        EXPECT_EQ(ParseUtcOffset(text), seconds) << text;
    EXPECT_EQ(ParseHoursOffset("-5,5"), -19800);
    EXPECT_EQ(ParseHoursOffset("+2.00"), 7200);
    EXPECT_FALSE(ParseHoursOffset("+15.0"));
    EXPECT_EQ(LocalToUt(kUnixEpochTicks, 3600), kUnixEpochTicks - 3600 * kTicksPerSecond);
}
