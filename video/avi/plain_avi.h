// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/input_file.h"

#include <cstdint>
#include <optional>
#include <vector>

// What the header and index of a plain uncompressed AVI say, read by our
// own code so that such a file needs no FFmpeg at all (loading its
// libraries costs a short run more than reading the frames).
//
// Plain means what capture programs and FFmpeg write below the OpenDML
// size: one RIFF 'AVI ' chunk holding one video stream and nothing else,
// whose frames are either 24-bit BGR (BI_RGB) with rows of a multiple of
// four bytes stored bottom-up, or 8-bit grey ('Y800') stored top-down,
// starting at time 0, every frame one chunk of the full frame size listed in
// order by an idx1 index that closes the file. For such a file FFmpeg's
// demuxer gives exactly the stream described here (its time base, length,
// frame rate, frame positions and times); anything else, or anything this
// reader is not sure of, is left to FFmpeg.
struct PlainAvi {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool gray = false;
    // The stream's time base, scale / rate seconds a frame, in lowest terms.
    std::int64_t scale = 1;
    std::int64_t rate = 1;
    // Where each frame's chunk starts (its header), in order; frame k lies
    // at time k.
    std::vector<std::int64_t> chunks;
};

// Reads file's header and index. nullopt when the file is not a plain AVI
// or cannot be read; never throws for what the file holds.
std::optional<PlainAvi> ReadPlainAvi(const orbicrop::fileio::InputFile& file);
