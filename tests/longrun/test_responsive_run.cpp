// SPDX-License-Identifier: GPL-3.0-or-later
// A long processing run as the window sees it: the core must hand control
// back (processEvents) after every frame and never hold it long enough for
// the window to stop repainting, through a whole batch file of tens of
// thousands of frames, across the writer's switches to new OpenDML RIFFs,
// and without its memory growing with the length of the run.

#include "run/actions.h"

#include "avi/avi_writer.h"
#include "output/avi_output.h"
#include "support/decoded_video.h"
#include "support/recording_host.h"
#include "support/synthetic_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr std::int32_t kFrames = 20000;
constexpr std::int32_t kWidth = 640;
constexpr std::int32_t kHeight = 480;
constexpr std::int32_t kPathSteps = 16;   // distinct planet positions, cycled
// A window that has not handled its events for this long looks frozen.
constexpr double kLongestGapMs = 100.0;
// Growth of resident memory allowed from early in the run to its end.
constexpr std::size_t kMemoryGrowthBytes = 16u << 20;

std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * std::size_t(::sysconf(_SC_PAGESIZE));
}

// Times the stretches in which the window would not get to its events: from
// the press of the button to the first processEvents, between two of them,
// and from the last one to the end of the action.
class TimingHost : public RecordingHost {
public:
    void start()
    {
        eventsPumped = 0;
        m_gaps.clear();
        m_gaps.reserve(std::size_t(kFrames) + 2);
        m_last = Clock::now();
    }
    void finish() { lap(); }

    void processEvents() override
    {
        ++eventsPumped;
        lap();
        if (eventsPumped == 1000)
            residentEarly = ResidentBytes();
        if (eventsPumped == kFrames)
            residentLate = ResidentBytes();
    }
    // Keeps no per-frame records: a recorder that grows would hide the core's growth.
    void frameAnalysed(const FrameRecord& record) override
    {
        if (record.outcome == FrameRecord::Outcome::Written)
            ++written;
    }

    std::vector<double> sortedGaps() const
    {
        std::vector<double> gaps = m_gaps;
        std::sort(gaps.begin(), gaps.end());
        return gaps;
    }

    std::int32_t written = 0;
    std::size_t residentEarly = 0;
    std::size_t residentLate = 0;

private:
    void lap()
    {
        const auto now = Clock::now();
        m_gaps.push_back(Millis(now - m_last).count());
        m_last = now;
    }

    Clock::time_point m_last;
    std::vector<double> m_gaps;
};

// A drifting planet, painted once per position and copied into each frame,
// so that the source costs little next to the work being timed.
std::vector<std::vector<std::uint8_t>> PaintPath()
{
    std::vector<std::vector<std::uint8_t>> frames(kPathSteps);
    for (std::int32_t i = 0; i < kPathSteps; ++i) {
        frames[std::size_t(i)].resize(std::size_t(kWidth) * kHeight * 3);
        PaintDisc(frames[std::size_t(i)].data(), kWidth, kHeight, 303.5 + 4 * i, 219.5 + 2 * i, 40, 180, 200, 220);
    }
    return frames;
}

}   // namespace

TEST(LongRun, WindowHearsFromEveryFrameOfALongFile)
{
    const auto path = PaintPath();
    TempDir dir;
    TProcessingState state;
    state.blockSize = kBlockSize;
    TAviWriter writer(0, 0);
    // Many RIFF switches in one run instead of one per GiB: each closes an
    // index, the step most likely to stall.
    writer.setRiffSizeLimit(8u << 20);
    AviOutput output(writer);
    TimingHost host;
    host.chosen.widthPosition = 4;
    host.chosen.heightPosition = 4;
    host.chosenFiles = {dir.file("long.avi")};
    UpdateCropSize(state, host.chosen.widthPosition, host.chosen.heightPosition);

    const SourceOpener open = [&path](const std::string&) -> std::unique_ptr<FrameSource> {
        SyntheticSource::Options options;
        options.width = kWidth;
        options.height = kHeight;
        options.frames = kFrames;
        options.frameRate = 25.0;
        return std::make_unique<SyntheticSource>(options, [&path](std::int32_t i, std::uint8_t* frame) {
            const auto& picture = path[std::size_t(i % kPathSteps)];
            std::copy(picture.begin(), picture.end(), frame);
        });
    };
    ASSERT_TRUE(RunTestAction(state, host, open));

    host.start();
    const auto began = Clock::now();
    const BatchResult result = RunProcessAction(state, host, output, open);
    host.finish();
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

    EXPECT_EQ(result.completed, 1);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{});
    EXPECT_EQ(host.eventsPumped, kFrames);
    EXPECT_EQ(host.written, kFrames);
    EXPECT_EQ(host.progress, kFrames);

    const std::vector<double> gaps = host.sortedGaps();
    ASSERT_EQ(gaps.size(), std::size_t(kFrames) + 1);
    const double median = gaps[gaps.size() / 2];
    const double p999 = gaps[gaps.size() * 999 / 1000];
    std::printf("%d frames of %dx%d in %.1f s: gap median %.2f ms, 99.9%% %.2f ms, longest %.2f ms; "
                "resident %.1f MiB at frame 1000, %.1f MiB at the end\n",
                kFrames, kWidth, kHeight, seconds, median, p999, gaps.back(), double(host.residentEarly) / (1 << 20),
                double(host.residentLate) / (1 << 20));
    EXPECT_LT(gaps.back(), kLongestGapMs);
    ASSERT_GT(host.residentEarly, 0u);
    EXPECT_LT(host.residentLate, host.residentEarly + kMemoryGrowthBytes);

    const ProbedStream out = Probe(dir.file("long_orbic.avi"), dir.path());
    EXPECT_EQ(out.frames, kFrames);
    EXPECT_EQ(out.width, 64);
    EXPECT_EQ(out.height, 64);
}
