// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A file decoded by FFmpeg's own libraries (its demuxer and decoder, none of
// our code), to hold our readers against.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reference {

// A frame as FFmpeg decodes it: its time in the stream's time base from the
// stream's first frame, and its rows bottom-up (24-bit) or top-down (grey),
// as our sinks receive them.
struct DecodedFrame {
    std::int64_t time = 0;
    double seconds = 0.0;   // the same time in seconds
    int format = AV_PIX_FMT_NONE;
    std::vector<std::uint8_t> pixels;
};

// Every frame of the file's first stream through FFmpeg's demuxer and
// decoder, in the order they come out; nullopt when FFmpeg cannot open it.
inline std::optional<std::vector<DecodedFrame>> DecodeAll(const std::string& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::vector<DecodedFrame> frames;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool opened = avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams > 0;
    if (opened) {
        const AVCodecParameters& parameters = *format->streams[0]->codecpar;
        decoder = avcodec_alloc_context3(avcodec_find_decoder(parameters.codec_id));
        opened = decoder && avcodec_parameters_to_context(decoder, &parameters) >= 0
            && avcodec_open2(decoder, nullptr, nullptr) >= 0;
    }
    std::optional<std::int64_t> first;
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            DecodedFrame out;
            if (!first)
                first = frame->best_effort_timestamp;
            out.time = frame->best_effort_timestamp - *first;
            out.seconds = double(out.time) * av_q2d(format->streams[0]->time_base);
            out.format = frame->format;
            const int rowBytes = frame->width * (frame->format == AV_PIX_FMT_GRAY8 ? 1 : 3);
            const bool bottomUp = frame->format != AV_PIX_FMT_GRAY8;
            for (int y = 0; y < frame->height; ++y) {
                const int row = bottomUp ? frame->height - 1 - y : y;
                const std::uint8_t* from = frame->data[0] + std::ptrdiff_t(row) * frame->linesize[0];
                out.pixels.insert(out.pixels.end(), from, from + rowBytes);
            }
            frames.push_back(std::move(out));
            av_frame_unref(frame);
        }
    };
    while (opened && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == 0 && avcodec_send_packet(decoder, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    if (opened && avcodec_send_packet(decoder, nullptr) >= 0)
        receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    if (!opened)
        return std::nullopt;
    return frames;
}

}   // namespace reference
