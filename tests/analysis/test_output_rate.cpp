// SPDX-License-Identifier: GPL-3.0-or-later
// The output's frame rate as the user writes it and as a measured rate is
// kept: the ratios players read.

#include "analysis/output_rate.h"

#include <gtest/gtest.h>

namespace {

struct ParseRow {
    const char* text;
    std::optional<OutputRate> parsed;
};

void PrintTo(const ParseRow& row, std::ostream* os)
{
    *os << '"' << row.text << '"';
}

OutputRate Fixed(std::uint32_t rate, std::uint32_t scale)
{
    return {false, {rate, scale}};
}

class ParsedRate : public testing::TestWithParam<ParseRow> {};

}   // namespace

// What is read is written back as the same choice, so that the settings
// file keeps it.
TEST_P(ParsedRate, IsTheRatioAndReadsBackFromItsText)
{
    const ParseRow row = GetParam();
    const std::optional<OutputRate> parsed = ParseOutputRate(row.text);
    ASSERT_EQ(parsed, row.parsed);
    if (parsed) {
        EXPECT_EQ(ParseOutputRate(OutputRateText(*parsed)), parsed) << OutputRateText(*parsed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParsedRate,
    testing::Values(ParseRow{"source", OutputRate{true, {}}}, ParseRow{"Source", OutputRate{true, {}}},
                    ParseRow{"30", OutputRate{}}, ParseRow{"25", Fixed(25, 1)}, ParseRow{"12.5", Fixed(25, 2)},
                    ParseRow{"59.94", Fixed(60000, 1001)}, ParseRow{"59.940", Fixed(60000, 1001)},
                    ParseRow{"29.97", Fixed(30000, 1001)}, ParseRow{"23.976", Fixed(24000, 1001)},
                    ParseRow{"23.98", Fixed(24000, 1001)}, ParseRow{"119.88", Fixed(120000, 1001)},
                    // Not NTSC: too few decimals to tell, or another rate.
                    ParseRow{"59.9", Fixed(599, 10)}, ParseRow{"59.95", Fixed(1199, 20)}, ParseRow{"1.00", Fixed(1, 1)},
                    ParseRow{"0.001", Fixed(1, 1000)}, ParseRow{"1000", Fixed(1000, 1)}, ParseRow{"0", std::nullopt},
                    ParseRow{"0.0004", std::nullopt}, ParseRow{"1000.001", std::nullopt}, ParseRow{"-25", std::nullopt},
                    ParseRow{"25.", std::nullopt}, ParseRow{".5", std::nullopt}, ParseRow{"2e1", std::nullopt},
                    ParseRow{"25 fps", std::nullopt}, ParseRow{"", std::nullopt},
                    ParseRow{"99999999999999999999", std::nullopt}));

TEST(OutputRate, AMeasuredRateIsKeptAsTheRatioItStandsFor)
{
    struct Row {
        double fps;
        FrameRate kept;
    };
    for (const Row& row : {Row{1e7 / 166833, {60000, 1001}}, Row{1e7 / 333333, {30, 1}}, Row{25.004, {25, 1}},
                           Row{143.7123, {17964, 125}}, Row{59.9, {599, 10}}, Row{1e9, {1000000, 1}}, Row{0.0, {30, 1}},
                           Row{-1.0, {30, 1}}}) {
        EXPECT_EQ(FrameRateNear(row.fps), row.kept) << row.fps;
    }
    EXPECT_EQ(FpsText({60000, 1001}), "59.94");
    EXPECT_EQ(FpsText({24000, 1001}), "23.976");
}
