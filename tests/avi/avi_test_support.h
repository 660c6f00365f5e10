// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"
#include "avi/avi_writer.h"
#include "tests/avi/riff_reader.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace avitest {

// Frame content that differs in every row, column, channel and frame, so a
// flipped, shifted or repeated frame cannot pass for the right one.
OutputBitmap colourFrame(std::int32_t width, std::int32_t height, std::int32_t frame);
std::vector<std::uint8_t> greyPlane(std::int32_t width, std::int32_t height, std::int32_t frame);
// The picture a decoder must return for that frame: packed rows, top row
// first, bgr24 for colour and gray for greyscale.
std::vector<std::uint8_t> expectedPicture(std::int32_t width, std::int32_t height, bool grey, std::int32_t frame);

// Opens the writer (size and file name already set) and adds frames 0..count-1.
void writeClip(TAviWriter& writer, bool grey, std::int32_t count);

// What the container says about itself, after checking (with gtest
// expectations) that it is well formed: every chunk tiles its parent, the
// counts agree with the frame chunks present, and every index entry lands on
// a frame chunk of the right size.
struct ContainerFacts {
    std::size_t riffs = 0;
    std::uint32_t frames = 0;   // frame chunks in the file
    std::uint32_t firstRiffFrames = 0;
    std::uint32_t frameBytes = 0;
    bool hasIdx1 = false;
    bool openDml = false;
    std::uint32_t odmlIndexedFrames = 0;   // frames the ix00 chunks list
    std::uint32_t largestRiff = 0;         // bytes, header included
};
ContainerFacts checkContainer(const RiffFile& file, std::int32_t width, std::int32_t height, bool grey);

// ffprobe's view of the video stream: codec_name, pix_fmt, width, height,
// r_frame_rate, nb_frames, nb_read_packets; "exit" holds the exit status.
std::map<std::string, std::string> probe(const std::string& path);

// Checks the file through the real decoder: ffprobe sees a rawvideo stream
// of the size and pixel format, 30 fps and `frames` frames, and ffmpeg
// decodes frames 0..frames-1 exactly as expectedPicture() describes them.
void expectReadsBack(const std::string& path, std::int32_t width, std::int32_t height, bool grey, std::int32_t frames);

// Every frame as ffmpeg decodes it (bgr24 or gray, packed, top row first).
std::vector<std::uint8_t> decodeAll(const std::string& path, bool grey,
                                    const std::vector<std::string>& inputOptions = {});

}   // namespace avitest
