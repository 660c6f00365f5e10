// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/file_run.h"

#include <limits>

#include "analysis/frame_handler.h"
#include "support/recording_host.h"
#include "support/synthetic_source.h"

#include <gtest/gtest.h>

namespace {

// A 64 x 48 clip with a bright grey disc centred at (27.5, 23.5).
void Planet(std::int32_t, std::uint8_t* frame)
{
    PaintDisc(frame, 64, 48, 27.5, 23.5, 8, 200, 200, 200);
}
void Empty(std::int32_t, std::uint8_t* frame)
{
    PaintDisc(frame, 64, 48, 0, 0, 0, 8, 8, 8);
}

struct Fixture {
    TProcessingState state;
    RecordingHost host;
    SyntheticSource::Options options;
    SyntheticSource::Painter painter = Planet;
    SyntheticSource::Played played;

    Fixture()
    {
        PrepareToRun(state, 2);
        state.frameLimit = 2;
    }

    std::int32_t run(const std::string& path = "/captures/jupiter.avi")
    {
        return ProcessFile(state, host, path, [this](const std::string&) {
            return std::make_unique<SyntheticSource>(options, painter, &played);
        });
    }
};

}   // namespace

TEST(ProcessFile, TestRunLogsThreeLinesAndShowsThePreview)
{
    Fixture f;
    f.options.frames = 10;
    ASSERT_EQ(f.run(), 0);
    EXPECT_EQ(f.host.log,
              (std::vector<std::string>{"Opening file jupiter.avi", " - 10 frames", " - Input res 64 x 48"}));
    EXPECT_EQ(f.played.frames, 2);
    EXPECT_EQ(f.state.frameLimit, 2);
    EXPECT_TRUE(f.state.testMode);
    EXPECT_FALSE(f.state.busy);
    ASSERT_EQ(f.host.previews.size(), 1u);
    EXPECT_EQ(f.host.previews[0].width(), 32);
    EXPECT_EQ(f.host.previews[0].height(), 32);
    EXPECT_TRUE(f.host.warnings.empty());
    EXPECT_EQ(f.host.eventsPumped, 2);
    EXPECT_EQ(f.host.progressMax, 100);   // a test leaves the gauge alone
}

TEST(ProcessFile, PreviewIsTheWindowAroundTheRoundedCentre)
{
    Fixture f;
    f.painter = [](std::int32_t, std::uint8_t* frame) {
        PaintDisc(frame, 64, 48, 27.5, 23.5, 8, 200, 200, 200);
        frame[(std::size_t(20) * 64 + 14) * 3] = 77;   // a marker: blue of pixel (14, 20)
    };
    ASSERT_EQ(f.run(), 0);
    ASSERT_EQ(f.host.previews.size(), 1u);
    // Centre (27.5, 23.5) rounds to (28, 24); the 32 x 32 window starts at (12, 8).
    EXPECT_EQ(f.host.previews[0].rowFromBottom(20 - 8)[(14 - 12) * 3], 77);
}

TEST(ProcessFile, FrameCountIsRateTimesLengthRoundedHalfToEven)
{
    struct Case {
        double rate;
        double length;
        std::int32_t count;
    };
    for (Case c : {Case{25, 10.5, 262}, Case{29.97, 10, 300}, Case{30, 0, 0}, Case{25, 10.52, 263}}) {
        Fixture f;
        f.options.frameRate = c.rate;
        f.options.length = c.length;
        f.options.frames = 3;
        f.run();
        EXPECT_EQ(f.state.frameCount, c.count) << c.rate << " x " << c.length;
    }
}

TEST(ProcessFile, TestStopsAtTheRoundedStopPositionAndAfterItsFrames)
{
    Fixture f;
    f.options.frames = 250;
    f.options.frameRate = 25;
    ASSERT_EQ(f.run(), 0);
    EXPECT_DOUBLE_EQ(f.played.stopTime, 0.08);
    EXPECT_EQ(f.played.frames, 2);

    // At 30 fps the stop time 2 / 30 is the third frame's time, which a
    // rounding may put just past it: the frame limit still stops after two.
    Fixture g;
    g.options.frames = 300;
    g.options.frameRate = 30;
    ASSERT_EQ(g.run(), 0);
    EXPECT_DOUBLE_EQ(g.played.stopTime, 2.0 / 30.0);
    EXPECT_EQ(g.played.maxFrames, 2);
    EXPECT_EQ(g.played.frames, 2);
    EXPECT_EQ(g.host.previews.size(), 1u);
}

TEST(ProcessFile, OneFrameFileIsTestedOnItsOnlyFrame)
{
    Fixture f;
    f.options.frames = 1;
    ASSERT_EQ(f.run(), 0);
    EXPECT_EQ(f.state.frameLimit, 1);
    EXPECT_EQ(f.played.stopTime, std::numeric_limits<double>::infinity());   // the whole file
    EXPECT_EQ(f.host.previews.size(), 1u);
}

