// SPDX-License-Identifier: GPL-3.0-or-later
// Which of the shell's choices each kind of run takes into its state, and
// which it keeps from the test before it.

#include "run/run_choices.h"

#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

namespace {

// A state as a test left it: its own threshold, size, first frame, mode and
// time, none of which the choices below give.
TProcessingState TestedState()
{
    TProcessingState state;
    state.currentFile = "/night/jupiter_2024-03-01-2010_5-U.ser";
    state.thresholdPercent = 30;
    state.cropWidth = state.cropHeight = 64;
    state.inputWidth = 641;
    state.inputHeight = 480;
    state.firstFrame = 0;
    state.outputGrayscale = false;
    return state;
}

RunChoices Chosen()
{
    RunChoices chosen;
    chosen.thresholdPosition = -7;
    chosen.widthPosition = 3;
    chosen.heightPosition = 2;
    chosen.grayscale = true;
    chosen.centring.surface = true;
    chosen.colour.debayer = true;
    chosen.frames = {.first = 5, .last = 9};
    chosen.timeRange = TimeRange{10, 20};
    chosen.outputRate.source = true;
    return chosen;
}

}   // namespace

TEST(RunChoices, EachRunTakesItsShareOfTheChoices)
{
    struct Row {
        ChoicesFor run;
        bool threshold;   // and the range's first frame as the first played
        bool size;
        bool mode;
        bool startTime;
    };
    for (const Row& row :
         {Row{ChoicesFor::Test, true, false, false, false}, Row{ChoicesFor::View, true, true, false, false},
          Row{ChoicesFor::Analysis, true, true, true, false}, Row{ChoicesFor::File, false, false, true, true}}) {
        TProcessingState state = TestedState();
        ApplyChoices(state, Chosen(), row.run);
        const int which = int(row.run);
        EXPECT_TRUE(state.centring.surface && state.colour.debayer) << which;
        EXPECT_EQ(state.frames.first, 5) << which;
        EXPECT_EQ(state.timeRange.value_or(TimeRange{}).end, 20) << which;
        EXPECT_TRUE(state.outputRate.source) << which;
        EXPECT_EQ(state.thresholdPercent, row.threshold ? -7.0 : 30.0) << which;
        EXPECT_EQ(state.firstFrame, row.threshold ? 5 : 0) << which;
        EXPECT_EQ(state.cropWidth, row.size ? 48 : 64) << which;
        EXPECT_EQ(state.cropHeight, row.size ? 32 : 64) << which;
        EXPECT_EQ(state.outputGrayscale, row.mode) << which;
        EXPECT_EQ(state.startUtcTicks.has_value(), row.startTime) << which;
    }
}

TEST(RunChoices, AWholeFrameIsTheSizeOfTheFramesLastRead)
{
    TProcessingState state = TestedState();
    RunChoices chosen = Chosen();
    chosen.fullFrame = true;
    ApplyChoices(state, chosen, ChoicesFor::View);
    EXPECT_EQ(state.cropWidth, 640);
    EXPECT_EQ(state.cropHeight, 480);
}

// Frames without stamps of their own are dated by the most trusted source
// there is: a capture program's sidecar, then the name, then --start-time.
TEST(RunChoices, AFileIsDatedBySidecarThenNameThenTheUsersStartTime)
{
    TempDir dir;
    RunChoices chosen;
    chosen.startTime = 42;
    EXPECT_EQ(StartTimeFor(chosen, dir.file("a.avi")), 42);
    const std::string named = dir.file("2024-03-01-2010_5-U-Jup.ser");
    const std::optional<std::int64_t> fromName = StartTimeFor(chosen, named);
    ASSERT_TRUE(fromName.has_value());
    EXPECT_NE(fromName, 42);
    WriteWholeFile(
        dir.file("2024-03-01-2010_5-U-Jup.txt"),
        "FireCapture v2.7.11 Settings\r\nDate=010324\r\nDate_format=ddMMyy\r\nStart(UT)=201012.500\r\nLT=UT\r\n");
    const std::optional<std::int64_t> fromSidecar = StartTimeFor(chosen, named);
    ASSERT_TRUE(fromSidecar.has_value());
    EXPECT_EQ(IsoUtc(*fromSidecar), "2024-03-01T20:10:12.5000000Z");
    EXPECT_EQ(StartTimeFor(RunChoices{}, dir.file("b.avi")), std::nullopt);
}
