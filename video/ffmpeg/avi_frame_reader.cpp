// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/avi_frame_reader.h"

#include "video/avi/frame_chunks.h"

#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

using orbicrop::fileio::InputFile;

namespace {

// Picture row y (0 = top) of stored pixels whose rows lie top-down or bottom-up.
const std::uint8_t* StoredRow(const std::uint8_t* pixels, int y, int height, std::size_t rowBytes, bool topDown)
{
    return pixels + std::size_t(topDown ? y : height - 1 - y) * rowBytes;
}

// The stream's frames as FFmpeg's index lists them, when it lists every
// frame the header declares, each a whole chunk of frameBytes inside the
// file, in time order, and exactly as the file holds them.
std::optional<std::vector<AviChunkPlayer::Entry>> IndexedFrames(const InputFile& file, const AVFormatContext& format,
                                                                int streamIndex, std::size_t frameBytes)
{
    const AVStream& stream = *format.streams[streamIndex];
    const int count = avformat_index_get_entries_count(&stream);
    if (count <= 0 || stream.nb_frames != count)
        return std::nullopt;
    const std::uint64_t fileSize = file.size();
    std::vector<AviChunkPlayer::Entry> entries;
    std::vector<std::int64_t> positions;
    entries.reserve(std::size_t(count));
    positions.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(const_cast<AVStream*>(&stream), i);
        if (!e || e->size != int(frameBytes) || e->pos < 0
            || std::uint64_t(e->pos) + AviChunkPlayer::kChunkHeader + frameBytes > fileSize
            || (!entries.empty() && e->timestamp <= entries.back().timestamp))
            return std::nullopt;
        entries.push_back({e->pos, e->timestamp});
        positions.push_back(e->pos);
    }
    // The demuxer plays the movie lists in file order, whatever the index says.
    if (!FramesAreExactlyIndexed(file, streamIndex, int(format.nb_streams), std::uint32_t(frameBytes), positions))
        return std::nullopt;
    return entries;
}

// Whether the decoder makes of the reader's first chunk exactly the picture
// the reader hands over: the same pixel format, size and time, rows as the
// reader takes them (24-bit bottom-up, grey top-down), every byte the same.
// The decoder is flushed again before this returns.
bool DecodesAsRead(const AviChunkPlayer& reader, AVCodecContext& decoder, AVPixelFormat pixelFormat, int width,
                   int height)
{
    const std::size_t rowBytes = std::size_t(width) * (reader.gray() ? 1 : 3);
    const std::size_t frameBytes = rowBytes * std::size_t(height);
    PacketPtr packet = makePacket();
    if (av_new_packet(packet.get(), int(frameBytes)) < 0)
        return false;
    std::vector<std::uint8_t> chunk(AviChunkPlayer::kChunkHeader + frameBytes);
    const AviChunkPlayer::Entry& first = reader.entries().front();
    if (!reader.readChunk(first, chunk.data()))
        return false;
    std::memcpy(packet->data, chunk.data() + AviChunkPlayer::kChunkHeader, frameBytes);
    packet->pts = packet->dts = first.timestamp;
    packet->flags |= AV_PKT_FLAG_KEY;
    FramePtr frame = makeFrame();
    const bool decoded =
        avcodec_send_packet(&decoder, packet.get()) >= 0 && avcodec_receive_frame(&decoder, frame.get()) >= 0;
    avcodec_flush_buffers(&decoder);
    if (!decoded || frame->format != pixelFormat || frame->width != width || frame->height != height
        || frame->best_effort_timestamp != first.timestamp || frame->linesize[0] == 0)
        return false;
    const bool topDown = frame->linesize[0] > 0;
    if (topDown != reader.gray())
        return false;
    const std::uint8_t* pixels = chunk.data() + AviChunkPlayer::kChunkHeader;
    for (int y = 0; y < height; ++y) {
        if (std::memcmp(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0],
                        StoredRow(pixels, y, height, rowBytes, topDown), rowBytes)
            != 0)
            return false;
    }
    return true;
}

}   // namespace

std::unique_ptr<AviChunkPlayer> OpenAviFrameReader(const std::string& path, AVFormatContext& format, int streamIndex,
                                                   AVCodecContext& decoder, int width, int height)
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
    if (frameBytes == 0 || frameBytes > UINT32_MAX - AviChunkPlayer::kChunkHeader)
        return nullptr;

    InputFile file;
    try {
        file = InputFile::open(path);
    } catch (const std::system_error&) {
        return nullptr;   // FFmpeg reads it the usual way, or says why not
    }
    std::optional<std::vector<AviChunkPlayer::Entry>> entries = IndexedFrames(file, format, streamIndex, frameBytes);
    if (!entries)
        return nullptr;
    // Times as decoding gives them: from the first frame's (the demuxer
    // reports a start of 0 whatever the stream header says).
    const std::int64_t start = entries->front().timestamp;
    auto reader = std::make_unique<AviChunkPlayer>(
        std::move(file), std::move(*entries), std::uint32_t(width), std::uint32_t(height), gray,
        AviTimeBase{stream.time_base.num, stream.time_base.den}, start, streamIndex);
    if (!DecodesAsRead(*reader, decoder, pixelFormat, width, height))
        return nullptr;
    return reader;
}
