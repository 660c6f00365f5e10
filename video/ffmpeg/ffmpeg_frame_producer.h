// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ffmpeg/bgr_converter.h"
#include "video/ffmpeg/ffmpeg_handles.h"
#include "video/ffmpeg/frame_queue.h"
#include "video/frame_source.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

// Where the frames a producer publishes begin, the demuxer being where the
// caller left it.
struct ProducerStart {
    // At the stream's start: the first decoded frames are counted off and
    // dropped, as many as this.
    std::int32_t dropFrames = 0;
    // After a seek (stream time base; AV_NOPTS_VALUE when there was none):
    // the play begins with the frame of this time, and times count from
    // origin, the time of the stream's first frame.
    std::int64_t firstTime = AV_NOPTS_VALUE;
    std::int64_t origin = AV_NOPTS_VALUE;
};

// What a short play from the stream's start leaves behind for the next play
// from the start: every frame it decoded, and the decoder and demuxer just
// past them. The next play hands these frames over again and decodes on,
// instead of seeking back and decoding them a second time.
struct DecodedLead {
    std::vector<FramePtr> frames;   // in presentation order, as decoded
    bool streamEnded = false;       // the decoder was drained: there is nothing past them
};

// The decoding thread's half of play(): reads packets of one stream,
// decodes them, brings each frame into the sink's layout and publishes it to
// the queue, in presentation order, until the stream ends, a limit is
// reached or stop is requested. Packets that cannot be decoded are skipped.
//
// The format and codec contexts belong to the caller, who must not touch them
// while run() is going.
class FfmpegFrameProducer {
public:
    FfmpegFrameProducer(AVFormatContext& format, int streamIndex, AVCodecContext& decoder, BgrConverter& converter,
                        StreamLimits limits, ProducerStart start = {});

    // Always ends by finishing the queue, with the failure if there was one
    // (FrameSourceError Decode for an unrecoverable
    // read or decode error).
    void run(FrameQueue& queue, std::stop_token stop) noexcept;

    // Before run(): the play starts from the stream's start (no seek, no
    // frames dropped) and keeps what it decodes, so that takeLead() can
    // give it to the next play.
    void keepLead() { m_keeping = true; }
    // Before run(): the frames an earlier play left, to be handed over before
    // decoding goes on where that play stopped (the decoder and demuxer being
    // as it left them).
    void startFrom(DecodedLead lead)
    {
        m_lead = std::move(lead);
        m_resuming = true;
    }
    // After run() has ended on its own (a limit or the stream's end): what
    // the next play can start from; nothing when it cannot (stopped, failed,
    // or frames the sink may write into).
    std::optional<DecodedLead> takeLead();

    // After run(): the seek did not reach start.firstTime by way of a key
    // frame at or before it, so nothing was published; an earlier seek, or
    // one to the start, will.
    bool missed() const { return m_missed; }

private:
    void replayLead();
    void readAll();
    void decode(AVPacket* packet);   // nullptr drains the decoder; the packet is unreferenced
    void receiveFrames();
    void keep(const AVFrame& frame);
    void deliver(AVFrame& frame);
    bool reachedStart(const AVFrame& frame, std::int64_t time);
    std::int64_t timestampOf(const AVFrame& frame);

    AVFormatContext& m_format;
    int m_streamIndex;
    AVCodecContext& m_decoder;
    BgrConverter& m_converter;
    StreamLimits m_limits;
    ProducerStart m_startAt;
    bool m_keySeen = false;   // after a seek: a key frame was decoded
    bool m_missed = false;
    AVRational m_timeBase;
    std::int64_t m_start;       // stream time base; AV_NOPTS_VALUE until known
    std::int64_t m_frameStep;   // one frame in the stream time base; 0 when the rate is unknown
    std::int64_t m_last = AV_NOPTS_VALUE;
    std::int32_t m_delivered = 0;
    bool m_done = false;
    bool m_keeping = false;
    bool m_resuming = false;
    bool m_leadIntact = true;   // every frame decoded so far is in m_lead
    bool m_ended = false;       // run() came to its end without being stopped
    DecodedLead m_lead;

    FrameQueue* m_queue = nullptr;
    std::stop_token m_stop;
    PacketPtr m_packet;
    FramePtr m_frame;
};
