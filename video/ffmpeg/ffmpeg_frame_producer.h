// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ffmpeg/bgr_converter.h"
#include "video/ffmpeg/ffmpeg_handles.h"
#include "video/ffmpeg/frame_queue.h"
#include "video/frame_source.h"

#include <cstdint>
#include <stop_token>

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
                        StreamLimits limits);

    // Always ends by finishing the queue, with the failure if there was one
    // (FrameSourceError Decode for an unrecoverable
    // read or decode error).
    void run(FrameQueue& queue, std::stop_token stop) noexcept;

private:
    void readAll();
    void decode(AVPacket* packet);   // nullptr drains the decoder; the packet is unreferenced
    void receiveFrames();
    void deliver(AVFrame& frame);
    std::int64_t timestampOf(const AVFrame& frame);

    AVFormatContext& m_format;
    int m_streamIndex;
    AVCodecContext& m_decoder;
    BgrConverter& m_converter;
    StreamLimits m_limits;
    AVRational m_timeBase;
    std::int64_t m_start;       // stream time base; AV_NOPTS_VALUE until known
    std::int64_t m_frameStep;   // one frame in the stream time base; 0 when the rate is unknown
    std::int64_t m_last = AV_NOPTS_VALUE;
    std::int32_t m_delivered = 0;
    bool m_done = false;

    FrameQueue* m_queue = nullptr;
    std::stop_token m_stop;
    PacketPtr m_packet;
    FramePtr m_frame;
};
