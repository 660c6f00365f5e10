// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/frame_source.h"

// The FFmpeg source also comes as a loadable module, so that a program links
// none of FFmpeg's libraries and pays for loading them only when a file needs
// them (OpenFrameSource loads it with dlopen on first need).
//
// The module exports this one function. It opens path with FfmpegSource and
// hands it over: the caller deletes it, and must keep the module loaded while
// it lives. Throws FrameSourceError like the source's constructor; the
// exception's type is matched by name, so the caller catches it as its own.
extern "C" FrameSource* orbicrop_open_ffmpeg_source(const char* path);

inline constexpr char kFfmpegOpenSymbol[] = "orbicrop_open_ffmpeg_source";
