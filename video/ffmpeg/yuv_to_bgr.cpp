// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/yuv_to_bgr.h"

#include "image/vector_loop.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cassert>
#include <cmath>

namespace {

enum class VerticalSiting { Centred, Top, Bottom };

struct Siting {
    bool horizontallyCentred;
    VerticalSiting vertical;
};

Siting sitingOf(AVChromaLocation location)
{
    switch (location) {
    case AVCHROMA_LOC_LEFT: return {false, VerticalSiting::Centred};
    case AVCHROMA_LOC_TOPLEFT: return {false, VerticalSiting::Top};
    case AVCHROMA_LOC_TOP: return {true, VerticalSiting::Top};
    case AVCHROMA_LOC_BOTTOMLEFT: return {false, VerticalSiting::Bottom};
    case AVCHROMA_LOC_BOTTOM: return {true, VerticalSiting::Bottom};
    default: return {true, VerticalSiting::Centred}; // as stated, or unlabelled (swscale's choice too)
    }
}

// Chroma row blend: out[i + 1] = wa * a[i] + wb * b[i] with wa + wb = 4, and
// the ends replicated into out[0] and out[n + 1].
ORBICROP_VECTOR_LOOP_SSSE3
void blendRows(const std::uint8_t* __restrict a, const std::uint8_t* __restrict b, int wa, int wb,
               std::int16_t* __restrict out, int n)
{
    for (int i = 0; i < n; ++i) out[i + 1] = std::int16_t(wa * a[i] + wb * b[i]);
    out[0] = out[1];
    out[n + 1] = out[n];
}

// Horizontal interpolation from an end-padded row p (sample i at p[i + 1])
// to width pixels, scaling by 4 more.
ORBICROP_VECTOR_LOOP_SSSE3
void upsampleCentred(const std::int16_t* __restrict p, std::int16_t* __restrict out, int width)
{
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        out[2 * i] = std::int16_t(3 * p[i + 1] + p[i]);
        out[2 * i + 1] = std::int16_t(3 * p[i + 1] + p[i + 2]);
    }
    if (width & 1) out[width - 1] = std::int16_t(3 * p[pairs + 1] + p[pairs]);
}

ORBICROP_VECTOR_LOOP_SSSE3
void upsampleCosited(const std::int16_t* __restrict p, std::int16_t* __restrict out, int width)
{
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        out[2 * i] = std::int16_t(4 * p[i + 1]);
        out[2 * i + 1] = std::int16_t(2 * p[i + 1] + 2 * p[i + 2]);
    }
    if (width & 1) out[width - 1] = std::int16_t(4 * p[pairs + 1]);
}

ORBICROP_VECTOR_LOOP_SSSE3
void widen(const std::int16_t* __restrict p, std::int16_t* __restrict out, int width)
{
    for (int x = 0; x < width; ++x) out[x] = std::int16_t(4 * p[x + 1]);
}

struct Coefficients {
    std::int32_t luma;       // 2^18 x luma gain
    std::int32_t lumaOffset; // black level
    std::int32_t blueU;      // 2^14 x chroma gains
    std::int32_t greenU;
    std::int32_t greenV;
    std::int32_t redV;
};

Coefficients coefficientsFor(AVColorSpace colorspace, bool fullRange)
{
    double kr = 0.299, kb = 0.114; // BT.601, also for unlabelled video
    switch (colorspace) {
    case AVCOL_SPC_BT709: kr = 0.2126; kb = 0.0722; break;
    case AVCOL_SPC_FCC: kr = 0.30; kb = 0.11; break;
    case AVCOL_SPC_SMPTE240M: kr = 0.212; kb = 0.087; break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: kr = 0.2627; kb = 0.0593; break;
    default: break;
    }
    const double kg = 1.0 - kr - kb;
    const double lumaGain = fullRange ? 1.0 : 255.0 / 219.0;
    const double chromaGain = fullRange ? 1.0 : 255.0 / 224.0;
    auto fixed = [](double value, int bits) { return std::int32_t(std::lround(value * double(1 << bits))); };
    return {fixed(lumaGain, 18),
            fullRange ? 0 : 16,
            fixed(2.0 * (1.0 - kb) * chromaGain, 14),
            fixed(2.0 * kb * (1.0 - kb) / kg * chromaGain, 14),
            fixed(2.0 * kr * (1.0 - kr) / kg * chromaGain, 14),
            fixed(2.0 * (1.0 - kr) * chromaGain, 14)};
}

