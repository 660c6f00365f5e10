// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/input_file.h"

#include <cstdint>
#include <span>

// Whether an AVI's index tells the whole truth about one stream's frames,
// as FFmpeg's demuxer would play them: going through the file in order, the
// chunks of stream `stream` (of `streams`) in the movie lists are exactly
// the chunks at `positions` (each chunk's header), in that order, each a
// whole '##db' or '##dc' chunk of frameBytes; between them lie only chunks
// the demuxer skips (JUNK, OpenDML's 'ix##' indexes, other streams' data);
// after the movie lists only the index, JUNK and further RIFF lists; and the
// file ends where its last RIFF does.
//
// A file that passes can be read by its index with the frames, order and
// count FFmpeg gives; one that does not is left to FFmpeg's decoding. Reads
// one chunk header per chunk; false when any cannot be read.
bool FramesAreExactlyIndexed(const orbicrop::fileio::InputFile& file, int stream, int streams, std::uint32_t frameBytes,
                             std::span<const std::int64_t> positions);
