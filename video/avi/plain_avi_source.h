// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/frame_source.h"

#include <memory>
#include <string>

// A frame source for plain uncompressed AVIs (see PlainAvi), read by our own
// code: the same description, frames, times and pixels that FFmpeg gives for
// them, without loading FFmpeg. nullptr when path is not such a file (or
// cannot be read), for FFmpeg to open; never throws for what the file holds.
std::unique_ptr<FrameSource> OpenPlainAviSource(const std::string& path);
