// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/ffmpeg_source.h"

#include "video/ffmpeg/ffmpeg_frame_producer.h"
#include "video/ffmpeg/frame_queue.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

constexpr AVRational kHundredNanoseconds{1, 10'000'000};

// The stream's length: its own duration, else the container's; zero ticks
// when neither is known.
struct StreamSpan {
    std::int64_t ticks = 0;
    AVRational unit{0, 1};
};

StreamSpan spanOf(const AVFormatContext& format, const AVStream& stream)
{
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        return {stream.duration, stream.time_base};
    if (format.duration != AV_NOPTS_VALUE && format.duration > 0)
        return {format.duration, AVRational{1, AV_TIME_BASE}};
    return {};
}

AVRational frameRateOf(const AVStream& stream)
{
    auto valid = [](AVRational r) { return r.num > 0 && r.den > 0; };
    if (valid(stream.avg_frame_rate))
        return stream.avg_frame_rate;
    if (valid(stream.r_frame_rate))
        return stream.r_frame_rate;
    return {0, 1};
}

// The decoder's threads when the caller leaves it to us (asked 0). FFmpeg's
// own choice, a frame thread per core and one more, counts one thread beside
// the decoder's: the one that feeds it. A play has two, the second being the
// sink's, which measures and crops each frame while the next decode; one
// more frame in flight keeps the cores busy meanwhile (a 1080p H.264 file on
// two cores: 3 % less wall time, for one more frame of memory).
int DecoderThreads(int asked)
{
    constexpr int kMostThreads = 16;   // FFmpeg's own bound on the threads it picks
    if (asked > 0)
        return asked;
    const int cores = av_cpu_count();
    return cores > 1 ? std::min(cores + 2, kMostThreads) : 1;
}

// Hands the slot back to the pool however the sink returns.
class RecycleOnExit {
public:
    RecycleOnExit(FrameQueue& queue, DecodedFrame* frame) : m_queue(queue), m_frame(frame) {}
    ~RecycleOnExit() { m_queue.recycle(m_frame); }
    RecycleOnExit(const RecycleOnExit&) = delete;
    RecycleOnExit& operator=(const RecycleOnExit&) = delete;

private:
    FrameQueue& m_queue;
    DecodedFrame* m_frame;
};

// Opens and probes the local file at path.
FormatContextPtr OpenInput(const std::string& path)
{
    // "file:" makes FFmpeg take the path literally (capture programs put
    // times such as 21:05 in file names), and the whitelist keeps playlists
    // and similar formats from reaching out to other protocols.
    DictionaryPtr options;
    {
        AVDictionary* raw = nullptr;
        const int rc = av_dict_set(&raw, "protocol_whitelist", "file", 0);
        options.reset(raw);
        if (rc < 0)
            throw FrameSourceError(SourceFailure::Load, rc);
    }
    const std::string url = "file:" + path;
    AVFormatContext* opened = nullptr;
    AVDictionary* raw = options.release();
    int rc = avformat_open_input(&opened, url.c_str(), nullptr, &raw);
    options.reset(raw);
    if (rc < 0)
        throw FrameSourceError(SourceFailure::Load, rc);
    FormatContextPtr format(opened);

    rc = avformat_find_stream_info(format.get(), nullptr);
    if (rc < 0)
        throw FrameSourceError(SourceFailure::Load, rc);
    return format;
}

}   // namespace

FfmpegSource::FfmpegSource(const std::string& path) : m_path(path)
{
    // Damaged frames are skipped on purpose and every failure reaches the
    // user as an exception, so FFmpeg's own messages would only be noise.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    m_format = OpenInput(path);
}

std::int32_t FfmpegSource::streamCount()
{
    return std::int32_t(m_format->nb_streams);
}

bool FfmpegSource::isVideoStream(std::int32_t index)
{
    if (index < 0 || unsigned(index) >= m_format->nb_streams)
        throw FrameSourceError(SourceFailure::SelectStream, AVERROR(EINVAL), index);
    // The stream chosen again (a second run on this source) keeps its
    // decoder, the straight reader that checked its first frame, and what
    // the last play left for the next; so does a look at streams that are
    // no video.
    if (index == m_selected)
        return videoStream() != nullptr;
    if (!IsVideo(*m_format->streams[index]))
        return false;
    m_selected = index;
    m_decoder.reset();
    m_converter.reset();
    m_painter.reset();
    m_direct.reset();
    m_lead.reset();
    return true;
}

