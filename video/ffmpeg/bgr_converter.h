// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ffmpeg/ffmpeg_handles.h"
#include "video/ffmpeg/yuv_to_bgr.h"

#include <cstddef>
#include <cstdint>

// Brings decoded frames into the sink's layout: width x height pixels (the
// size the stream announced), 3 bytes per pixel in blue, green, red order,
// rows bottom-up, stride exactly width x 3.
//
// Values survive unchanged where the source has them: 8-bit grey is copied
// into all three channels (no range expansion), palette pixels take their
// palette colour, RGB bytes are reordered only. YUV goes through swscale with
// accurate rounding and full chroma interpolation, using the frame's own
// matrix and range. A frame of another size is scaled to the announced one.
//
// Used by the decoding thread only; not thread-safe.
class BgrConverter {
public:
    // Room to allocate past width x height x 3 in every destination buffer:
    // swscale's vector code may store a little past the end of a row.
    static constexpr std::size_t kPadding = 64;

    BgrConverter(int width, int height);

    // Whether frames of this pixel format can be converted at all.
    static bool supports(AVPixelFormat format);

    // The frame's own pixels when they already have the sink's layout and
    // the frame holds the only reference to them (so the sink may write);
    // nullptr otherwise.
    std::uint8_t* inPlace(const AVFrame& frame) const;

    // Writes the frame into destination (frameBytes() + kPadding bytes).
    // False when this frame cannot be converted.
    bool convert(const AVFrame& frame, std::uint8_t* destination);

    // Whether this frame can be handed over as its green channel and
    // converted later, window by window, by a YuvToBgr: it is planar YUV of
    // the announced size, so the window's bytes are those convert() gives.
    bool paintsLater(const AVFrame& frame) const
    {
        return frame.width == m_width && frame.height == m_height && YuvToBgr::handles(AVPixelFormat(frame.format));
    }

    std::size_t frameBytes() const { return std::size_t(m_width) * std::size_t(m_height) * 3; }
    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    bool convertWithSwscale(const AVFrame& frame, std::uint8_t* destination);

    int m_width;
    int m_height;
    YuvToBgr m_yuv;

    // The swscale context and the frame properties it was built for.
    SwsContextPtr m_sws;
    AVPixelFormat m_swsFormat = AV_PIX_FMT_NONE;
    int m_swsWidth = 0;
    int m_swsHeight = 0;
    AVColorSpace m_swsColorspace = AVCOL_SPC_UNSPECIFIED;
    AVColorRange m_swsRange = AVCOL_RANGE_UNSPECIFIED;
};
