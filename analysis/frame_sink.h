// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_measurer.h"
#include "analysis/native_frame.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// A colour frame that its source converts to the 24-bit picture only where
// the sink looks: finding the planet reads green alone, which the source
// hands over as a grey frame, and a crop needs only its window. Converting
// every pixel of every frame would cost more than the rest of the work.
class FramePainter {
public:
    virtual ~FramePainter() = default;
    // The frame's 24-bit picture, laid out as SourceFrame::buffer, with at
    // least the pixels of columns [left, left + width) of rows
    // [bottom, bottom + height) (rows counted from the bottom, clipped to the
    // frame) converted; what the other bytes hold is undefined. The sink may
    // write into it. Valid for the call the frame comes with.
    virtual std::uint8_t* paint(std::int32_t left, std::int32_t bottom, std::int32_t width, std::int32_t height) = 0;
};

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
    // With a grey frame: it is the green channel of a colour frame, whose
    // picture this converts on request. Only sinks that accept painted
    // frames get one.
    FramePainter* painter = nullptr;
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

    // A source of colour frames that must be converted may hand each over as
    // its green channel and a painter, when the sink accepts that.
    virtual bool acceptsPaintedFrames() const { return false; }

    // A source that reads frames ahead on threads of its own may measure
    // them there, several at once, with the measurer the sink gives when
    // playing starts (none: every frame is measured in its turn).
    // The sink uses a measurement only when it was made with the choices
    // the sink would make now.
    virtual std::optional<FrameMeasurer> measurerAhead() { return std::nullopt; }

    // Whether the sink reads the stored samples of the native frames (their
    // topRow), asked when playing starts. A source that must narrow deep
    // samples anyway may then narrow them as it reads, in bands through a
    // buffer of its own, and hand over native frames without samples
    // (topRow null): reading twice the picture's bytes into memory the sink
    // never looks at costs more than the narrowing.
    virtual bool readsStoredSamples() const { return true; }
};

// A sink that takes every frame in FrameCB, whichever way its source hands
// it over: 24-bit, or grey as it is.
class WholeFrameSink : public FrameSink {
public:
    std::int32_t FrameCB(const SourceFrame& frame) override = 0;
    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override
    {
        return FrameCB({sampleTime, buffer, bufferLength});
    }
    bool acceptsGrayFrames() const override { return true; }
    std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        SourceFrame frame;
        frame.sampleTime = sampleTime;
        frame.grayBottomRow = bottomRow;
        frame.grayStride = stride;
        return FrameCB(frame);
    }
};
