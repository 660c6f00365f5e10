// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/bgr_converter.h"

#include "image/vector_loop.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <array>
#include <cstring>

namespace {

// swscale wants the plain YUV format and the range given separately; the
// yuvj* formats are full-range YUV.
AVPixelFormat withoutJpegRange(AVPixelFormat format, bool& fullRange)
{
    fullRange = true;
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: fullRange = false; return format;
    }
}

int swsColorspace(AVColorSpace colorspace)
{
    switch (colorspace) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE170M: return SWS_CS_SMPTE170M;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return SWS_CS_DEFAULT;   // BT.601, as for unlabelled standard-definition video
    }
}

// Picture row y (0 = top) of plane 0; linesize may be negative.
const std::uint8_t* sourceRow(const AVFrame& frame, int y)
{
    return frame.data[0] + std::ptrdiff_t(y) * frame.linesize[0];
}

// Kept free of calls and aliasing so that the compiler vectorises them.
ORBICROP_VECTOR_LOOP_SSSE3
void expandGrayRow(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width)
{
    for (int x = 0; x < width; ++x) {
        const std::uint8_t v = src[x];
        dst[3 * x] = v;
        dst[3 * x + 1] = v;
        dst[3 * x + 2] = v;
    }
}

ORBICROP_VECTOR_LOOP_SSSE3
void swapRgbRow(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width)
{
    for (int x = 0; x < width; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
    }
}

void paletteRow(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width,
                const std::array<std::uint8_t, 256 * 3>& colours)
{
    for (int x = 0; x < width; ++x)
        std::memcpy(dst + 3 * x, colours.data() + 3 * src[x], 3);
}

}   // namespace

BgrConverter::BgrConverter(int width, int height) : m_width(width), m_height(height) {}

bool BgrConverter::supports(AVPixelFormat format)
{
    bool fullRange = false;
    return sws_isSupportedInput(withoutJpegRange(format, fullRange)) > 0;
}

std::uint8_t* BgrConverter::inPlace(const AVFrame& frame) const
{
    // A bottom-up BGR24 source (an uncompressed AVI) decodes to exactly the
    // sink's layout, seen top-down through a negative stride.
    const int rowBytes = m_width * 3;
    if (frame.format != AV_PIX_FMT_BGR24 || frame.width != m_width || frame.height != m_height
        || frame.linesize[0] != -rowBytes || !frame.buf[0] || frame.buf[1]
        || !av_frame_is_writable(const_cast<AVFrame*>(&frame)))
        return nullptr;
    return frame.data[0] - std::ptrdiff_t(m_height - 1) * rowBytes;
}

bool BgrConverter::convert(const AVFrame& frame, std::uint8_t* destination)
{
    if (frame.width != m_width || frame.height != m_height)
        return convertWithSwscale(frame, destination);

    const std::size_t rowBytes = std::size_t(m_width) * 3;
    auto destinationRow = [&](int y) { return destination + std::size_t(m_height - 1 - y) * rowBytes; };

    switch (frame.format) {
    case AV_PIX_FMT_BGR24:
        for (int y = 0; y < m_height; ++y)
            std::memcpy(destinationRow(y), sourceRow(frame, y), rowBytes);
        return true;
    case AV_PIX_FMT_RGB24:
        for (int y = 0; y < m_height; ++y)
            swapRgbRow(sourceRow(frame, y), destinationRow(y), m_width);
        return true;
    case AV_PIX_FMT_GRAY8:
        for (int y = 0; y < m_height; ++y)
            expandGrayRow(sourceRow(frame, y), destinationRow(y), m_width);
        return true;
    case AV_PIX_FMT_PAL8: {
        if (!frame.data[1])
            return false;
        // Palette entries are native-endian 0xAARRGGBB.
        std::array<std::uint8_t, 256 * 3> colours{};
        for (int i = 0; i < 256; ++i) {
            std::uint32_t argb = 0;
            std::memcpy(&argb, frame.data[1] + 4 * i, 4);
            colours[3 * i] = std::uint8_t(argb);
            colours[3 * i + 1] = std::uint8_t(argb >> 8);
            colours[3 * i + 2] = std::uint8_t(argb >> 16);
        }
        for (int y = 0; y < m_height; ++y)
            paletteRow(sourceRow(frame, y), destinationRow(y), m_width, colours);
        return true;
    }
    default:
        if (YuvToBgr::handles(AVPixelFormat(frame.format))) {
            m_yuv.convert(frame, destination);
            return true;
        }
        return convertWithSwscale(frame, destination);
    }
}

bool BgrConverter::convertWithSwscale(const AVFrame& frame, std::uint8_t* destination)
{
    const auto format = AVPixelFormat(frame.format);
    const auto colorspace = frame.colorspace;
    const auto range = frame.color_range;
    if (!m_sws || format != m_swsFormat || frame.width != m_swsWidth || frame.height != m_swsHeight
        || colorspace != m_swsColorspace || range != m_swsRange) {
        m_sws.reset();
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
        if (!descriptor || frame.width <= 0 || frame.height <= 0)
            return false;

        bool fullRange = false;
        const AVPixelFormat plainFormat = withoutJpegRange(format, fullRange);
        // Accurate rounding and full chroma interpolation keep the colours as
        // close to the source as swscale can; the bilinear filter only
        // matters for chroma upsampling and for frames that change size.
        constexpr int kFlags = SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT;
        SwsContextPtr sws(sws_getContext(frame.width, frame.height, plainFormat, m_width, m_height, AV_PIX_FMT_BGR24,
                                         kFlags, nullptr, nullptr, nullptr));
        if (!sws)
            return false;

        const bool rgb = (descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0;
        if (!rgb) {
            // Grey is full range to swscale as it is to us; YUV follows its label.
            const bool gray = descriptor->nb_components <= 2;
            const bool sourceFull = fullRange || gray || range == AVCOL_RANGE_JPEG;
            if (sws_setColorspaceDetails(sws.get(), sws_getCoefficients(swsColorspace(colorspace)), sourceFull ? 1 : 0,
                                         sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16)
                < 0)
                return false;
        }
        m_sws = std::move(sws);
        m_swsFormat = format;
        m_swsWidth = frame.width;
        m_swsHeight = frame.height;
        m_swsColorspace = colorspace;
        m_swsRange = range;
    }

    // Writing from the last row upwards with a negative stride turns the
    // top-down picture into bottom-up rows in one pass.
    const int rowBytes = m_width * 3;
    std::uint8_t* const planes[4] = {destination + std::size_t(m_height - 1) * std::size_t(rowBytes), nullptr, nullptr,
                                     nullptr};
    const int strides[4] = {-rowBytes, 0, 0, 0};
    const int written = sws_scale(m_sws.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    return written == m_height;
}
