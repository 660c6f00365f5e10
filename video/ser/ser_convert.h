// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "image/frame_view.h"
#include "video/ser/ser_samples.h"

#include <cstdint>
#include <optional>
#include <vector>

// Turns SER frames into the 24-bit picture a frame sink takes: blue, green,
// red bytes, rows bottom-up (SER stores them top-down), stride width x 3.
//
// Mono and mosaic samples become grey (blue = green = red = sample), so a
// raw colour capture stays a raw mosaic that can be debayered later. RGB and
// BGR samples go to their own bytes. Samples deeper than 8 bits lose their
// low depth - 8 bits, shallower ones are shifted up to fill the byte; a
// sample beyond the depth (a later frame brighter than the first ones that
// settled it) saturates at 255.
//
// Holds one row of scratch, so converting allocates nothing; one converter
// per thread. Two converters may fill disjoint row ranges of one picture at
// the same time.
class SerConverter {
public:
    explicit SerConverter(const SerSampleFormat& format);

    // frame: frameBytes of the file's frame; picture: width x height x 3 bytes.
    void convert(const std::uint8_t* frame, std::uint8_t* picture) noexcept
    {
        convertRows(frame, picture, 0, m_format.height);
    }
    // Only the frame's rows firstRow .. endRow - 1, counted from the top as
    // stored, each to its place in the picture.
    void convertRows(const std::uint8_t* frame, std::uint8_t* picture, std::int32_t firstRow,
                     std::int32_t endRow) noexcept;
    // The same from a band of stored rows: rows holds rows firstRow ..
    // endRow - 1 of the frame and nothing else, as read into a small buffer.
    void convertBand(const std::uint8_t* rows, std::uint8_t* picture, std::int32_t firstRow,
                     std::int32_t endRow) noexcept;

    // Mono and mosaic frames only: the 8-bit grey plane, rows top-down as
    // stored (width bytes each), for sinks that take grey frames as they are.
    void convertGrayRows(const std::uint8_t* frame, std::uint8_t* gray, std::int32_t firstRow,
                         std::int32_t endRow) noexcept;
    void convertGrayBand(const std::uint8_t* rows, std::uint8_t* gray, std::int32_t firstRow,
                         std::int32_t endRow) noexcept;
    // The stored bytes of one row.
    std::size_t rowBytes() const { return std::size_t(m_format.rowSamples()) * std::size_t(m_format.bytesPerSample); }
    // True for frames whose stored bytes already are that grey plane (8-bit
    // mono or mosaic at depth 8), which need no conversion at all.
    bool storedAsGray() const;
    bool grayFormat() const { return m_format.colour != SerColour::Rgb && m_format.colour != SerColour::Bgr; }

private:
    const std::uint8_t* narrowRow(const std::uint8_t* in) noexcept;

    SerSampleFormat m_format;
    std::vector<std::uint8_t> m_row;   // one row of 8-bit samples
};

// A frame a reader converted, as its sink takes it: the 24-bit picture, or
// with gray the grey plane, which is the picture's bytes when converted
// (picture not null), else the stored samples themselves; both top-down.
inline FrameView ConvertedPicture(std::int32_t width, std::int32_t height, bool gray, std::uint8_t* picture,
                                  const std::uint8_t* stored)
{
    if (!gray)
        return {picture, std::ptrdiff_t(width) * 3, width, height, 3};
    // Stored top-down: row 0 of the view, the bottom one, is the last.
    const std::uint8_t* plane = picture != nullptr ? picture : stored;
    return {plane + std::ptrdiff_t(height - 1) * width, -std::ptrdiff_t(width), width, height, 1};
}

// The converted picture put in the frame handed to a sink: the grey view,
// or the 24-bit picture of pictureBytes, which the sink may write into.
inline void HandOverPicture(SourceFrame& frame, const FrameView& view, bool gray, std::uint8_t* picture,
                            std::size_t pictureBytes)
{
    if (gray) {
        frame.grayBottomRow = view.data;
        frame.grayStride = view.stride;
    } else {
        frame.buffer = picture;
        frame.bufferLength = std::int32_t(pictureBytes);
    }
}

// The stored samples of a frame of format, rows top-down and two-byte
// samples little-endian from topRow, as the native frame its picture comes with.
inline NativeFrame NativeFrameOf(const SerSampleFormat& format, const std::uint8_t* topRow, const CaptureHeader* header,
                                 std::optional<std::int64_t> utcTicks)
{
    NativeFrame frame;
    frame.topRow = topRow;
    frame.width = format.width;
    frame.height = format.height;
    frame.layout = std::int32_t(format.colour);
    frame.planes = format.planes;
    frame.bytesPerSample = format.bytesPerSample;
    frame.depth = format.depth;
    frame.stride = std::ptrdiff_t(frame.rowBytes());
    frame.header = header;
    frame.utcTicks = utcTicks;
    return frame;
}
