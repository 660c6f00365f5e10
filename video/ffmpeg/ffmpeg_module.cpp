// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/ffmpeg_module.h"

#include "video/ffmpeg/ffmpeg_source.h"

extern "C" FrameSource* orbicrop_open_ffmpeg_source(const char* path)
{
    return new FfmpegSource(path);
}
