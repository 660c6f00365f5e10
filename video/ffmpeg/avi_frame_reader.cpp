// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/avi_frame_reader.h"

#include "video/frame_source.h"

#include <system_error>

extern "C" {
#include <libavutil/mathematics.h>
}

#include <cstring>

using orbicrop::fileio::InputFile;

namespace {

constexpr AVRational kHundredNanoseconds{1, 10'000'000};
constexpr std::size_t kChunkHeader = 8;   // four-character code, then the size

std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Picture row y (0 = top) of stored pixels whose rows lie top-down or bottom-up.
const std::uint8_t* StoredRow(const std::uint8_t* pixels, int y, int height, std::size_t rowBytes, bool topDown)
{
    return pixels + std::size_t(topDown ? y : height - 1 - y) * rowBytes;
}

} // namespace

AviFrameReader::AviFrameReader(InputFile file, std::vector<Entry> entries, std::uint32_t chunkBytes, bool gray,
                               int height, AVRational timeBase, std::int64_t start, std::uint16_t streamTag)
    : m_file(std::move(file)), m_entries(std::move(entries)), m_chunkBytes(chunkBytes), m_gray(gray),
      m_height(height), m_timeBase(timeBase), m_start(start), m_streamTag(streamTag)
{
}

std::unique_ptr<AviFrameReader> AviFrameReader::open(const std::string& path, AVFormatContext& format,
                                                     int streamIndex, AVCodecContext& decoder, int width, int height)
{
    const AVStream& stream = *format.streams[streamIndex];
    const AVCodecParameters& parameters = *stream.codecpar;
    if (std::strcmp(format.iformat->name, "avi") != 0 || parameters.codec_id != AV_CODEC_ID_RAWVIDEO
        || streamIndex > 99)
        return nullptr;
    const auto pixelFormat = AVPixelFormat(parameters.format);
    const bool gray = pixelFormat == AV_PIX_FMT_GRAY8;
    if (!gray && pixelFormat != AV_PIX_FMT_BGR24)
        return nullptr;
    const std::size_t rowBytes = std::size_t(width) * (gray ? 1 : 3);
    const std::size_t frameBytes = rowBytes * std::size_t(height);
    if (frameBytes == 0 || frameBytes > UINT32_MAX - kChunkHeader)
        return nullptr;

    InputFile file;
    try {
        file = InputFile::open(path);
    } catch (const std::system_error&) {
        return nullptr;   // FFmpeg reads it the usual way, or says why not
    }
    const std::uint64_t fileSize = file.size();
    const int count = avformat_index_get_entries_count(&stream);
    if (count <= 0 || stream.nb_frames != count)
        return nullptr;
    std::vector<Entry> entries;
    entries.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(const_cast<AVStream*>(&stream), i);
        if (!e || e->size != int(frameBytes) || e->pos < 0
            || std::uint64_t(e->pos) + kChunkHeader + frameBytes > fileSize
            || (!entries.empty() && e->timestamp <= entries.back().timestamp))
            return nullptr;
        entries.push_back({e->pos, e->timestamp});
    }

    // The chunk id starts with the stream number in two decimal digits.
    const std::uint16_t streamTag = std::uint16_t('0' + streamIndex / 10) | std::uint16_t('0' + streamIndex % 10) << 8;
    std::unique_ptr<AviFrameReader> reader(new AviFrameReader(std::move(file), std::move(entries),
                                                              std::uint32_t(frameBytes), gray, height,
                                                              stream.time_base, stream.start_time, streamTag));

    // The decoder's picture of the first chunk must be ours, byte for byte.
    PacketPtr packet = makePacket();
    if (av_new_packet(packet.get(), int(frameBytes)) < 0)
        return nullptr;
    std::vector<std::uint8_t> chunk(kChunkHeader + frameBytes);
    if (!reader->readChunk(reader->m_entries.front(), chunk.data()))
        return nullptr;
    std::memcpy(packet->data, chunk.data() + kChunkHeader, frameBytes);
    packet->pts = packet->dts = reader->m_entries.front().timestamp;
    packet->flags |= AV_PKT_FLAG_KEY;
    FramePtr frame = makeFrame();
    const bool decoded = avcodec_send_packet(&decoder, packet.get()) >= 0
                         && avcodec_receive_frame(&decoder, frame.get()) >= 0;
    avcodec_flush_buffers(&decoder);
    if (!decoded || frame->format != pixelFormat || frame->width != width || frame->height != height
        || frame->best_effort_timestamp != reader->m_entries.front().timestamp || frame->linesize[0] == 0)
        return nullptr;
    // Taken as the decoder lays them out: 24-bit rows bottom-up (the sink's
    // own order), grey rows top-down (a Y800 chunk).
    const bool topDown = frame->linesize[0] > 0;
    if (topDown != gray)
        return nullptr;
    const std::uint8_t* pixels = chunk.data() + kChunkHeader;
    for (int y = 0; y < height; ++y) {
        if (std::memcmp(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0],
                        StoredRow(pixels, y, height, rowBytes, topDown), rowBytes) != 0)
            return nullptr;
    }
    return reader;
}

