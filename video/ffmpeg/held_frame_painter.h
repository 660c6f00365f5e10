// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "fileio/page_buffer.h"
#include "video/ffmpeg/ffmpeg_handles.h"
#include "video/ffmpeg/yuv_to_bgr.h"

#include <cstddef>
#include <cstdint>

// Gives the green channel of a decoded YUV frame, and converts the parts of
// it that the sink asks for into a picture of the whole frame's layout, on
// the sink's thread. The frame stays the decoding thread's slot's; green and
// the picture are buffers reused for every frame, so only the converted
// parts of the picture are ever touched.
class HeldFramePainter final : public FramePainter {
public:
    HeldFramePainter(std::int32_t width, std::int32_t height);

    // The frame the next paint() calls convert from (it must outlive them),
    // and its green channel: width x height bytes, rows bottom-up.
    const std::uint8_t* hold(const AVFrame& frame);

    std::uint8_t* paint(std::int32_t left, std::int32_t bottom, std::int32_t width, std::int32_t height) override;

private:
    std::int32_t m_width;
    std::int32_t m_height;
    const AVFrame* m_frame = nullptr;
    YuvToBgr m_yuv;
    // Page buffers: huge pages where the system gives them, so a window
    // drifting over the picture does not fault in page after page.
    orbicrop::fileio::PageBuffer m_picture;
    orbicrop::fileio::PageBuffer m_green;
};
