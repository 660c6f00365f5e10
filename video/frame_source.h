#pragma once

#include "analysis/frame_sink.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// A failed step of opening or playing a file. what() is the message the user
// sees; code is the negative status the file run returns for it.
class FrameSourceError : public std::runtime_error {
public:
    FrameSourceError(const std::string& message, std::int32_t code)
        : std::runtime_error(message), m_code(code < 0 ? code : -1) {}
    std::int32_t code() const { return m_code; }

private:
    std::int32_t m_code;
};

// The selected video stream as the run reports and uses it.
struct VideoStreamInfo {
    double frameRate = 0.0;      // frames per second; 0 when it cannot be read
    double length = 0.0;         // seconds; 0 when it cannot be read
    std::int32_t width = 0;      // decoded frame size in pixels
    std::int32_t height = 0;
};

// A decoder for one input file. The file run drives it in this order:
// streamCount, isVideoStream(i) for i = 0, 1, ... until one answers true,
// streamInfo, enterGrabMode, duration, play. Each failing step throws
// FrameSourceError with its message.
//
// Delivery contract of play(): exactly one sink call per decoded frame of the
// selected stream, from the first frame on, in stream order, none skipped or
// repeated; calls never overlap and all come on the calling thread (decoding
// may run ahead on a worker thread); play() returns only after the last call
// has returned, and no call comes after it. A frame whose packet cannot be
// decoded is skipped and playing goes on.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Number of streams in the file. Throws "Couldn't get the output streams!".
    virtual std::int32_t streamCount() = 0;
    // Selects stream index and tells whether it is a video stream (attached
    // cover pictures are not). Throws "Couldn't put stream " + index or
    // "Couldn't get stream media type for stream " + index.
    virtual bool isVideoStream(std::int32_t index) = 0;
    // Rate, length and frame size of the selected stream; never throws.
    virtual VideoStreamInfo streamInfo() = 0;
    // Prepares decoding of the selected stream into 24-bit frames.
    // Throws "Failed in EnterBitmapGrabMode!".
    virtual void enterGrabMode() = 0;
    // Length of the selected stream in units of 100 ns. Throws "Failed in GetDuration!".
    virtual std::int64_t duration() = 0;
    // Plays from the first frame. Delivers the frames whose presentation time
    // (from the stream's start, in 100 ns units) lies before stopPosition, and
    // at most maxFrames of them when maxFrames > 0; a stopPosition at or past
    // duration() plays every frame. Throws "Failed to run the graph!" when
    // playing cannot start and "Failed in WaitForCompletion!" when it fails
    // beyond recovery; exceptions thrown by the sink pass through unchanged.
    virtual void play(std::int64_t stopPosition, std::int32_t maxFrames, FrameSink& sink) = 0;
};

// Opens path with the frame source that reads it (chosen by content).
// Throws FrameSourceError "Couldn't load the file!" when no source can open it.
std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path);
