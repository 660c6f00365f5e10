// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "video/ffmpeg/ffmpeg_handles.h"
#include "video/ffmpeg/yuv_to_bgr.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Converts the parts of a decoded YUV frame that the sink asks for into a
// picture of the whole frame's layout, on the sink's thread. The frame stays
// the decoding thread's slot's; the picture is one buffer reused for every
// frame, so only the converted parts are ever touched.
class HeldFramePainter final : public FramePainter {
public:
    HeldFramePainter(std::int32_t width, std::int32_t height);

    // The frame the next paint() calls convert from; it must outlive them.
    void hold(const AVFrame& frame) { m_frame = &frame; }

    std::uint8_t* paint(std::int32_t left, std::int32_t bottom, std::int32_t width, std::int32_t height) override;

private:
    std::int32_t m_width;
    std::int32_t m_height;
    const AVFrame* m_frame = nullptr;
    YuvToBgr m_yuv;
    std::unique_ptr<std::uint8_t[]> m_picture;
};
