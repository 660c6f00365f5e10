// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_measurer.h"
#include "analysis/native_frame.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// Receives the decoded frames of a file run, one call per frame.
//
// buffer holds one frame of inputWidth x inputHeight pixels (the size the run
// announced), 3 bytes per pixel in blue, green, red order, rows bottom-up,
// row stride exactly width x 3. The sink may write into it; it is valid only
// for the duration of the call. sampleTime is the frame's presentation time
// in seconds from the start of the stream.
//
// Calls never overlap and always come on the thread that is playing the
// file. The result is a status: 0 lets playing go on, any other value asks
// the source to deliver no further frame (play() then returns normally). A
// sink may also throw to abandon the run; the source then stops and lets the
// exception through.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) = 0;

    // A source of 8-bit grey frames may hand them over as they are, sparing
    // the expansion to 24 bits, when the sink accepts that. bottomRow points
    // to the first byte of the bottom row of the picture; rows lie stride
    // bytes apart (negative when they are stored top-down); each byte stands
    // for blue = green = red. The frame is read only and valid for the call.
    // The same ordering rules as for BufferCB apply.
    virtual bool acceptsGrayFrames() const { return false; }
    virtual std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride)
    {
        (void)sampleTime; (void)bottomRow; (void)stride;
        return 0;
    }

    // A source whose file holds more than the 8-bit frame tells (deeper
    // samples, a colour mosaic, the capture time) hands the frame as stored
    // here, right before the BufferCB or GrayBufferCB call of the same frame;
    // it stays valid until that call returns. Sinks that write only 8-bit
    // frames ignore it.
    virtual void NativeFrameCB(const NativeFrame& frame) { (void)frame; }

    // A source that reads frames ahead on threads of its own may measure
    // them there, several at once, with the measurer the sink gives when
    // playing starts (none: every frame is measured in its turn).
    // mosaicSamples says the source hands colour-mosaic samples through
    // NativeFrameCB. Each measurement is handed here right before the 8-bit
    // call of its frame and stays valid until that call returns; the sink
    // uses it only when it was made with the choices the sink would make now.
    virtual std::optional<FrameMeasurer> measurerAhead(bool mosaicSamples)
    {
        (void)mosaicSamples;
        return std::nullopt;
    }
    virtual void MeasuredFrameCB(const AheadMeasurement& measurement) { (void)measurement; }
};
