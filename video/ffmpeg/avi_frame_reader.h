// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/avi/avi_chunk_player.h"
#include "video/ffmpeg/ffmpeg_handles.h"

#include <memory>
#include <string>

// The frames of an uncompressed AVI video stream (24-bit BGR or 8-bit grey)
// that FFmpeg's demuxer opened, read straight from the file by the index it
// loaded.
//
// Returns a player only when this gives exactly the frames, times and
// pixels that decoding with FFmpeg gives: the decoder itself turns the first
// frame's stored bytes into a picture and every byte must match ours; every
// index entry must be a whole frame inside the file, in time order; the
// index must list every frame the header declares. Otherwise it returns
// nullptr and the caller decodes with FFmpeg as before.
//
// decoder is the opened decoder of stream streamIndex; it is flushed again
// before this returns. width and height are the sink's frame size.
std::unique_ptr<AviChunkPlayer> OpenAviFrameReader(const std::string& path, AVFormatContext& format, int streamIndex,
                                                   AVCodecContext& decoder, int width, int height);
