// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/source_rate.h"

#include "analysis/frame_output.h"
#include "capture/sidecar.h"
#include "time/capture_time.h"
#include "video/ser/ser_source.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The median of the intervals between stamps that each come later than the
// one before; nothing for fewer than two or for any that does not.
std::optional<double> MedianInterval(std::span<const std::int64_t> stamps)
{
    if (stamps.size() < 2)
        return std::nullopt;
    std::vector<std::int64_t> intervals;
    intervals.reserve(stamps.size() - 1);
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        if (stamps[i] <= stamps[i - 1])
            return std::nullopt;
        // Unsigned: the difference of any pair in increasing order is exact.
        intervals.push_back(std::int64_t(std::uint64_t(stamps[i]) - std::uint64_t(stamps[i - 1])));
    }
    const auto middle = intervals.begin() + std::ptrdiff_t(intervals.size() / 2);
    std::ranges::nth_element(intervals, middle);
    if (intervals.size() % 2 != 0)
        return double(*middle);
    const std::int64_t below = *std::max_element(intervals.begin(), middle);
    return (double(below) + double(*middle)) / 2.0;
}

bool Usable(double fps)
{
    return std::isfinite(fps) && fps > 0.0;
}

const char* OriginText(RateOrigin origin)
{
    switch (origin) {
    case RateOrigin::TimeStamps: return "the capture's time stamps";
    case RateOrigin::CaptureProgram: return "the capture program's record";
    case RateOrigin::Stream: return "the stream's rate";
    case RateOrigin::Default: break;
    }
    return "no rate of its own";
}

}   // namespace

SourceRate SourceFrameRate(std::span<const std::int64_t> stamps, std::optional<double> captureProgramFps,
                           double streamFps)
{
    if (const auto interval = MedianInterval(stamps))
        return {double(kTicksPerSecond) / *interval, RateOrigin::TimeStamps};
    if (captureProgramFps && Usable(*captureProgramFps))
        return {*captureProgramFps, RateOrigin::CaptureProgram};
    if (Usable(streamFps))
        return {streamFps, RateOrigin::Stream};
    return {};
}

void TakeOutputRate(TProcessingState& state, RunHost& host, const std::string& path, const VideoInfo& video)
{
    if (state.testMode || state.aviWriter == nullptr)
        return;
    FrameRate rate = state.outputRate.fixed;
    std::string why = "as chosen";
    if (state.outputRate.source) {
        // Read only when asked for: the default run opens nothing more.
        const std::optional<orbicrop::capture::CaptureFacts> sidecar = orbicrop::capture::SidecarFacts(path);
        const SourceRate source =
            SourceFrameRate(SerFrameTimesOf(path), sidecar ? sidecar->averageFps : std::nullopt, video.frameRate);
        rate = FrameRateNear(source.fps);
        why = OriginText(source.origin);
    }
    if (state.aviWriter->playAt(rate) && rate != FrameRate{})
        host.appendLog(" - Output plays at " + FpsText(rate) + " fps (" + why + ")", true);
}
