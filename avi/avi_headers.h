// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "avi/riff_ids.h"
#include "fileio/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The fixed part of our AVI files: everything from the first byte up to the
// first frame chunk, and the small records that open an 'AVIX' RIFF and an
// OpenDML standard index. All values are little-endian.
//
// File layout (one video stream, stream number 00):
//
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, LIST 'strl' (strh, strf, indx), LIST 'odml' (dmlh)
//     JUNK         pads the header to kHeaderBytes
//     LIST 'movi'  00db frames … [ix00]
//     idx1         frames of this first RIFF
//   RIFF 'AVIX'    (only past the RIFF size limit)
//     LIST 'movi'  00db frames … ix00
//   …
//
// While the file has one RIFF, indx and the odml list are JUNK chunks of the
// same size, so a file below the limit is plain AVI 1.0; they are turned into
// the real records when a second RIFF starts.
namespace orbicrop::avi {

using fileio::ByteWriter;
using fileio::fourcc;

inline constexpr std::uint32_t kKeyFrameFlag = 0x10;   // AVIIF_KEYFRAME
inline constexpr std::uint32_t kHasIndexFlag = 0x10;   // AVIF_HASINDEX
inline constexpr std::size_t kChunkHeaderBytes = 8;

// Room reserved in the super index: one entry per RIFF. At the default RIFF
// size of 1 GiB this covers 256 GiB.
inline constexpr std::size_t kSuperIndexCapacity = 256;

// The header is padded so that the first frame chunk starts at 8 KiB, past
// the region where some players sniff for other formats.
inline constexpr std::size_t kHeaderBytes = 8192;
inline constexpr std::uint64_t kFirstMoviListPos = kHeaderBytes - 12;
inline constexpr std::size_t kAvixHeaderBytes = 24;   // RIFF size 'AVIX' LIST size 'movi'
inline constexpr std::size_t kStdIndexHeaderBytes = 32;

// Frame geometry, pixel format and frame rate of the one video stream.
struct VideoFormat {
    std::int32_t width = 0;    // pixels, > 0
    std::int32_t height = 0;   // pixels, > 0; stored positive (bottom-up RGB, top-down Y800)
    bool grayscale = false;    // Y800 when true, RGB24 otherwise
    // Frames per second as rate / scale, both > 0, as the stream header
    // keeps it: 60000 / 1001 is NTSC's 59.94 exactly.
    std::uint32_t rate = 30;
    std::uint32_t scale = 1;

    // Bytes of one stored row, padded to a multiple of 4 as in a DIB.
    std::uint32_t rowBytes() const
    {
        const std::uint32_t bits = grayscale ? 8u : 24u;
        return ((std::uint32_t(width) * bits + 31u) / 32u) * 4u;
    }
    std::uint32_t frameBytes() const { return rowBytes() * std::uint32_t(height); }
    // Length of the strf block: the 40-byte BITMAPINFOHEADER, plus 256
    // palette entries for the 8-bit format.
    std::uint32_t formatBytes() const { return grayscale ? 40u + 1024u : 40u; }
};

struct SuperIndexEntry {
    std::uint64_t offset = 0;     // absolute position of the ix00 chunk header
    std::uint32_t size = 0;       // ix00 chunk size including its 8-byte header
    std::uint32_t duration = 0;   // frames the ix00 chunk lists
};

// Counts and sizes that change as frames are written.
struct HeaderState {
    std::uint32_t totalFrames = 0;                 // every frame of the file
    std::uint32_t firstRiffFrames = 0;             // frames in the first RIFF
    std::uint32_t firstRiffSize = 0;               // size field of the first RIFF; 0 while unknown
    std::uint32_t firstMoviSize = 0;               // size field of its movi list; 0 while unknown
    bool hasOldIndex = false;                      // an idx1 follows the first movi list
    std::span<const SuperIndexEntry> superIndex;   // empty: plain AVI 1.0
};

inline constexpr std::uint32_t stdIndexChunkBytes(std::uint32_t entries)
{
    return std::uint32_t(kStdIndexHeaderBytes) + 8u * entries;
}
inline constexpr std::uint32_t oldIndexChunkBytes(std::uint32_t entries)
{
    return std::uint32_t(kChunkHeaderBytes) + 16u * entries;
}

// Writes the kHeaderBytes bytes that precede the first frame chunk.
void writeHeaders(std::span<std::uint8_t> out, const VideoFormat& format, const HeaderState& state);

// Writes the kAvixHeaderBytes bytes that open a further RIFF.
void writeAvixHeader(std::span<std::uint8_t> out, std::uint32_t riffSize, std::uint32_t moviSize);

// Writes the kStdIndexHeaderBytes bytes of an ix00 chunk with the given
// number of 8-byte entries; entry offsets are relative to baseOffset.
void writeStdIndexHeader(ByteWriter& out, std::uint32_t entries, std::uint64_t baseOffset);

}   // namespace orbicrop::avi