bool AviFrameReader::readChunk(const Entry& entry, std::uint8_t* chunk) const
{
    const std::size_t bytes = kChunkHeader + m_chunkBytes;
    try {
        if (m_file.readAt(std::uint64_t(entry.position), {chunk, bytes}) != bytes)
            return false;
    } catch (const std::system_error&) {
        return false;
    }
    return (std::uint16_t(chunk[0]) | std::uint16_t(chunk[1]) << 8) == m_streamTag && ReadLe32(chunk + 4) == m_chunkBytes;
}

void AviFrameReader::run(FrameQueue& queue, std::stop_token stop, ProducerLimits limits) noexcept
{
    try {
        publishAll(queue, stop, limits);
    } catch (...) {
        queue.finish(std::current_exception());
        return;
    }
    queue.finish(nullptr);
}

void AviFrameReader::publishAll(FrameQueue& queue, std::stop_token stop, ProducerLimits limits)
{
    // The caller decodes grey frames for a sink that wants them spread over three bytes.
    if (m_gray && !limits.grayFrames)
        throw FrameSourceError(SourceFailure::Decode, AVERROR(EINVAL));
    const std::size_t rowBytes = m_chunkBytes / std::size_t(m_height);
    std::int32_t delivered = 0;
    // As the decoder's timestamps: from the stream's start, or the first frame's.
    const std::int64_t start = m_start != AV_NOPTS_VALUE ? m_start : m_entries.front().timestamp;
    for (const Entry& entry : m_entries) {
        if (stop.stop_requested())
            return;
        const std::int64_t time = entry.timestamp - start;
        if (limits.byTime && av_compare_ts(time, m_timeBase, limits.stopPosition, kHundredNanoseconds) >= 0)
            return;
        DecodedFrame* slot = queue.acquire(stop);
        if (!slot)
            return;
        if (!slot->storage)
            slot->storage = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkHeader + m_chunkBytes);
        if (!readChunk(entry, slot->storage.get())) {
            queue.recycle(slot);
            return;
        }
        std::uint8_t* pixels = slot->storage.get() + kChunkHeader;
        slot->pixels = nullptr;
        slot->grayBottomRow = nullptr;
        if (m_gray) {
            slot->grayBottomRow = pixels + std::ptrdiff_t(m_height - 1) * std::ptrdiff_t(rowBytes);
            slot->grayStride = -std::ptrdiff_t(rowBytes);
        } else {
            slot->pixels = pixels;
        }
        slot->sampleTime = double(time) * av_q2d(m_timeBase);
        queue.publish(slot);
        if (limits.maxFrames > 0 && ++delivered >= limits.maxFrames)
            return;
    }
}
