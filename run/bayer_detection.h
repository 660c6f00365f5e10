// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "debayer/bayer_detect.h"
#include "video/frame_source.h"

#include <cstdint>
#include <optional>
#include <string>

// Frames a file's mosaic is read from: a few, as the sites' levels summed
// over the object settle within a frame; more only cost time at every test.
inline constexpr std::int32_t kBayerDetectFrames = 8;

// What the first frames (from firstFrame on, at most kBayerDetectFrames) of
// the file source plays tell of a mosaic; nothing when they are colour
// pictures already (distinct blue, green and red) or none plays.
std::optional<BayerEvidence> DetectBayer(FrameSource& source, const VideoInfo& video, std::int32_t firstFrame);

// The log line for the evidence: the pattern found in the data, or that the
// file is processed as mono; with the agreement of the green sites and of
// the other two (levels' ratios, 1: the same level).
std::string BayerDetectionLine(const BayerEvidence& evidence);
