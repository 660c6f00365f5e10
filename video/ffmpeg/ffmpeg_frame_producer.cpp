// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/ffmpeg_frame_producer.h"

#include "video/frame_source.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <cstring>
#include <memory>

namespace {

constexpr AVRational kHundredNanoseconds{1, 10'000'000};

// A decoder that keeps failing without asking for input is broken, not
// meeting a damaged frame; this bounds the errors one drain may skip.
constexpr int kMaxErrorsPerDrain = 1024;

bool IsKeyFrame(const AVFrame& frame)
{
#ifdef AV_FRAME_FLAG_KEY
    return (frame.flags & AV_FRAME_FLAG_KEY) != 0;
#else
    return frame.key_frame != 0;   // FFmpeg before 6.1
#endif
}

}   // namespace

FfmpegFrameProducer::FfmpegFrameProducer(AVFormatContext& format, int streamIndex, AVCodecContext& decoder,
                                         BgrConverter& converter, StreamLimits limits, ProducerStart start)
    : m_format(format), m_streamIndex(streamIndex), m_decoder(decoder), m_converter(converter), m_limits(limits),
      m_startAt(start)
{
    const AVStream& stream = *format.streams[streamIndex];
    m_timeBase = stream.time_base;
    // FFmpeg's AVI demuxer says a stream starts at 0 whatever its header's
    // start: there, times count from the first frame decoded.
    m_start = std::strcmp(format.iformat->name, "avi") == 0 ? AV_NOPTS_VALUE : stream.start_time;
    // After a seek the first frame decoded is not the stream's.
    if (m_start == AV_NOPTS_VALUE && start.firstTime != AV_NOPTS_VALUE)
        m_start = start.origin;
    const AVRational rate =
        stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    m_frameStep = rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), m_timeBase) : 0;
}

void FfmpegFrameProducer::run(FrameQueue& queue, std::stop_token stop) noexcept
{
    m_queue = &queue;
    m_stop = stop;
    try {
        m_packet = makePacket();
        m_frame = makeFrame();
        replayLead();
        if (!m_lead.streamEnded)
            readAll();
    } catch (...) {
        queue.finish(std::current_exception());
        return;
    }
    m_ended = !m_stop.stop_requested();
    queue.finish(nullptr);
}

std::optional<DecodedLead> FfmpegFrameProducer::takeLead()
{
    if (!m_keeping || !m_leadIntact || !m_ended)
        return std::nullopt;
    return std::move(m_lead);
}

void FfmpegFrameProducer::replayLead()
{
    if (!m_resuming)
        return;
    for (const FramePtr& kept : m_lead.frames) {
        if (m_done || m_stop.stop_requested())
            break;
        if (av_frame_ref(m_frame.get(), kept.get()) < 0)
            throw FrameSourceError(SourceFailure::Decode, AVERROR(ENOMEM));
        FrameUnref unref(m_frame.get());
        deliver(*m_frame);
    }
    // A play that keeps no lead of its own needs the frames no longer.
    if (!m_keeping)
        m_lead.frames.clear();
    // The frames the decoder finished while the earlier play was ending.
    if (!m_done && !m_stop.stop_requested())
        receiveFrames();
}

void FfmpegFrameProducer::keep(const AVFrame& frame)
{
    if (!m_leadIntact)
        return;
    FramePtr kept(av_frame_alloc());
    if (!kept || av_frame_ref(kept.get(), &frame) < 0) {
        m_leadIntact = false;   // the play goes on; the next one seeks back
        return;
    }
    m_lead.frames.push_back(std::move(kept));
}

void FfmpegFrameProducer::readAll()
{
    while (!m_done && !m_stop.stop_requested()) {
        const int rc = av_read_frame(&m_format, m_packet.get());
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            // A failing device or memory is fatal. The container parser's own
            // complaints (a truncated or damaged tail) end the stream, as they
            // do for FFmpeg's command-line tool, so the frames before count.
            if (rc != AVERROR_EOF && (rc == AVERROR(ENOMEM) || (m_format.pb && m_format.pb->error < 0)))
                throw FrameSourceError(SourceFailure::Decode, rc);
            break;
        }
        if (m_packet->stream_index == m_streamIndex)
            decode(m_packet.get());
        else
            av_packet_unref(m_packet.get());
    }
    if (!m_done && !m_stop.stop_requested()) {
        m_lead.streamEnded = true;
        decode(nullptr);   // drain the frames still in the decoder
    }
    // The stream ended before the first frame: whether it holds one is for a
    // play from the start to tell.
    if (!m_stop.stop_requested() && m_startAt.firstTime != AV_NOPTS_VALUE)
        m_missed = true;
}

