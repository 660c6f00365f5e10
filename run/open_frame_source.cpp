// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/frame_source.h"

#include "video/ffmpeg/ffmpeg_source.h"
#include "video/ser/ser_source.h"

std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path)
{
    // SER captures by their content, whatever their name: FFmpeg's reader of
    // them swaps the bytes of common 16-bit files and demosaics raw ones.
    if (IsSerFile(path))
        return OpenSerSource(path);
    return std::make_unique<FfmpegSource>(path);
}
