// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calibration/hot_pixels.h"
#include "video/frame_source.h"

#include <cstdint>

// Frames a file's own hot and cold pixels are found in: enough that a star
// or a moon has moved off a pixel in most of them, few enough to cost a
// moment.
inline constexpr std::int32_t kDefectVoteFrames = 32;

// The hot and cold pixels of the file source plays, found in its frames
// from firstFrame on (at most kDefectVoteFrames): the pixels that stand out
// from their neighbours of their colour in the same place in most of them.
// mosaic: the file's layout id, or 0.
orbicrop::calibration::DefectMap VoteDefects(FrameSource& source, const VideoInfo& video, std::int32_t mosaic,
                                             std::int32_t firstFrame);
