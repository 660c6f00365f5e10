// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/frame_source.h"

#include <memory>
#include <string>

// Opens path with the frame source that reads it, chosen by content: SER
// captures and plain uncompressed AVIs by our own readers, a folder or glob
// of numbered still images (FrameSequenceFiles) through the still-image
// module, anything else through the FFmpeg module, each loaded on first need. Throws
// FrameSourceError(Load) when no source can open it; when the module cannot
// be loaded, or path is neither a regular file nor a block device (a named
// pipe, a folder), the error's reason says why, before any reader opens it.
std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path);