bool FfmpegSource::IsVideo(const AVStream& stream)
{
    return stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream.disposition & AV_DISPOSITION_ATTACHED_PIC);
}

AVStream* FfmpegSource::videoStream() const
{
    if (m_selected < 0)
        return nullptr;
    AVStream* stream = m_format->streams[m_selected];
    return IsVideo(*stream) ? stream : nullptr;
}

void FfmpegSource::reopen()
{
    m_format = OpenInput(m_path);
    m_decoder.reset();
    m_converter.reset();
    m_painter.reset();
    m_direct.reset();
    m_lead.reset();
    m_played = false;
}

VideoInfo FfmpegSource::streamInfo()
{
    VideoInfo info;
    const AVStream* stream = videoStream();
    if (!stream)
        return info;
    info.frameRate = av_q2d(frameRateOf(*stream));
    const StreamSpan span = spanOf(*m_format, *stream);
    info.length = span.ticks > 0 ? double(span.ticks) * av_q2d(span.unit) : 0.0;
    info.width = stream->codecpar->width;
    info.height = std::abs(stream->codecpar->height);
    // An AVI cut short (a full disc, a capture program that died) keeps the
    // frame count its header was written with, but the demuxer measures the
    // length from what the file still holds: the header's count is the one
    // to hold the file to. A count below the length is no promise (OpenDML
    // writers may count only the first RIFF's frames) and is not passed on.
    if (std::strcmp(m_format->iformat->name, "avi") == 0
        && double(stream->nb_frames) > std::round(info.frameRate * info.length))
        info.declaredFrames = stream->nb_frames;
    return info;
}

void FfmpegSource::enterGrabMode(int threads)
{
    AVStream* stream = videoStream();
    if (!stream)
        throw FrameSourceError(SourceFailure::Prepare, AVERROR(EINVAL));
    const AVCodecParameters& parameters = *stream->codecpar;

    const int width = parameters.width;
    const int height = std::abs(parameters.height);
    // The sink's buffer length is a 32-bit count of bytes.
    if (width <= 0 || height <= 0
        || std::int64_t(width) * height * 3
            > std::numeric_limits<std::int32_t>::max() - std::int64_t(BgrConverter::kPadding))
        throw FrameSourceError(SourceFailure::Prepare, AVERROR(EINVAL));
    const auto format = AVPixelFormat(parameters.format);
    if (format != AV_PIX_FMT_NONE && !BgrConverter::supports(format))
        throw FrameSourceError(SourceFailure::Prepare, AVERROR(ENOSYS));

    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    if (!codec)
        throw FrameSourceError(SourceFailure::Prepare, AVERROR_DECODER_NOT_FOUND);
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder)
        throw FrameSourceError(SourceFailure::Prepare, AVERROR(ENOMEM));
    int rc = avcodec_parameters_to_context(decoder.get(), &parameters);
    if (rc < 0)
        throw FrameSourceError(SourceFailure::Prepare, rc);
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = threads;
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    rc = avcodec_open2(decoder.get(), codec, nullptr);
    if (rc < 0)
        throw FrameSourceError(SourceFailure::Prepare, rc);

    // The demuxer need not hand over packets nobody decodes.
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        m_format->streams[i]->discard = int(i) == m_selected ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    try {
        m_direct = OpenAviFrameReader(m_path, *m_format, m_selected, *decoder, width, height);
    } catch (const std::bad_alloc&) {
        m_direct.reset();   // FFmpeg's decoding needs less memory up front
    }
    m_decoder = std::move(decoder);
    m_decoderThreads = threads;
    m_lead.reset();
    m_converter.emplace(width, height);
    m_painter.reset();
}

std::int64_t FfmpegSource::duration()
{
    const AVStream* stream = videoStream();
    if (!stream)
        throw FrameSourceError(SourceFailure::Duration, AVERROR(EINVAL));
    const StreamSpan span = spanOf(*m_format, *stream);
    return span.ticks > 0 ? av_rescale_q(span.ticks, span.unit, kHundredNanoseconds) : 0;
}

void FfmpegSource::rewind()
{
    const int rc = seekTo(startSeekTime());
    if (rc < 0)
        throw FrameSourceError(SourceFailure::Start, rc);
}

