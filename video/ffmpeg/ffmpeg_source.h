// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ffmpeg/avi_frame_reader.h"
#include "video/ffmpeg/bgr_converter.h"
#include "video/ffmpeg/held_frame_painter.h"
#include "video/ffmpeg/ffmpeg_frame_producer.h"
#include "video/ffmpeg/ffmpeg_handles.h"
#include "video/frame_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A frame source on FFmpeg's libraries, for every container and codec they
// read. play() decodes on a worker thread a few frames ahead of the sink,
// which is always called on play()'s own thread. Frames reach the sink
// either in a buffer of a small pool or, for bottom-up BGR24 sources, in
// the decoder's own frame; either way the buffer is the source's and is
// reused once the sink returns. Uncompressed AVI streams that allow it are
// read straight from the file instead (see OpenAviFrameReader).
//
// A play from a later frame k seeks to the key frame at or before it and
// drops the frames decoded before k. Which time frame k has comes from the
// stream's packets, read without decoding up to a little past k (a list
// kept for later plays), so that frames of varying length, or gaps between
// the times, cannot shift it. Where that list cannot be had (packets without
// times, a stream that cannot seek) or the seek does not land before frame k,
// the play decodes from the start and counts k frames off.
class FfmpegSource final : public FrameSource {
public:
    // Opens and probes the local file at path (taken literally: a colon in
    // the name is no protocol). Throws FrameSourceError Load.
    explicit FfmpegSource(const std::string& path);

    std::optional<VideoInfo> video() override;
    void play(const PlayLimits& limits, FrameSink& sink) override;
    // Until the demuxer has handed over packets (frames read straight from
    // an AVI leave it where opening left it), or while the last play's
    // frames are kept for the next.
    bool replaysAsNew() const override { return !m_played || m_lead.has_value(); }

private:
    // The steps of opening and playing, in the order video() and play() take them.
    std::int32_t streamCount();
    bool isVideoStream(std::int32_t index);
    VideoInfo streamInfo();
    std::int64_t duration();           // 100 ns units
    void enterGrabMode(int threads);   // the decoder's threads
    void playWithin(const StreamLimits& limits, FrameSink& sink, bool leadsTheRun);
    void playFrom(const StreamLimits& limits, FrameSink& sink);
    bool decodeInto(const StreamLimits& limits, const ProducerStart& start, FrameSink& sink,
                    std::optional<DecodedLead> lead = std::nullopt, bool keepLead = false);
    bool listFrameTimes(std::int32_t frame);
    int seekTo(std::int64_t time);

    // How many frames decoding may run ahead, counting the one in the sink.
    static constexpr std::size_t kQueueSlots = 4;
    static constexpr std::size_t kPaintedQueueSlots = 2;
    // Plays of at most this many frames (a test's two) decode on two threads
    // at most, unless a run follows that goes on from them: a frame-threaded
    // decoder gives its first frame only once it has a frame in flight on
    // every thread, decoded for nothing, and a second thread costs one such
    // frame but nearly halves the wait for the frames the play wants.
    static constexpr std::int32_t kFewFrames = 4;
    static constexpr int kFewFramesThreads = 2;
    // How many packets past a frame settle its place in presentation order:
    // more than any decoder holds back to reorder (H.264 and HEVC hold 16).
    static constexpr std::int32_t kReorderReach = 32;
    // Key frames a play from a later frame seeks to, nearest first, before
    // it decodes from the start.
    static constexpr int kSeekTries = 2;

    // The selected stream when it is a video stream; nullptr otherwise.
    AVStream* videoStream() const;
    static bool IsVideo(const AVStream& stream);
    void rewind();
    void reopen();   // as newly opened: the file probed again, nothing played
    std::int64_t startSeekTime() const;

    std::string m_path;
    FormatContextPtr m_format;
    int m_selected = -1;
    CodecContextPtr m_decoder;
    int m_decoderThreads = 0;   // what m_decoder was opened with
    std::optional<BgrConverter> m_converter;
    std::optional<HeldFramePainter> m_painter;   // for sinks that take painted frames
    std::unique_ptr<AviChunkPlayer> m_direct;    // the selected stream read without FFmpeg, when it can be
    bool m_played = false;
    std::optional<DecodedLead> m_lead;   // what the last play left for the next from the start
    std::int64_t m_duration = 0;         // of the selected stream, 100 ns units

    // A frame of the selected stream as its packet tells it.
    struct FrameTime {
        std::int64_t pts;        // stream time base
        std::int64_t seekTime;   // what seeking to its packet takes
        bool key;
    };
    // The stream's first frames in presentation order, as far as their
    // order is settled; all of them once complete.
    std::vector<FrameTime> m_frameTimes;
    bool m_frameTimesComplete = false;
};
