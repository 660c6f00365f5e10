// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/frame_source.h"
#include "video/ser/ser_frame_reader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// True when the file at path starts with the SER file id "LUCAM-RECORDER",
// whatever its name; false when it does not or cannot be read.
bool IsSerFile(const std::string& path);
// The colour id a SER file's header names (a NativeFrame layout id); nothing
// when the file is no SER capture with a valid header.
std::optional<std::int32_t> SerColourIdOf(const std::string& path);
// The capture times of a SER file's frames (100 ns ticks, top two bits
// masked) as its source gives them to the frames: empty unless every frame
// has one and each is later than the one before, and for any other file.
std::vector<std::int64_t> SerFrameTimesOf(const std::string& path);

// Opens a SER file as a frame source of one video stream.
//
// Frames: the whole frames present (a capture cut short gives fewer than its
// header declares; a partial last frame is left out). Frame rate: from the
// frames' time stamps when every one is later than the one before, otherwise
// 30; length = frames / rate. Frame i has presentation time i / rate.
// Pictures: see SerConverter; byte order and depth: see SerFormatProbe.
// Frames are read and converted a few ahead on a thread of the source's own,
// into a small ring of buffers that the source reuses; the sink calls all
// come on the calling thread, in order. With each picture the sink gets the
// frame's stored samples (its native frame): the depth the data shows, the file's colour
// id, its header and the frame's time stamp (top two bits masked) when the
// stamps are complete and increase; otherwise no frame has a time, and the
// video's notice says why.
//
// Throws FrameSourceError "Couldn't load the file!" for a file that cannot be
// read, a header that is short or invalid, or a file with no whole frame.
// reading is for tests of either way of reading; callers leave it.
std::unique_ptr<FrameSource> OpenSerSource(const std::string& path, SerReading reading = SerReading::Automatic);
