// SPDX-License-Identifier: GPL-3.0-or-later
// Viewing one frame of a file by its number: measured as a test measures,
// shown with what was found in it, and nothing else changed.

#include "run/actions.h"

#include "support/disc_video.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace {

// The file opened and tested at a 32 x 32 output, as a shell leaves it
// before it views or analyses.
bool Tested(const std::string& file, TProcessingState& state, RecordingHost& host)
{
    state.blockSize = kBlockSize;
    host.chosen.autoColor = false;
    host.chosen.widthPosition = host.chosen.heightPosition = 2;
    host.chosenFiles = {file};
    return RunTestAction(state, host);
}

TEST(ViewAction, ShowsFrameKAsTheTestWouldWithoutTouchingTheTestsResult)
{
    TempDir dir;
    DiscClip clip;   // the centre moves 4 pixels a frame
    const std::string file = dir.file("jup.avi");
    clip.write(file, 12);
    TProcessingState state;
    RecordingHost host;
    host.optRemoveIncomplete = true;
    ASSERT_TRUE(Tested(file, state, host));
    const auto logged = host.log.size();
    const auto previews = host.previews.size();

    ASSERT_TRUE(RunViewAction(state, host, 9));
    double cx = 0, cy = 0;
    clip.path(9, cx, cy);
    ASSERT_EQ(host.overlays.size(), 2u);   // the test's, then the view's
    const FrameOverlay& seen = host.overlays.back();
    EXPECT_TRUE(seen.found);
    EXPECT_DOUBLE_EQ(seen.centerX, cx);
    EXPECT_DOUBLE_EQ(seen.centerY, cy);
    EXPECT_EQ(seen.cropWidth, 32);
    EXPECT_EQ(seen.cropLeft, std::int32_t(std::lround(cx)) - 16);
    EXPECT_EQ(seen.outcome, "");
    EXPECT_EQ(host.frameSizes.back(), std::make_pair(clip.width, clip.height));
    EXPECT_EQ(host.previews.size(), previews + 1);
    EXPECT_EQ(host.log.size(), logged);   // a view logs nothing
    EXPECT_TRUE(state.cogValid && state.cropValid);

    // A frame whose window reaches the border says so; one past the end is
    // no frame.
    host.chosen.widthPosition = 40;
    ASSERT_TRUE(RunViewAction(state, host, 0));
    EXPECT_EQ(host.overlays.back().outcome, "incomplete");
    EXPECT_FALSE(RunViewAction(state, host, 12));
}

}   // namespace

namespace {

// An analysis reports every frame with the outcome a batch gives it, and the
// scores, and writes nothing.
TEST(AnalyseAction, ReportsEveryFrameAndTheScoresAndWritesNothing)
{
    TempDir dir;
    DiscClip clip;
    clip.path = [](std::int32_t frame, double& cx, double& cy) {
        cx = frame == 3 ? 2.0 : 51.5 + 4 * frame;   // frame 3 cut by the border
        cy = 59.5;
    };
    const std::string file = dir.file("jup.avi");
    clip.write(file, 8);
    TProcessingState state;
    RecordingHost host;
    ASSERT_TRUE(Tested(file, state, host));
    host.frames.clear();
    host.chosen.centring.reject.cut = true;

    ASSERT_TRUE(RunAnalyseAction(state, host));
    ASSERT_EQ(host.frames.size(), 8u);
    for (const FrameRecord& record : host.frames)
        EXPECT_EQ(record.outcome, record.index == 3 ? FrameRecord::Outcome::Cut : FrameRecord::Outcome::Written)
            << record.index;
    ASSERT_EQ(host.scores.size(), 1u);
    EXPECT_EQ(host.scores[0].size(), 7u);   // the cut frame is never ranked
    EXPECT_EQ(host.progress, 8);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);   // the clip alone

    // A stop the shell sets in its state while it handles its events ends
    // the analysis there, and the shell's state is left as it was.
    host.frames.clear();
    // The scores take a measuring pass over the 8 frames first; the stop
    // comes in the third frame of the second.
    host.onEvents = [&state](std::int32_t pumped) {
        if (pumped >= 8 + 3)
            state.stopRequested = true;
    };
    host.eventsPumped = 0;
    RunAnalyseAction(state, host);
    EXPECT_LT(host.frames.size(), 8u);
    EXPECT_FALSE(host.frames.empty());
    EXPECT_TRUE(state.cogValid && state.cropValid);
}

}   // namespace