TEST(ProcessFile, TestOfUnknownLengthPlaysTwoFramesAndEndsWithItsPreview)
{
    // An elementary stream: no length in its header.
    Fixture f;
    f.options.frames = 5;
    f.options.length = 0.0;
    ASSERT_EQ(f.run(), 0);
    EXPECT_EQ(f.state.frameCount, 0);
    EXPECT_EQ(f.played.frames, 2);
    EXPECT_EQ(f.host.previews.size(), 1u);

    Fixture one;   // fewer frames than the test asks for: the last one shows the preview
    one.options.frames = 1;
    one.options.length = 0.0;
    ASSERT_EQ(one.run(), 0);
    EXPECT_EQ(one.played.frames, 1);
    EXPECT_EQ(one.host.previews.size(), 1u);
}

TEST(ProcessFile, RefusedWhileBusyOrWithoutAPath)
{
    Fixture f;
    f.state.busy = true;
    f.state.framesSeen = 7;
    f.state.acceptFrames = true;
    EXPECT_EQ(f.run(), kRunRefused);
    EXPECT_EQ(f.state.framesSeen, 7);
    EXPECT_TRUE(f.state.acceptFrames);
    EXPECT_TRUE(f.host.log.empty());
    EXPECT_TRUE(f.state.busy);

    Fixture g;
    EXPECT_EQ(g.run(""), kRunRefused);
    EXPECT_FALSE(g.state.busy);
    EXPECT_TRUE(g.host.log.empty());
}

TEST(ProcessFile, FileWithoutVideoStream)
{
    Fixture f;
    f.options.videoStreams = {false};
    EXPECT_EQ(f.run(), kRunNoVideoStream);
    EXPECT_EQ(f.host.log, (std::vector<std::string>{"Opening file jupiter.avi"}));
    EXPECT_EQ(f.host.messages, (std::vector<std::string>{"Couldn't find a video stream"}));
    EXPECT_FALSE(f.state.busy);
}

TEST(ProcessFile, AudioBeforeVideoSelectsTheVideoStream)
{
    Fixture f;
    f.options.videoStreams = {false, true, true};
    EXPECT_EQ(f.run(), 0);
    EXPECT_EQ(f.host.log.size(), 3u);
}

TEST(ProcessFile, EachFailingStepShowsItsMessage)
{
    struct Case {
        const char* step;
        const char* message;
        std::size_t logLines;
    };
    for (Case c : {Case{"streams", "Couldn't get the output streams!", 1}, Case{"put", "Couldn't put stream 0", 1},
                   Case{"type", "Couldn't get stream media type for stream 0", 1},
                   Case{"grab", "Failed in EnterBitmapGrabMode!", 3}, Case{"duration", "Failed in GetDuration!", 1},
                   Case{"run", "Failed to run the graph!", 3}, Case{"wait", "Failed in WaitForCompletion!", 3}}) {
        Fixture f;
        f.options.failAt = c.step;
        EXPECT_EQ(f.run(), kRunFailed) << c.step;
        EXPECT_EQ(f.host.messages, (std::vector<std::string>{c.message}));
        EXPECT_EQ(f.host.log.size(), c.logLines) << c.step;
        EXPECT_FALSE(f.state.busy);
    }
}

TEST(ProcessFile, NoPlanetEndsTheTestWithTooHigh)
{
    Fixture f;
    f.painter = Empty;
    ASSERT_EQ(f.run(), 0);
    EXPECT_FALSE(f.state.cogValid);
    EXPECT_EQ(f.host.warnings, (std::vector<std::string>{kWarningNoPlanet}));
    EXPECT_TRUE(f.host.previews.empty());
}

TEST(ProcessFile, LowThresholdWithRemoveIncompleteIsTooLow)
{
    // Below the sky level every block counts as planet, so the extent reaches
    // the frame's edges and the test crop is refused.
    Fixture f;
    f.host.optRemoveIncomplete = true;
    f.state.thresholdPercent = -50;
    ASSERT_EQ(f.run(), 0);
    EXPECT_TRUE(f.state.cogValid);
    EXPECT_FALSE(f.state.cropValid);
    EXPECT_EQ(f.host.warnings, (std::vector<std::string>{kWarningCropRefused}));

    Fixture g;   // the same without the option passes
    g.state.thresholdPercent = -50;
    ASSERT_EQ(g.run(), 0);
    EXPECT_TRUE(g.state.cropValid);
    EXPECT_TRUE(g.host.warnings.empty());
}

TEST(ProcessFile, ShowEffectMarksOnlyThePreview)
{
    Fixture f;
    f.host.optShowEffect = true;
    ASSERT_EQ(f.run(), 0);
    ASSERT_EQ(f.host.previews.size(), 1u);
    const OutputBitmap& p = f.host.previews[0];
    // A sky pixel of the preview is brightened in green only.
    EXPECT_EQ(p.rowFromBottom(0)[0], 8);
    EXPECT_EQ(p.rowFromBottom(0)[1], 58);
    EXPECT_EQ(p.rowFromBottom(0)[2], 8);
    // The disc itself is not.
    EXPECT_EQ(p.rowFromBottom(16)[16 * 3 + 1], 200);
}
