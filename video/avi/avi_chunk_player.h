// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "video/frame_source.h"
#include "fileio/input_file.h"

#include <cstdint>
#include <vector>

// A stream's time base: a tick lasts num / den seconds.
struct AviTimeBase {
    std::int64_t num = 1;
    std::int64_t den = 1;
};

// Whether a frame at ticks (of timeBase) from the stream's start lies at or
// after stopPosition (100 ns units), compared exactly.
bool AtOrAfter(std::int64_t ticks, AviTimeBase timeBase, std::int64_t stopPosition);
// ticks of timeBase in 100 ns units, rounded to the nearest (halves away from zero).
std::int64_t HundredNanoseconds(std::int64_t ticks, AviTimeBase timeBase);

// The frames of an uncompressed AVI video stream (24-bit BGR rows
// bottom-up, or 8-bit grey rows top-down), read straight from the file by
// its index into buffers reused for the whole run: no packet copy, no
// decoder, no page faults per frame. Whoever builds it has made sure that
// this is exactly what decoding the stream gives.
class AviChunkPlayer {
public:
    struct Entry {
        std::int64_t position;    // of the chunk header, 8 bytes before the pixels
        std::int64_t timestamp;   // in the stream's time base
    };
    static constexpr std::size_t kChunkHeader = 8;   // four-character code, then the size

    // entries are in time order; start is the stream's start time (the
    // first entry's when the stream has none); streamIndex < 100.
    AviChunkPlayer(orbicrop::fileio::InputFile file, std::vector<Entry> entries, std::uint32_t width,
                   std::uint32_t height, bool gray, AviTimeBase timeBase, std::int64_t start, int streamIndex);

    bool gray() const { return m_gray; }
    const std::vector<Entry>& entries() const { return m_entries; }

    // Reads entry's chunk, header included, into chunk (kChunkHeader +
    // frame bytes); false when it cannot be read whole or is not that chunk.
    bool readChunk(const Entry& entry, std::uint8_t* chunk) const;

    // Plays the frames within limits to sink, under the frame source's
    // delivery contract. Frames are read (and measured, when the sink asks)
    // ahead on reading threads of its own, several at once, and handed over
    // in order on the calling thread. Grey frames reach a sink that does not
    // take them spread over three bytes. Whoever built the player checked
    // every chunk, so a frame that can no longer be read (the file shrank
    // or changed) fails the play with FrameSourceError(Decode). A play from
    // frame k starts at entry k; times still count from the stream's start.
    void play(const StreamLimits& limits, FrameSink& sink);

private:
    struct Slot;

    std::size_t firstEntry(const StreamLimits& limits) const;
    std::uint32_t framesWithin(const StreamLimits& limits) const;
    void fill(Slot& slot, std::size_t index, bool spread, const FrameMeasurer* measurer) const;
    FrameView picture(const Slot& slot, bool spread) const;

    orbicrop::fileio::InputFile m_file;
    std::vector<Entry> m_entries;
    std::uint32_t m_width;
    std::uint32_t m_height;
    std::uint32_t m_chunkBytes;
    bool m_gray;
    AviTimeBase m_timeBase;
    std::int64_t m_start;
    std::uint16_t m_streamTag;   // the two digits of the stream number, as stored
};
