// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stills/still_frame.h"
#include "video/frame_source.h"

#include <memory>
#include <string>
#include <vector>

// Reads one still image into frame (see orbicrop_read_still): 0, or non-zero
// with the reason in error.
using StillReader = decltype(&orbicrop_read_still);

// Opens a capture saved as still images, one file a frame (frames: their
// paths in frame order, as FrameSequenceFiles lists them), as a frame source
// of one video stream, read through the still-image module (loaded on first
// need) or, for tests, through read.
//
// The first frame sets the capture's size, its samples (8-bit, 16-bit or
// float, mono, RGB or a Bayer mosaic named in the file) and how floats are
// scaled; depth and times are settled from frames spread over the capture,
// as for a SER file: the depth is the bit width of the largest sample seen.
// Each frame's time is its file's own (FITS DATE-OBS, TIFF DateTime, PNG
// Creation Time) when the first frame's time is finer than a second and the
// times seen increase; a whole-second time (TIFF's) dates the first frame
// alone. The rate is the times' over the capture, else 30 frames a second.
//
// Frames are read, converted and measured ahead on reading threads, as SER
// frames are. A frame whose file is of another size, colour or kind of
// sample than the first, or cannot be read, fails the play (Decode) with a
// reason that names the file; one found at opening fails it (Load).
std::unique_ptr<FrameSource> OpenFrameFolderSource(std::vector<std::string> frames, StillReader read = nullptr);
