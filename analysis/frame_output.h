// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/native_frame.h"
#include "analysis/output_rate.h"
#include "image/gray_plane.h"
#include "image/output_bitmap.h"

#include <cstdint>
#include <optional>
#include <string>

// What the capture program wrote of a capture (its sidecar), for outputs
// whose headers carry it; empty fields are unknown.
struct CaptureNotes {
    std::string camera;
    std::string filter;
    std::string target;
    std::optional<double> exposureSeconds;
    std::optional<double> gain;
};

// Where the frame handler puts the frames of a processing run. The handler
// knows no file format: the output layer adapts a writer to this.
//
// index is the number of frames added so far for the current output. The
// bitmap gives the size (and, for colour output, the pixels); a grey frame's
// plane holds width x height bytes, top row first. Both stay the caller's.
// A refused frame throws an exception derived from std::runtime_error whose
// what() is the message to show; the output keeps every frame added before.
class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    virtual void addColorFrame(const OutputBitmap& bitmap, std::int32_t index) = 0;
    virtual void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index) = 0;

    // Called before each frame is added, with its presentation time
    // (seconds from the stream's start) and its capture time when known;
    // an output that splits its frames by time decides here.
    virtual void nextFrameAt(double sampleTime, std::optional<std::int64_t> utcTicks)
    {
        (void)sampleTime;
        (void)utcTicks;
    }

    // Called once a processing run knows its source, before its first frame:
    // the rate the output is to play at. An output that keeps a frame rate
    // (an AVI's) takes it, for the file open now and the pieces opened after
    // it, and says so; one that keeps its frames' own times (a SER) or none
    // (still images) returns false.
    virtual bool playAt(const FrameRate& rate)
    {
        (void)rate;
        return false;
    }

    // An output that keeps the source's own samples takes every frame here
    // instead: the crop of the source's samples when the source has them,
    // else the bytes of the 8-bit crop (see SamplesOfCrop). utcTicks is the
    // frame's capture time when known (100 ns ticks since 0001-01-01 UTC).
    virtual bool takesSamples() const { return false; }
    // What the capture program wrote of the file being run, told before its
    // first frame; outputs without such headers ignore it.
    virtual void noteCapture(const CaptureNotes& notes) { (void)notes; }
    virtual void addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index)
    {
        (void)frame;
        (void)utcTicks;
        (void)index;
    }
};
