// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Owning handles for the FFmpeg objects the frame source uses. Each frees its
// object with the matching FFmpeg call; copies are impossible, moves transfer
// ownership.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <new>

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;

struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

struct SwsContextFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFreer>;

struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryFreer>;

// Allocation failures of these small structs are out-of-memory conditions,
// reported like any other failed allocation.
inline FramePtr makeFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

inline PacketPtr makePacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

// Drops a frame's data at scope exit, keeping the struct for reuse.
class FrameUnref {
public:
    explicit FrameUnref(AVFrame* frame) : m_frame(frame) {}
    ~FrameUnref() { av_frame_unref(m_frame); }
    FrameUnref(const FrameUnref&) = delete;
    FrameUnref& operator=(const FrameUnref&) = delete;

private:
    AVFrame* m_frame;
};
