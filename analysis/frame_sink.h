// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_measurer.h"
#include "analysis/native_frame.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// One frame as a source hands it over, with everything that belongs to it;
// all of it valid for the one call that carries it.
struct SourceFrame {
    double sampleTime = 0.0;   // presentation time in seconds from the stream's start
    // The 8-bit picture, one of the two:
    // - 24-bit: blue, green, red bytes, rows bottom-up, stride exactly
    //   width x 3; the sink may write into it;
    std::uint8_t* buffer = nullptr;
    std::int32_t bufferLength = 0;
    // - or grey, when the sink accepts grey frames: bottomRow is the first
    //   byte of the picture's bottom row, rows lie stride bytes apart
    //   (negative when stored top-down), each byte blue = green = red.
    const std::uint8_t* grayBottomRow = nullptr;
    std::ptrdiff_t grayStride = 0;
    // The frame as the file stores it, when that holds more than the 8-bit
    // picture tells (deeper samples, a colour mosaic, the capture time).
    const NativeFrame* native = nullptr;
    // Where the planet is, measured ahead on a reading thread with the
    // sink's measurer (see measurerAhead), when it was.
    const AheadMeasurement* measured = nullptr;
};

// Receives the decoded frames of a file run, one call per frame, at the
// frame size the run announced.
//
// Calls never overlap and always come on the thread that is playing the
// file. The result is a status: 0 lets playing go on, any other value asks
// the source to deliver no further frame (play() then returns normally). A
// sink may also throw to abandon the run; the source then stops and lets the
// exception through.
class FrameSink {
public:
    virtual ~FrameSink() = default;

    // What sources call. Sinks that want only the 8-bit picture implement
    // BufferCB (and GrayBufferCB when they accept grey frames), to which
    // this passes it.
    virtual std::int32_t FrameCB(const SourceFrame& frame)
    {
        return frame.grayBottomRow != nullptr ? GrayBufferCB(frame.sampleTime, frame.grayBottomRow, frame.grayStride)
                                              : BufferCB(frame.sampleTime, frame.buffer, frame.bufferLength);
    }

    virtual std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) = 0;

    // A source of 8-bit grey frames may hand them over as they are, sparing
    // the expansion to 24 bits, when the sink accepts that.
    virtual bool acceptsGrayFrames() const { return false; }
    virtual std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride)
    {
        (void)sampleTime;
        (void)bottomRow;
        (void)stride;
        return 0;
    }

    // A source that reads frames ahead on threads of its own may measure
    // them there, several at once, with the measurer the sink gives when
    // playing starts (none: every frame is measured in its turn).
    // The sink uses a measurement only when it was made with the choices
    // the sink would make now.
    virtual std::optional<FrameMeasurer> measurerAhead() { return std::nullopt; }
};
