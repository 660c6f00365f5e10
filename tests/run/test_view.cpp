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

TEST(ViewAction, ShowsFrameKAsTheTestWouldWithoutTouchingTheTestsResult)
{
    TempDir dir;
    DiscClip clip;   // the centre moves 4 pixels a frame
    const std::string file = dir.file("jup.avi");
    clip.write(file, 12);
    TProcessingState state;
    state.blockSize = kBlockSize;
    RecordingHost host;
    host.optAutoColor = false;
    host.optRemoveIncomplete = true;
    host.widthSteps = host.heightSteps = 2;
    host.chosenFiles = {file};
    ASSERT_TRUE(RunTestAction(state, host));
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
    host.widthSteps = 40;
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
    state.blockSize = kBlockSize;
    RecordingHost host;
    host.optAutoColor = false;
    host.widthSteps = host.heightSteps = 2;
    host.chosenFiles = {file};
    ASSERT_TRUE(RunTestAction(state, host));
    host.frames.clear();
    host.optCentring.reject.cut = true;

    ASSERT_TRUE(RunAnalyseAction(state, host));
    ASSERT_EQ(host.frames.size(), 8u);
    for (const FrameRecord& record : host.frames)
        EXPECT_EQ(record.outcome, record.index == 3 ? FrameRecord::Outcome::Cut : FrameRecord::Outcome::Written)
            << record.index;
    ASSERT_EQ(host.scores.size(), 1u);
    EXPECT_EQ(host.scores[0].size(), 7u);   // the cut frame is never ranked
    EXPECT_EQ(host.progress, 8);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);   // the clip alone
}

}   // namespace