void FfmpegFrameProducer::decode(AVPacket* packet)
{
    int rc = avcodec_send_packet(&m_decoder, packet);
    if (rc == AVERROR(EAGAIN)) {
        // Not expected after a full drain, but the API allows it.
        receiveFrames();
        if (!m_done)
            rc = avcodec_send_packet(&m_decoder, packet);
        else if (packet)
            m_leadIntact = false;   // this packet is never decoded: no play can go on from here
    }
    // Dropping our reference before receiving lets a raw frame that shares
    // the packet's buffer be the buffer's only owner, so it can go to the
    // sink in place.
    if (packet)
        av_packet_unref(packet);
    if (m_done)
        return;
    if (rc == AVERROR(ENOMEM))
        throw FrameSourceError(SourceFailure::Decode, rc);
    // Any other refusal means this packet cannot be decoded: it is skipped.
    receiveFrames();
}

void FfmpegFrameProducer::receiveFrames()
{
    int errors = 0;
    while (!m_done) {
        const int rc = avcodec_receive_frame(&m_decoder, m_frame.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        if (rc < 0) {
            // A frame that cannot be decoded is skipped.
            if (rc == AVERROR(ENOMEM) || ++errors > kMaxErrorsPerDrain)
                throw FrameSourceError(SourceFailure::Decode, rc);
            continue;
        }
        FrameUnref unref(m_frame.get());
        if (m_keeping)
            keep(*m_frame);
        deliver(*m_frame);
    }
}

std::int64_t FfmpegFrameProducer::timestampOf(const AVFrame& frame)
{
    std::int64_t ts = frame.best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = m_last != AV_NOPTS_VALUE ? m_last + m_frameStep : (m_start != AV_NOPTS_VALUE ? m_start : 0);
    if (m_start == AV_NOPTS_VALUE)
        m_start = ts;
    m_last = ts;
    return ts - m_start;
}

bool FfmpegFrameProducer::reachedStart(const AVFrame& frame, std::int64_t time)
{
    if (m_startAt.dropFrames > 0) {
        --m_startAt.dropFrames;
        return false;
    }
    if (m_startAt.firstTime == AV_NOPTS_VALUE)
        return true;
    // Frames before the first key frame after a seek may lack the frames
    // they refer to: their pixels are not those of a play from the start.
    m_keySeen = m_keySeen || IsKeyFrame(frame);
    if (!m_keySeen)
        return false;
    const std::int64_t stamp = time + m_start;
    if (stamp < m_startAt.firstTime)
        return false;
    if (stamp > m_startAt.firstTime) {
        // The key frame lies past the first frame, or the seek went past it.
        m_missed = true;
        m_done = true;
        return false;
    }
    m_startAt.firstTime = AV_NOPTS_VALUE;
    return true;
}

void FfmpegFrameProducer::deliver(AVFrame& frame)
{
    const std::int64_t time = timestampOf(frame);
    if (!reachedStart(frame, time))
        return;
    // Compared exactly, as rationals: a frame at 2/30 s lies before a stop
    // position of 666 667 even though both round to the same 100 ns tick.
    if (m_limits.byTime && av_compare_ts(time, m_timeBase, m_limits.stopPosition, kHundredNanoseconds) >= 0) {
        m_done = true;
        return;
    }
    DecodedFrame* slot = m_queue->acquire(m_stop);
    if (!slot) {
        m_done = true;
        return;
    }
    slot->grayBottomRow = nullptr;
    slot->painted = false;
    if (m_limits.paintedFrames && m_converter.paintsLater(frame)) {
        // Handed over as decoded: the consumer computes green and converts
        // the window it crops. This thread only feeds the decoder, whose
        // threads would otherwise wait for it.
        av_frame_move_ref(slot->held.get(), &frame);
        slot->painted = true;
        slot->pixels = nullptr;
    } else if (m_limits.grayFrames && frame.format == AV_PIX_FMT_GRAY8 && frame.width == m_converter.width()
               && frame.height == m_converter.height()) {
        // Handed over as decoded: spreading each byte over three would
        // triple the memory traffic of the analysis for the same result.
        av_frame_move_ref(slot->held.get(), &frame);
        const AVFrame& held = *slot->held;
        slot->grayBottomRow = held.data[0] + std::ptrdiff_t(held.height - 1) * held.linesize[0];
        slot->grayStride = -std::ptrdiff_t(held.linesize[0]);
        slot->pixels = nullptr;
    } else if (std::uint8_t* pixels = m_converter.inPlace(frame)) {
        // The sink may write into these pixels: a kept copy would not stay as decoded.
        m_leadIntact = false;
        av_frame_move_ref(slot->held.get(), &frame);
        slot->pixels = pixels;
    } else {
        if (!slot->storage)
            slot->storage =
                std::make_unique_for_overwrite<std::uint8_t[]>(m_converter.frameBytes() + BgrConverter::kPadding);
        if (!m_converter.convert(frame, slot->storage.get())) {
            m_queue->recycle(slot);
            throw FrameSourceError(SourceFailure::Decode, AVERROR(EINVAL));
        }
        slot->pixels = slot->storage.get();
    }
    slot->sampleTime = double(time) * av_q2d(m_timeBase);
    m_queue->publish(slot);
    ++m_delivered;
    // Stopping here, not at the next frame, spares decoding the rest of the
    // file for a short test.
    if (m_limits.maxFrames > 0 && m_delivered >= m_limits.maxFrames)
        m_done = true;
}
