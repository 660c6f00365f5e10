// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "run/run_host.h"
#include "video/frame_source.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Where a source's own frame rate was found.
enum class RateOrigin { TimeStamps, CaptureProgram, Stream, Default };

struct SourceRate {
    double fps = 30.0;
    RateOrigin origin = RateOrigin::Default;
};

// The rate a capture's frames were taken at, from the best witness there
// is, in this order:
// 1. the median interval between its frames' time stamps (100 ns ticks),
//    when there are two or more and each is later than the one before: a
//    frame the camera dropped or the disk delayed moves a median nowhere,
//    where it would pull an average;
// 2. the average a capture program wrote down beside the capture (its own
//    record of the run), when it is above 0;
// 3. the rate the stream declares (VideoInfo::frameRate), when above 0;
// 4. 30 frames per second.
SourceRate SourceFrameRate(std::span<const std::int64_t> stamps, std::optional<double> captureProgramFps,
                           double streamFps);

// Tells the output of a processing run the rate it plays at by the state's
// choice (outputRate), for the file at path (a join's first) whose video
// the source described, and logs it once when the output keeps a rate (an
// AVI's) and it is not 30. A test, and a run without an output, are left
// alone.
void TakeOutputRate(TProcessingState& state, RunHost& host, const std::string& path, const VideoInfo& video);
