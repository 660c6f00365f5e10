// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/avi_frame_reader.h"

#include "video/frame_source.h"
#include "video/ordered_slots.h"
#include "fileio/page_buffer.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>

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

struct AviFrameReader::Slot {
    orbicrop::fileio::PageBuffer chunk;      // header and pixels, allocated once and reused
    bool read = false;                       // the chunk was read whole
    double sampleTime = 0.0;
    AheadMeasurement measured;
};

std::int64_t AviFrameReader::streamStart() const
{
    // As the decoder's timestamps: from the stream's start, or the first frame's.
    return m_start != AV_NOPTS_VALUE ? m_start : m_entries.front().timestamp;
}

std::uint32_t AviFrameReader::framesWithin(const ProducerLimits& limits) const
{
    const std::int64_t start = streamStart();
    std::uint32_t count = 0;
    for (const Entry& entry : m_entries) {
        if (limits.byTime && av_compare_ts(entry.timestamp - start, m_timeBase, limits.stopPosition,
                                           kHundredNanoseconds) >= 0)
            break;
        if (limits.maxFrames > 0 && count >= std::uint32_t(limits.maxFrames))
            break;
        ++count;
    }
    return count;
}

FrameView AviFrameReader::picture(const Slot& slot) const
{
    const int rowBytes = int(m_chunkBytes / std::uint32_t(m_height));
    const std::uint8_t* pixels = slot.chunk.data() + kChunkHeader;
    if (!m_gray)
        return {pixels, rowBytes, rowBytes / 3, m_height, 3};
    // A Y800 chunk is stored top-down: the view's row 0, the bottom one, is the last.
    return {pixels + std::ptrdiff_t(m_height - 1) * rowBytes, -std::ptrdiff_t(rowBytes), rowBytes, m_height, 1};
}

void AviFrameReader::fill(Slot& slot, std::uint32_t index, const FrameMeasurer* measurer) const
{
    const Entry& entry = m_entries[index];
    slot.measured.valid = false;
    slot.read = readChunk(entry, slot.chunk.data());
    slot.sampleTime = double(entry.timestamp - streamStart()) * av_q2d(m_timeBase);
    if (slot.read && measurer != nullptr)
        measurer->measure(picture(slot), slot.measured);
}

void AviFrameReader::play(const ProducerLimits& limits, FrameSink& sink)
{
    // The caller decodes grey frames for a sink that wants them spread over three bytes.
    if (m_gray && !limits.grayFrames)
        throw FrameSourceError(SourceFailure::Decode, AVERROR(EINVAL));
    const std::uint32_t count = framesWithin(limits);
    if (count == 0)
        return;
    const std::optional<FrameMeasurer> measurer = sink.measurerAhead(false);
    const FrameMeasurer* measuring = measurer ? &*measurer : nullptr;
    const unsigned readers = ReadingThreads();
    std::optional<OrderedSlots<Slot>> ring;
    try {
        // A slot a reader and one in the sink's hands: more bought no speed, only memory.
        ring.emplace(std::min<std::size_t>(readers + 1, count), count);
        for (Slot& slot : ring->slots())
            slot.chunk = orbicrop::fileio::PageBuffer(kChunkHeader + m_chunkBytes);
    } catch (const std::bad_alloc&) {
        throw FrameSourceError(SourceFailure::Start, AVERROR(ENOMEM));
    }

    const auto deliver = [&](Slot& slot) -> std::int32_t {
        if (!slot.read)
            return 1;   // the end of what the file still holds
        if (slot.measured.valid)
            sink.MeasuredFrameCB(slot.measured);
        const FrameView view = picture(slot);
        if (m_gray)
            return sink.GrayBufferCB(slot.sampleTime, view.data, view.stride);
        return sink.BufferCB(slot.sampleTime, slot.chunk.data() + kChunkHeader, std::int32_t(m_chunkBytes));
    };

    // Declared after the ring: stopped and joined before it goes, however playing ends.
    std::vector<std::jthread> threads;
    threads.reserve(readers);
    try {
        for (unsigned k = 0; k < readers; ++k) {
            threads.emplace_back([&](std::stop_token stop) {
                std::uint32_t index = 0;
                while (Slot* slot = ring->claim(stop, index)) {
                    fill(*slot, index, measuring);
                    ring->publish(index);
                }
            });
        }
    } catch (const std::system_error& e) {
        if (threads.empty())
            throw FrameSourceError(SourceFailure::Start, AVERROR(e.code().value()));
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        Slot& slot = ring->take(i);
        const std::int32_t status = deliver(slot);
        ring->giveBack(i);
        if (status != 0)
            return;
    }
}
