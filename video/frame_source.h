// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

// The step of opening or playing a file that failed. The file run words each
// for the user; sources only say which step it was.
enum class SourceFailure {
    Load,           // the file cannot be opened or is not a video we read
    Streams,        // its streams cannot be listed
    SelectStream,   // stream n cannot be selected
    StreamType,     // the type of stream n cannot be read
    Duration,       // the length of the video stream cannot be read
    Prepare,        // no decoder for the video stream, or a picture we cannot deliver
    Start,          // playing cannot start
    Decode,         // playing failed beyond recovery
};

// A failed step. stream is the stream's index for SelectStream and
// StreamType, -1 otherwise; detail is the library's own error number where
// there is one (for logs and tests, never shown on its own).
class FrameSourceError : public std::runtime_error {
public:
    // reason, when given, says in words for the user why the step failed
    // where the step's own message cannot (a missing FFmpeg module).
    explicit FrameSourceError(SourceFailure failure, std::int32_t detail = 0, std::int32_t stream = -1,
                              std::string reason = {});
    SourceFailure failure() const { return m_failure; }
    std::int32_t stream() const { return m_stream; }
    std::int32_t detail() const { return m_detail; }
    const std::string& reason() const { return m_reason; }

private:
    SourceFailure m_failure;
    std::int32_t m_detail;
    std::int32_t m_stream;
    std::string m_reason;
};

// How a source that reads raw samples (SER) found them stored, for reports.
struct SampleLayout {
    std::int32_t depth = 8;   // bits the samples use, as detected
    std::int32_t bytesPerSample = 1;
    bool bigEndian = false;   // meaningful with two-byte samples only
    // How the samples make up pixels, as the file names it (the layout ids of
    // NativeFrame: mono, a 2 x 2 mosaic, RGB or BGR).
    std::int32_t colour = kSamplesMono;
};

// The video stream a source plays.
struct VideoInfo {
    double frameRate = 0.0;   // frames per second; 0 when it cannot be read
    double length = 0.0;      // seconds, from the stream's header; 0 when it cannot be read
    std::int32_t width = 0;   // decoded frame size in pixels
    std::int32_t height = 0;
    std::optional<SampleLayout> samples;   // set by sources that detect it
    // The frame count the file's header names, set by sources that read one
    // (SER; an AVI's stream header, where it names more frames than the
    // stream's length holds); it may promise more frames than the file holds
    // and plays.
    std::optional<std::int64_t> declaredFrames;
    // Something about the file the user should read in the log (say, time
    // stamps that were not used); empty when there is nothing to say.
    std::string notice;
};

// How much of the video one play() delivers: frames whose presentation time
// (seconds from the stream's start) lies before stopTime, and at most
// maxFrames of them when maxFrames > 0, starting with frame firstFrame (its
// position in stream order from 0; the frames before it are not delivered,
// and where the format allows, not decoded either).
struct PlayLimits {
    std::int32_t maxFrames = 0;
    double stopTime = std::numeric_limits<double>::infinity();
    std::int32_t firstFrame = 0;
    // Threads a decoder that runs its own may start, when it starts them for
    // this play (0: the source's choice for this machine's cores). Files
    // decoded side by side share the cores.
    std::int32_t decoderThreads = 0;
    // This source plays again from frame 0 right after this play, through
    // the file (a test before its run): a decoder may start as it will for
    // that play, and keep what it decodes now for it.
    bool runFollows = false;
};

// The same limits in a stream's own terms, as the sources apply them.
struct StreamLimits {
    bool byTime = false;             // only frames before stopPosition
    std::int64_t stopPosition = 0;   // 100 ns units from the stream's start
    std::int32_t maxFrames = 0;      // at most this many frames when > 0
    bool grayFrames = false;         // the sink takes 8-bit grey frames as they are
    std::int32_t firstFrame = 0;     // the frame playing starts with, from 0
    bool paintedFrames = false;      // the sink takes colour frames as green and a painter
};

// limits for a stream that lasts duration (100 ns units): a stop time at or
// past its end is no limit.
inline StreamLimits InStreamTerms(const PlayLimits& limits, std::int64_t duration, bool grayFrames)
{
    const std::int64_t stopPosition =
        std::isfinite(limits.stopTime) ? std::int64_t(std::llround(std::max(0.0, limits.stopTime) * 1e7)) : duration;
    return {stopPosition < duration, stopPosition, limits.maxFrames, grayFrames, std::max(limits.firstFrame, 0)};
}

// A decoder for one input file, opened by OpenFrameSource (run/).
//
// video() finds the first video stream (attached cover pictures are not
// video) and describes it; it returns nothing for a file without one.
// play() may be called after a successful video(), any number of times;
// each plays from the limits' first frame (a negative one is frame 0; one at
// or past the end delivers nothing, and is no failure). A play that starts
// later gives each frame the pixels and time a play from frame 0 gives it,
// so that views of the middle of a file agree with a whole run.
//
// Delivery contract of play(): exactly one sink call per decoded frame of the
// stream, from the play's first frame on, in stream order, none skipped or repeated,
// until the limits or a sink's non-zero status end it; calls never overlap and
// all come on the calling thread (decoding may run ahead on a worker thread);
// play() returns only after the last call has returned, and no call comes
// after it. A frame whose packet cannot be decoded is skipped and playing goes
// on. Every failing step throws FrameSourceError; exceptions thrown by the
// sink pass through unchanged.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual std::optional<VideoInfo> video() = 0;
    virtual void play(const PlayLimits& limits, FrameSink& sink) = 0;
    // Whether video() and play() now give exactly what they would give on a
    // source newly opened on the same file. Sources that read each frame
    // from its place in the file say so; a demuxer that has moved through
    // the file would have to seek back, which not every container does to
    // the same frame.
    virtual bool replaysAsNew() const { return false; }
};

inline FrameSourceError::FrameSourceError(SourceFailure failure, std::int32_t detail, std::int32_t stream,
                                          std::string reason)
    : std::runtime_error("frame source failed at step " + std::to_string(int(failure)) + " (code "
                         + std::to_string(detail) + ")"),
      m_failure(failure), m_detail(detail), m_stream(stream), m_reason(std::move(reason))
{}