// u and v are chroma scaled by 16 (2048 is neutral); the sums carry 18
// fractional bits.
ORBICROP_VECTOR_LOOP_SSSE3
void convertRow(const std::uint8_t* __restrict y, const std::int16_t* __restrict u, const std::int16_t* __restrict v,
                std::uint8_t* __restrict bgr, int width, Coefficients c)
{
    for (int x = 0; x < width; ++x) {
        const std::int32_t l = c.luma * (y[x] - c.lumaOffset) + (1 << 17);
        const std::int32_t cu = u[x] - 2048;
        const std::int32_t cv = v[x] - 2048;
        const std::int32_t b = (l + c.blueU * cu) >> 18;
        const std::int32_t g = (l - c.greenU * cu - c.greenV * cv) >> 18;
        const std::int32_t r = (l + c.redV * cv) >> 18;
        bgr[3 * x] = std::uint8_t(std::clamp(b, 0, 255));
        bgr[3 * x + 1] = std::uint8_t(std::clamp(g, 0, 255));
        bgr[3 * x + 2] = std::uint8_t(std::clamp(r, 0, 255));
    }
}

} // namespace

bool YuvToBgr::handles(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: return true;
    default: return false;
    }
}

void YuvToBgr::convert(const AVFrame& frame, std::uint8_t* destination)
{
    const auto format = AVPixelFormat(frame.format);
    assert(handles(format));
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int width = frame.width;
    const int height = frame.height;
    const int shiftX = descriptor->log2_chroma_w;
    const int shiftY = descriptor->log2_chroma_h;
    const int chromaWidth = -((-width) >> shiftX);
    const int chromaHeight = -((-height) >> shiftY);

    const bool jpeg = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P;
    const Coefficients c = coefficientsFor(frame.colorspace, jpeg || frame.color_range == AVCOL_RANGE_JPEG);
    const Siting siting = sitingOf(frame.chroma_location);

    m_verticalU.resize(std::size_t(chromaWidth) + 2);
    m_verticalV.resize(std::size_t(chromaWidth) + 2);
    m_fullU.resize(std::size_t(width));
    m_fullV.resize(std::size_t(width));

    auto chromaRow = [&](int plane, int row) {
        return frame.data[plane] + std::ptrdiff_t(std::clamp(row, 0, chromaHeight - 1)) * frame.linesize[plane];
    };
    const std::size_t rowBytes = std::size_t(width) * 3;

    for (int y = 0; y < height; ++y) {
        // The two chroma rows around picture row y and their weights (sum 4).
        int near = y >> shiftY, far = near, nearWeight = 4;
        if (shiftY == 1) {
            const bool even = (y & 1) == 0;
            switch (siting.vertical) {
            case VerticalSiting::Centred:
                far = even ? near - 1 : near + 1;
                nearWeight = 3;
                break;
            case VerticalSiting::Top:
                if (!even) { far = near + 1; nearWeight = 2; }
                break;
            case VerticalSiting::Bottom:
                if (even) { far = near - 1; nearWeight = 2; }
                break;
            }
        }
        blendRows(chromaRow(1, near), chromaRow(1, far), nearWeight, 4 - nearWeight, m_verticalU.data(), chromaWidth);
        blendRows(chromaRow(2, near), chromaRow(2, far), nearWeight, 4 - nearWeight, m_verticalV.data(), chromaWidth);

        if (shiftX == 0) {
            widen(m_verticalU.data(), m_fullU.data(), width);
            widen(m_verticalV.data(), m_fullV.data(), width);
        } else if (siting.horizontallyCentred) {
            upsampleCentred(m_verticalU.data(), m_fullU.data(), width);
            upsampleCentred(m_verticalV.data(), m_fullV.data(), width);
        } else {
            upsampleCosited(m_verticalU.data(), m_fullU.data(), width);
            upsampleCosited(m_verticalV.data(), m_fullV.data(), width);
        }

        convertRow(frame.data[0] + std::ptrdiff_t(y) * frame.linesize[0], m_fullU.data(), m_fullV.data(),
                   destination + std::size_t(height - 1 - y) * rowBytes, width, c);
    }
}
