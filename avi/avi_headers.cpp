// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_headers.h"

#include <algorithm>
#include <cassert>

namespace orbicrop::avi {
namespace {

constexpr std::uint32_t kAvihBytes = 56;
constexpr std::uint32_t kStrhBytes = 56;
constexpr std::uint32_t kBitmapInfoHeaderBytes = 40;
constexpr std::uint32_t kSuperIndexBytes = 24 + 16 * kSuperIndexCapacity;
constexpr std::uint32_t kDmlhBytes = 248;   // what FFmpeg and VirtualDub reserve
constexpr std::uint32_t kOdmlListBytes = 4 + 8 + kDmlhBytes;

void chunkHeader(ByteWriter& out, std::uint32_t id, std::uint32_t size)
{
    out.u32(id);
    out.u32(size);
}

// Rounded to the nearest whole number; at 30 frames per second these are
// 33333 and 30 frames' bytes, as every file of ours has always said.
std::uint32_t microSecondsPerFrame(const VideoFormat& format)
{
    const std::uint64_t micro = (std::uint64_t(format.scale) * 1000000 + format.rate / 2) / format.rate;
    return std::uint32_t(std::min<std::uint64_t>(micro, UINT32_MAX));
}

std::uint64_t bytesPerSecond(const VideoFormat& format)
{
    return (std::uint64_t(format.frameBytes()) * format.rate + format.scale / 2) / format.scale;
}

void writeMainHeader(ByteWriter& out, const VideoFormat& format, const HeaderState& state)
{
    chunkHeader(out, riff::kMainHeader, kAvihBytes);
    out.u32(microSecondsPerFrame(format));
    out.u32(std::uint32_t(std::min<std::uint64_t>(bytesPerSecond(format), UINT32_MAX)));
    out.u32(0);   // dwPaddingGranularity
    out.u32(state.hasOldIndex ? kHasIndexFlag : 0);
    out.u32(state.firstRiffFrames);   // AVI 1.0 readers see the first RIFF only
    out.u32(0);                       // dwInitialFrames
    out.u32(1);                       // dwStreams
    out.u32(format.frameBytes());     // dwSuggestedBufferSize
    out.i32(format.width);
    out.i32(format.height);
    out.zeros(16);   // dwReserved[4]
}

// The on-disk part of the stream description; the fields of the in-memory
// record that strh does not store (caps, edit counts, name) are all zero or
// empty for our stream, so nothing is lost.
void writeStreamHeader(ByteWriter& out, const VideoFormat& format, const HeaderState& state)
{
    const std::uint32_t pixels = std::uint32_t(format.width) * std::uint32_t(format.height);
    chunkHeader(out, riff::kStreamHeader, kStrhBytes);
    out.u32(riff::kVideoStream);
    out.u32(format.grayscale ? riff::kGrayCodec : 0);
    out.u32(0);                                        // dwFlags
    out.u16(0);                                        // wPriority
    out.u16(0);                                        // wLanguage
    out.u32(0);                                        // dwInitialFrames
    out.u32(format.scale);                             // dwScale
    out.u32(format.rate);                              // dwRate
    out.u32(0);                                        // dwStart
    out.u32(state.totalFrames);                        // dwLength
    out.u32(format.grayscale ? pixels : pixels * 3);   // dwSuggestedBufferSize
    out.u32(0);                                        // dwQuality
    out.u32(0);                                        // dwSampleSize
    out.i16(0);                                        // rcFrame: left, top, right, bottom
    out.i16(0);
    out.i16(std::int16_t(format.width));
    out.i16(std::int16_t(format.height));
}

void writeStreamFormat(ByteWriter& out, const VideoFormat& format)
{
    chunkHeader(out, riff::kStreamFormat, format.formatBytes());
    out.u32(kBitmapInfoHeaderBytes);
    out.i32(format.width);
    out.i32(format.height);   // positive: RGB is bottom-up
    out.u16(1);               // biPlanes
    out.u16(format.grayscale ? 8 : 24);
    out.u32(format.grayscale ? riff::kGrayCodec : 0);   // BI_RGB for colour
    out.u32(format.frameBytes());                       // biSizeImage
    out.zeros(16);                                      // pels per metre, colours used/important
    if (format.grayscale) {
        // Readers that take an 8-bit stream as paletted still show grey.
        for (int i = 0; i < 256; ++i) {
            const auto level = std::uint8_t(i);
            out.u8(level);
            out.u8(level);
            out.u8(level);
            out.u8(0);
        }
    }
}

void writeSuperIndex(ByteWriter& out, std::span<const SuperIndexEntry> entries)
{
    assert(entries.size() <= kSuperIndexCapacity);
    if (entries.empty()) {
        chunkHeader(out, riff::kJunk, kSuperIndexBytes);
        out.zeros(kSuperIndexBytes);
        return;
    }
    chunkHeader(out, riff::kSuperIndex, kSuperIndexBytes);
    out.u16(4);   // wLongsPerEntry
    out.u8(0);    // bIndexSubType
    out.u8(0);    // bIndexType: AVI_INDEX_OF_INDEXES
    out.u32(std::uint32_t(entries.size()));
    out.u32(riff::kFrame);
    out.zeros(12);
    for (const SuperIndexEntry& e : entries) {
        out.u64(e.offset);
        out.u32(e.size);
        out.u32(e.duration);
    }
    out.zeros(16 * (kSuperIndexCapacity - entries.size()));
}

void writeOdmlList(ByteWriter& out, const HeaderState& state)
{
    if (state.superIndex.empty()) {
        chunkHeader(out, riff::kJunk, kOdmlListBytes);
        out.zeros(kOdmlListBytes);
        return;
    }
    chunkHeader(out, riff::kList, kOdmlListBytes);
    out.u32(riff::kOdmlList);
    chunkHeader(out, riff::kOdmlHeader, kDmlhBytes);
    out.u32(state.totalFrames);
    out.zeros(kDmlhBytes - 4);
}

}   // namespace

void writeHeaders(std::span<std::uint8_t> out, const VideoFormat& format, const HeaderState& state)
{
    assert(out.size() == kHeaderBytes);
    const std::uint32_t strlBytes = 4 + (8 + kStrhBytes) + (8 + format.formatBytes()) + (8 + kSuperIndexBytes);
    const std::uint32_t hdrlBytes = 4 + (8 + kAvihBytes) + (8 + strlBytes) + (8 + kOdmlListBytes);
    const std::uint32_t junkStart = 12 + 8 + hdrlBytes;
    const std::uint32_t junkBytes = std::uint32_t(kFirstMoviListPos) - junkStart - 8;

    ByteWriter w(out);
    chunkHeader(w, riff::kRiff, state.firstRiffSize);
    w.u32(riff::kAvi);
    chunkHeader(w, riff::kList, hdrlBytes);
    w.u32(riff::kHeaderList);
    writeMainHeader(w, format, state);
    chunkHeader(w, riff::kList, strlBytes);
    w.u32(riff::kStreamList);
    writeStreamHeader(w, format, state);
    writeStreamFormat(w, format);
    writeSuperIndex(w, state.superIndex);
    writeOdmlList(w, state);
    assert(w.position() == junkStart);
    chunkHeader(w, riff::kJunk, junkBytes);
    w.zeros(junkBytes);
    chunkHeader(w, riff::kList, state.firstMoviSize);
    w.u32(riff::kMovieList);
    assert(w.position() == kHeaderBytes);
}

void writeAvixHeader(std::span<std::uint8_t> out, std::uint32_t riffSize, std::uint32_t moviSize)
{
    ByteWriter w(out);
    chunkHeader(w, riff::kRiff, riffSize);
    w.u32(riff::kAvix);
    chunkHeader(w, riff::kList, moviSize);
    w.u32(riff::kMovieList);
}

void writeStdIndexHeader(ByteWriter& out, std::uint32_t entries, std::uint64_t baseOffset)
{
    chunkHeader(out, riff::kStdIndex, stdIndexChunkBytes(entries) - std::uint32_t(kChunkHeaderBytes));
    out.u16(2);   // wLongsPerEntry
    out.u8(0);    // bIndexSubType
    out.u8(1);    // bIndexType: AVI_INDEX_OF_CHUNKS
    out.u32(entries);
    out.u32(riff::kFrame);
    out.u64(baseOffset);
    out.u32(0);   // dwReserved3
}

}   // namespace orbicrop::avi
