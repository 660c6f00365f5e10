// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "video/ffmpeg/ffmpeg_frame_producer.h"
#include "video/ffmpeg/ffmpeg_handles.h"
#include "fileio/input_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The frames of an uncompressed AVI video stream (24-bit BGR or 8-bit grey),
// read straight from the file by the index FFmpeg's demuxer loaded, into
// buffers reused for the whole run: no packet copy, no decoder, no page
// faults per frame.
//
// open() takes the stream only when this gives exactly the frames, times and
// pixels that decoding with FFmpeg gives: the decoder itself turns the first
// frame's stored bytes into a picture and every byte must match ours; every
// index entry must be a whole frame inside the file, in time order; the
// index must list every frame the header declares. Otherwise it returns
// nullptr and the caller decodes with FFmpeg as before.
class AviFrameReader {
public:
    // decoder is the opened decoder of stream streamIndex; it is flushed
    // again before this returns. width and height are the sink's frame size.
    static std::unique_ptr<AviFrameReader> open(const std::string& path, AVFormatContext& format, int streamIndex,
                                                AVCodecContext& decoder, int width, int height);

    // Grey frames reach only a sink that takes them as they are.
    bool gray() const { return m_gray; }

    // Plays the frames within limits to sink, as FfmpegSource::play does
    // with the decoder. Frames are read (and measured, when the sink asks)
    // ahead on reading threads of its own, several at once, and handed over
    // in order on the calling thread. A frame whose bytes can no longer be
    // read (the file shrank) ends the stream, as the demuxer would.
    void play(const ProducerLimits& limits, FrameSink& sink);

private:
    struct Entry {
        std::int64_t position;    // of the chunk header, 8 bytes before the pixels
        std::int64_t timestamp;   // stream time base
    };

    AviFrameReader(orbicrop::fileio::InputFile file, std::vector<Entry> entries, std::uint32_t chunkBytes, bool gray, int height,
                   AVRational timeBase, std::int64_t start, std::uint16_t streamTag);

    struct Slot;

    // Reads entry's chunk, header included, into chunk (8 + m_chunkBytes
    // bytes); false when it cannot be read whole or is not that chunk.
    bool readChunk(const Entry& entry, std::uint8_t* chunk) const;
    // How many frames from the first lie within limits.
    std::uint32_t framesWithin(const ProducerLimits& limits) const;
    void fill(Slot& slot, std::uint32_t index, const FrameMeasurer* measurer) const;
    FrameView picture(const Slot& slot) const;
    std::int64_t streamStart() const;

    orbicrop::fileio::InputFile m_file;
    std::vector<Entry> m_entries;
    std::uint32_t m_chunkBytes;
    bool m_gray;
    int m_height;
    AVRational m_timeBase;
    std::int64_t m_start;
    std::uint16_t m_streamTag;   // the two digits of the stream number, as stored
};