std::int64_t FfmpegSource::startSeekTime() const
{
    AVStream& stream = *m_format->streams[m_selected];
    std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    // Seeking takes decoding times, which come before the presentation
    // times of reordered frames: an MPEG program stream sought to its start
    // time lands a few frames on and decodes from the next key frame. Its
    // index begins with the first packet, read when the file was probed.
    if (const AVIndexEntry* first = avformat_index_get_entry(&stream, 0))
        start = std::min(start, first->timestamp);
    return start;
}

int FfmpegSource::seekTo(std::int64_t time)
{
    m_played = true;
    m_lead.reset();
    const int rc = av_seek_frame(m_format.get(), m_selected, time, AVSEEK_FLAG_BACKWARD);
    if (rc >= 0)
        avcodec_flush_buffers(m_decoder.get());
    return rc;
}

bool FfmpegSource::listFrameTimes(std::int32_t frame)
{
    if (m_frameTimesComplete || std::size_t(frame) < m_frameTimes.size())
        return true;
    // Listing reads the stream from its start, and playing must go back there.
    if (!m_format->pb || !(m_format->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return false;
    if (m_played && seekTo(startSeekTime()) < 0)
        return false;
    m_played = true;
    // At least twice as far as the last list: plays that start further and
    // further on then read the stream's start only a few times over.
    const std::size_t wanted = std::max(std::size_t(frame) + 1 + std::size_t(kReorderReach), 2 * m_frameTimes.size());
    // Demuxers seek by the times their index holds: most by decoding times,
    // which come before reordered frames' presentation times, and a few by
    // presentation times (MP4 and MOV), where a decoding time would land a
    // key frame early.
    const bool seeksToPts = (m_format->iformat->flags & AVFMT_SEEK_TO_PTS) != 0;
    std::vector<FrameTime> frames;
    PacketPtr packet = makePacket();
    bool complete = false;
    while (frames.size() < wanted) {
        const int rc = av_read_frame(m_format.get(), packet.get());
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            // Where a play would fail, so does the list; where a play's
            // stream ends (the container's own complaints), the list does.
            if (rc != AVERROR_EOF && (rc == AVERROR(ENOMEM) || m_format->pb->error < 0))
                return false;
            complete = true;
            break;
        }
        const AVPacket& read = *packet;
        // Packets flagged for discarding decode into no frame.
        const bool frameOfOurs = read.stream_index == m_selected && !(read.flags & AV_PKT_FLAG_DISCARD);
        const std::int64_t pts = read.pts;
        const std::int64_t dts = read.dts;
        const bool key = (read.flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet.get());
        if (!frameOfOurs)
            continue;
        // Without its time, a frame's place is only known by decoding.
        if (pts == AV_NOPTS_VALUE)
            return false;
        frames.push_back({pts, seeksToPts || dts == AV_NOPTS_VALUE ? pts : std::min(dts, pts), key});
    }
    std::sort(frames.begin(), frames.end(), [](const FrameTime& a, const FrameTime& b) { return a.pts < b.pts; });
    // Two frames of one time: which is first is only known by decoding.
    if (std::adjacent_find(frames.begin(), frames.end(),
                           [](const FrameTime& a, const FrameTime& b) { return a.pts == b.pts; })
        != frames.end())
        return false;
    // The last packets read may yet be joined by earlier frames still unread.
    if (!complete)
        frames.resize(frames.size() - std::size_t(kReorderReach));
    m_frameTimes = std::move(frames);
    m_frameTimesComplete = complete;
    return true;
}

std::optional<VideoInfo> FfmpegSource::video()
{
    const std::int32_t streams = streamCount();
    for (std::int32_t i = 0; i < streams; ++i) {
        if (isVideoStream(i)) {
            VideoInfo info = streamInfo();
            m_duration = duration();
            return info;
        }
    }
    return std::nullopt;
}

void FfmpegSource::play(const PlayLimits& limits, FrameSink& sink)
{
    const bool few = limits.maxFrames > 0 && limits.maxFrames <= kFewFrames;
    // Only a play from the start leaves its frames, with the decoder past
    // them, to the run that follows: the run goes on from the frames decoded
    // ahead instead of wasting them.
    const bool leadsTheRun = few && limits.runFollows && limits.firstFrame <= 0;
    int threads = DecoderThreads(limits.decoderThreads);
    if (few && !leadsTheRun)
        threads = std::min(kFewFramesThreads, threads);
    StreamLimits inStream = InStreamTerms(limits, m_duration, sink.acceptsGrayFrames());
    inStream.paintedFrames = inStream.grayFrames && sink.acceptsPaintedFrames();
    // A source that kept what its last play decoded promised to play as a
    // newly opened one; a play that cannot go on from there opens the file
    // again rather than seek back.
    if (m_lead && (threads != m_decoderThreads || inStream.firstFrame > 0))
        reopen();
    if (!m_decoder || threads != m_decoderThreads)
        enterGrabMode(threads);
    playWithin(inStream, sink, leadsTheRun);
}

void FfmpegSource::playWithin(const StreamLimits& limits, FrameSink& sink, bool leadsTheRun)
{
    if (!m_decoder || !m_converter)
        throw FrameSourceError(SourceFailure::Start, AVERROR(EINVAL));
    if (m_direct && (!m_direct->gray() || limits.grayFrames)) {
        m_direct->play(limits, sink);
        return;
    }
    if (limits.firstFrame > 0) {
        playFrom(limits, sink);
        return;
    }
    // Probing left the first packets buffered, so the first play through
    // the demuxer starts at the beginning without a seek; a later one goes
    // on from what the last play kept, or else must go back.
    std::optional<DecodedLead> lead = std::exchange(m_lead, std::nullopt);
    if (m_played && !lead)
        rewind();
    m_played = true;
    decodeInto(limits, {}, sink, std::move(lead), leadsTheRun);
}

void FfmpegSource::playFrom(const StreamLimits& limits, FrameSink& sink)
{
    const std::int32_t first = limits.firstFrame;
    if (listFrameTimes(first)) {
        if (std::size_t(first) >= m_frameTimes.size())
            return;   // the list is complete and ends before it
        ProducerStart start;
        start.firstTime = m_frameTimes[std::size_t(first)].pts;
        start.origin = m_frameTimes.front().pts;
        int tries = 0;
        for (std::size_t k = std::size_t(first) + 1; k-- > 0 && tries < kSeekTries;) {
            if (!m_frameTimes[k].key)
                continue;
            ++tries;
            if (seekTo(m_frameTimes[k].seekTime) < 0)
                break;
            if (decodeInto(limits, start, sink))
                return;
        }
    }
    if (m_played)
        rewind();
    m_played = true;
    ProducerStart start;
    start.dropFrames = first;
    decodeInto(limits, start, sink);
}

bool FfmpegSource::decodeInto(const StreamLimits& limits, const ProducerStart& start, FrameSink& sink,
                              std::optional<DecodedLead> lead, bool keepLead)
{
    FfmpegFrameProducer producer(*m_format, m_selected, *m_decoder, *m_converter, limits, start);
    if (lead)
        producer.startFrom(std::move(*lead));
    if (keepLead)
        producer.keepLead();
    // A painted frame costs the sink little beside its decoding, so one frame
    // ready behind the sink's keeps it busy; each slot more holds one more of
    // the decoder's frames (3 MB at 1080p) to be faulted in and kept.
    FrameQueue queue(limits.paintedFrames ? kPaintedQueueSlots : kQueueSlots);
    const auto frameBytes = std::int32_t(m_converter->frameBytes());
    {
        // Leaving this scope by any path (a sink exception included) asks the
        // decoding thread to stop and joins it.
        std::jthread decoding;
        try {
            decoding = std::jthread([&](std::stop_token stop) { producer.run(queue, stop); });
        } catch (const std::system_error& e) {
            throw FrameSourceError(SourceFailure::Start, AVERROR(e.code().value()));
        }
        while (DecodedFrame* frame = queue.next()) {
            RecycleOnExit recycle(queue, frame);
            SourceFrame handed;
            handed.sampleTime = frame->sampleTime;
            if (frame->painted) {
                if (!m_painter)
                    m_painter.emplace(m_converter->width(), m_converter->height());
                handed.grayBottomRow = m_painter->hold(*frame->held);
                handed.grayStride = m_converter->width();
                handed.painter = &*m_painter;
            } else if (frame->grayBottomRow != nullptr) {
                handed.grayBottomRow = frame->grayBottomRow;
                handed.grayStride = frame->grayStride;
            } else {
                handed.buffer = frame->pixels;
                handed.bufferLength = frameBytes;
            }
            const std::int32_t status = sink.FrameCB(handed);
            if (status != 0)
                break;
        }
    }
    if (std::exception_ptr error = queue.error())
        std::rethrow_exception(error);
    m_lead = producer.takeLead();
    return !producer.missed();
}
