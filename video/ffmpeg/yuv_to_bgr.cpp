// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/yuv_to_bgr.h"

#include "image/vector_loop.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cassert>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#define ORBICROP_AVX2_YUV_ROWS 1
#endif

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
    default: return {true, VerticalSiting::Centred};   // as stated, or unlabelled (swscale's choice too)
    }
}

// Chroma row blend: out[i + 1] = wa * a[i] + wb * b[i] with wa + wb = 4, and
// the ends replicated into out[0] and out[n + 1].
ORBICROP_VECTOR_LOOP_SSSE3
void blendRows(const std::uint8_t* __restrict a, const std::uint8_t* __restrict b, int wa, int wb,
               std::int16_t* __restrict out, int n)
{
    for (int i = 0; i < n; ++i)
        out[i + 1] = std::int16_t(wa * a[i] + wb * b[i]);
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
    if (width & 1)
        out[width - 1] = std::int16_t(3 * p[pairs + 1] + p[pairs]);
}

ORBICROP_VECTOR_LOOP_SSSE3
void upsampleCosited(const std::int16_t* __restrict p, std::int16_t* __restrict out, int width)
{
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        out[2 * i] = std::int16_t(4 * p[i + 1]);
        out[2 * i + 1] = std::int16_t(2 * p[i + 1] + 2 * p[i + 2]);
    }
    if (width & 1)
        out[width - 1] = std::int16_t(4 * p[pairs + 1]);
}

ORBICROP_VECTOR_LOOP_SSSE3
void widen(const std::int16_t* __restrict p, std::int16_t* __restrict out, int width)
{
    for (int x = 0; x < width; ++x)
        out[x] = std::int16_t(4 * p[x + 1]);
}

struct Coefficients {
    std::int32_t luma;         // 2^18 x luma gain
    std::int32_t lumaOffset;   // black level
    std::int32_t blueU;        // 2^14 x chroma gains
    std::int32_t greenU;
    std::int32_t greenV;
    std::int32_t redV;
};

Coefficients coefficientsFor(AVColorSpace colorspace, bool fullRange)
{
    double kr = 0.299, kb = 0.114;   // BT.601, also for unlabelled video
    switch (colorspace) {
    case AVCOL_SPC_BT709:
        kr = 0.2126;
        kb = 0.0722;
        break;
    case AVCOL_SPC_FCC:
        kr = 0.30;
        kb = 0.11;
        break;
    case AVCOL_SPC_SMPTE240M:
        kr = 0.212;
        kb = 0.087;
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        kr = 0.2627;
        kb = 0.0593;
        break;
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

#if defined(ORBICROP_AVX2_YUV_ROWS)
// The same sums as convertRow, exact, 16 pixels at a time. vpmaddwd forms
// a + b from two 16-bit products in a 32-bit lane without loss, so every
// coefficient goes in as a pair of 16-bit factors: the luma gain (about
// 2^18) as 128 x (gain >> 7) + (gain & 127) on (y' << 7, y'), where y' << 7
// stays within 16 bits for y' in -256..255, and a chroma gain that may pass
// 2^15 (blue, with limited range) as two halves on the same sample twice.
// Saturating to 16 and then to 8 bits is exactly the clamp to 0..255.
struct RowPairs {
    std::int16_t lumaHigh, lumaLow;   // on (y' << 7, y')
    std::int16_t blue0, blue1;        // on (cu, cu)
    std::int16_t green0, green1;      // on (cu, cv), negated
    std::int16_t red0, red1;          // on (cv, cv)
};

bool fitsInt16(std::int32_t value)
{
    return value >= -32768 && value <= 32767;
}

// Whether the AVX2 loop computes these coefficients exactly; otherwise the
// portable loop does the row.
bool pairsFor(const Coefficients& c, RowPairs& pairs)
{
    const std::int32_t values[] = {c.luma >> 7, c.luma & 127, c.blueU - c.blueU / 2, c.blueU / 2,
                                   -c.greenU,   -c.greenV,    c.redV - c.redV / 2,   c.redV / 2};
    if (c.luma < 0 || c.lumaOffset < 0 || c.lumaOffset > 255
        || !std::all_of(std::begin(values), std::end(values), fitsInt16))
        return false;
    pairs = {std::int16_t(values[0]), std::int16_t(values[1]), std::int16_t(values[2]), std::int16_t(values[3]),
             std::int16_t(values[4]), std::int16_t(values[5]), std::int16_t(values[6]), std::int16_t(values[7])};
    return true;
}

[[gnu::target("avx2")]] inline __m256i pairOf(std::int16_t first, std::int16_t second)
{
    return _mm256_set1_epi32(std::int32_t(std::uint32_t(std::uint16_t(second)) << 16 | std::uint16_t(first)));
}

// Byte picks that lay one 128-bit lane's 8 pixels, held as b0..b7 g0..g7 and
// r0..r7 twice, out as 24 bytes b g r b g r ...: bytes 0..15, then 16..23.
struct InterleaveMasks {
    alignas(32) std::int8_t fromBlueGreen[2][32];
    alignas(32) std::int8_t fromRed[2][32];
};

constexpr InterleaveMasks makeInterleaveMasks()
{
    InterleaveMasks masks{};
    for (int part = 0; part < 2; ++part)
        for (int lane = 0; lane < 2; ++lane)
            for (int i = 0; i < 16; ++i) {
                const int k = 16 * part + i, pixel = k / 3, channel = k % 3;
                const bool used = k < 24;
                const int at = 16 * lane + i;
                masks.fromBlueGreen[part][at] = std::int8_t(used && channel == 0       ? pixel
                                                                : used && channel == 1 ? 8 + pixel
                                                                                       : -128);
                masks.fromRed[part][at] = std::int8_t(used && channel == 2 ? pixel : -128);
            }
    return masks;
}

constexpr InterleaveMasks kInterleave = makeInterleaveMasks();

[[gnu::target("avx2")]] inline __m256i mask(const std::int8_t* bytes)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
}

// One channel of 16 pixels as 16-bit values: the luma sums plus the pairs
// (a, b) weighted by gains, shifted down and saturated.
[[gnu::target("avx2")]] inline __m256i channel(__m256i lumaLow, __m256i lumaHigh, __m256i a, __m256i b, __m256i gains)
{
    // Unpacking splits each lane in two halves that the pack puts back in order.
    const __m256i low = _mm256_add_epi32(lumaLow, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), gains));
    const __m256i high = _mm256_add_epi32(lumaHigh, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), gains));
    return _mm256_packs_epi32(_mm256_srai_epi32(low, 18), _mm256_srai_epi32(high, 18));
}

[[gnu::target("avx2")]] void convertRowAvx2(const std::uint8_t* __restrict y, const std::int16_t* __restrict u,
                                            const std::int16_t* __restrict v, std::uint8_t* __restrict bgr, int width,
                                            const Coefficients& c, const RowPairs& p)
{
    const __m256i offset = _mm256_set1_epi16(std::int16_t(c.lumaOffset));
    const __m256i neutral = _mm256_set1_epi16(2048);
    const __m256i half = _mm256_set1_epi32(1 << 17);
    const __m256i luma = pairOf(p.lumaHigh, p.lumaLow);
    const __m256i blue = pairOf(p.blue0, p.blue1);
    const __m256i green = pairOf(p.green0, p.green1);
    const __m256i red = pairOf(p.red0, p.red1);
    const __m256i first = mask(kInterleave.fromBlueGreen[0]), firstRed = mask(kInterleave.fromRed[0]);
    const __m256i second = mask(kInterleave.fromBlueGreen[1]), secondRed = mask(kInterleave.fromRed[1]);

    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i ys =
            _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x))), offset);
        const __m256i cu = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u + x)), neutral);
        const __m256i cv = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + x)), neutral);
        const __m256i scaled = _mm256_slli_epi16(ys, 7);
        const __m256i lumaLow = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(scaled, ys), luma), half);
        const __m256i lumaHigh = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(scaled, ys), luma), half);
        const __m256i b = channel(lumaLow, lumaHigh, cu, cu, blue);
        const __m256i g = channel(lumaLow, lumaHigh, cu, cv, green);
        const __m256i r = channel(lumaLow, lumaHigh, cv, cv, red);
        const __m256i blueGreen = _mm256_packus_epi16(b, g);
        const __m256i reds = _mm256_packus_epi16(r, r);
        const __m256i head =
            _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, first), _mm256_shuffle_epi8(reds, firstRed));
        const __m256i tail =
            _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, second), _mm256_shuffle_epi8(reds, secondRed));
        std::uint8_t* out = bgr + 3 * x;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(head));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_castsi256_si128(tail));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), _mm256_extracti128_si256(head, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 40), _mm256_extracti128_si256(tail, 1));
    }
    if (x < width)
        convertRow(y + x, u + x, v + x, bgr + 3 * x, width - x, c);
}

void greenRow(const std::uint8_t* __restrict y, const std::int16_t* __restrict u, const std::int16_t* __restrict v,
              std::uint8_t* __restrict green, int width, Coefficients c);

// The green channel of convertRowAvx2 for 16 pixels, as 16-bit values.
[[gnu::target("avx2")]] inline __m256i greenOf16(const std::uint8_t* y, const std::int16_t* u, const std::int16_t* v,
                                                 __m256i offset, __m256i luma, __m256i green)
{
    const __m256i neutral = _mm256_set1_epi16(2048);
    const __m256i half = _mm256_set1_epi32(1 << 17);
    const __m256i ys =
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y))), offset);
    const __m256i cu = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u)), neutral);
    const __m256i cv = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v)), neutral);
    const __m256i scaled = _mm256_slli_epi16(ys, 7);
    const __m256i lumaLow = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(scaled, ys), luma), half);
    const __m256i lumaHigh = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(scaled, ys), luma), half);
    return channel(lumaLow, lumaHigh, cu, cv, green);
}

// The green channel of convertRowAvx2 alone, 32 pixels at a time.
[[gnu::target("avx2")]] void greenRowAvx2(const std::uint8_t* __restrict y, const std::int16_t* __restrict u,
                                          const std::int16_t* __restrict v, std::uint8_t* __restrict out, int width,
                                          const Coefficients& c, const RowPairs& p)
{
    const __m256i offset = _mm256_set1_epi16(std::int16_t(c.lumaOffset));
    const __m256i luma = pairOf(p.lumaHigh, p.lumaLow);
    const __m256i green = pairOf(p.green0, p.green1);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        // Both halves are in pixel order within each lane; the pack
        // interleaves the lanes, which the permute puts back.
        const __m256i bytes = _mm256_packus_epi16(greenOf16(y + x, u + x, v + x, offset, luma, green),
                                                  greenOf16(y + x + 16, u + x + 16, v + x + 16, offset, luma, green));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute4x64_epi64(bytes, 0xD8));
    }
    if (x < width)
        greenRow(y + x, u + x, v + x, out + x, width - x, c);
}
#endif

}   // namespace

YuvToBgr::RowLoop YuvToBgr::fastestRowLoop()
{
#if defined(ORBICROP_AVX2_YUV_ROWS) && !defined(__SANITIZE_THREAD__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 ? RowLoop::Avx2 : RowLoop::Portable;
#else
    return RowLoop::Portable;
#endif
}

YuvToBgr::YuvToBgr(RowLoop rowLoop) : m_rowLoop(rowLoop == RowLoop::Avx2 ? fastestRowLoop() : RowLoop::Portable) {}

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

// What converting one frame needs to know, worked out once a frame.
struct YuvToBgr::FramePlan {
    int width = 0;
    int height = 0;
    int shiftX = 0;
    int shiftY = 0;
    int chromaWidth = 0;
    int chromaHeight = 0;
    Coefficients c{};
    Siting siting{};
    bool avx2 = false;
#if defined(ORBICROP_AVX2_YUV_ROWS)
    RowPairs pairs{};
#endif
};

YuvToBgr::FramePlan YuvToBgr::planFor(const AVFrame& frame) const
{
    const auto format = AVPixelFormat(frame.format);
    assert(YuvToBgr::handles(format));
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    FramePlan plan;
    plan.width = frame.width;
    plan.height = frame.height;
    plan.shiftX = descriptor->log2_chroma_w;
    plan.shiftY = descriptor->log2_chroma_h;
    plan.chromaWidth = -((-plan.width) >> plan.shiftX);
    plan.chromaHeight = -((-plan.height) >> plan.shiftY);
    const bool jpeg = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P;
    plan.c = coefficientsFor(frame.colorspace, jpeg || frame.color_range == AVCOL_RANGE_JPEG);
    plan.siting = sitingOf(frame.chroma_location);
#if defined(ORBICROP_AVX2_YUV_ROWS)
    plan.avx2 = m_rowLoop == RowLoop::Avx2 && pairsFor(plan.c, plan.pairs);
#endif
    return plan;
}

namespace {

// The green byte of convertRow, alone. Finding the planet reads nothing
// else, so a frame whose picture is needed only around the planet is
// measured on this and converted in full only there.
ORBICROP_VECTOR_LOOP
void greenRow(const std::uint8_t* __restrict y, const std::int16_t* __restrict u, const std::int16_t* __restrict v,
              std::uint8_t* __restrict green, int width, Coefficients c)
{
    for (int x = 0; x < width; ++x) {
        const std::int32_t l = c.luma * (y[x] - c.lumaOffset) + (1 << 17);
        const std::int32_t g = (l - c.greenU * (u[x] - 2048) - c.greenV * (v[x] - 2048)) >> 18;
        green[x] = std::uint8_t(std::clamp(g, 0, 255));
    }
}

}   // namespace

// Fills fullU and fullV with the chroma of picture row y (top-down).
void YuvToBgr::interpolateChroma(const AVFrame& frame, const FramePlan& plan, int y)
{
    auto chromaRow = [&](int plane, int row) {
        return frame.data[plane] + std::ptrdiff_t(std::clamp(row, 0, plan.chromaHeight - 1)) * frame.linesize[plane];
    };
    // The two chroma rows around picture row y and their weights (sum 4).
    int near = y >> plan.shiftY, far = near, nearWeight = 4;
    if (plan.shiftY == 1) {
        const bool even = (y & 1) == 0;
        switch (plan.siting.vertical) {
        case VerticalSiting::Centred:
            far = even ? near - 1 : near + 1;
            nearWeight = 3;
            break;
        case VerticalSiting::Top:
            if (!even) {
                far = near + 1;
                nearWeight = 2;
            }
            break;
        case VerticalSiting::Bottom:
            if (even) {
                far = near - 1;
                nearWeight = 2;
            }
            break;
        }
    }
    blendRows(chromaRow(1, near), chromaRow(1, far), nearWeight, 4 - nearWeight, m_verticalU.data(), plan.chromaWidth);
    blendRows(chromaRow(2, near), chromaRow(2, far), nearWeight, 4 - nearWeight, m_verticalV.data(), plan.chromaWidth);

    const int width = plan.width;
    if (plan.shiftX == 0) {
        widen(m_verticalU.data(), m_fullU.data(), width);
        widen(m_verticalV.data(), m_fullV.data(), width);
    } else if (plan.siting.horizontallyCentred) {
        upsampleCentred(m_verticalU.data(), m_fullU.data(), width);
        upsampleCentred(m_verticalV.data(), m_fullV.data(), width);
    } else {
        upsampleCosited(m_verticalU.data(), m_fullU.data(), width);
        upsampleCosited(m_verticalV.data(), m_fullV.data(), width);
    }
}

void YuvToBgr::reserveRows(int chromaWidth, int width)
{
    m_verticalU.resize(std::size_t(chromaWidth) + 2);
    m_verticalV.resize(std::size_t(chromaWidth) + 2);
    m_fullU.resize(std::size_t(width));
    m_fullV.resize(std::size_t(width));
}

void YuvToBgr::convert(const AVFrame& frame, std::uint8_t* destination)
{
    convertWindow(frame, 0, 0, frame.width, frame.height, destination);
}

void YuvToBgr::convertWindow(const AVFrame& frame, int left, int bottom, int columns, int rows,
                             std::uint8_t* destination)
{
    const FramePlan plan = planFor(frame);
    const int width = plan.width;
    const int height = plan.height;
    const int firstX = std::clamp(left, 0, width);
    const int endX = int(std::clamp<std::int64_t>(std::int64_t(left) + columns, firstX, width));
    const int firstRow = std::clamp(bottom, 0, height);
    const int endRow = int(std::clamp<std::int64_t>(std::int64_t(bottom) + rows, firstRow, height));
    if (firstX == endX)
        return;
    reserveRows(plan.chromaWidth, width);
    const std::size_t rowBytes = std::size_t(width) * 3;

    // Stored row r (from the bottom) is picture row height - 1 - r.
    for (int row = firstRow; row < endRow; ++row) {
        const int y = height - 1 - row;
        interpolateChroma(frame, plan, y);
        const std::uint8_t* luma = frame.data[0] + std::ptrdiff_t(y) * frame.linesize[0] + firstX;
        const std::int16_t* u = m_fullU.data() + firstX;
        const std::int16_t* v = m_fullV.data() + firstX;
        std::uint8_t* out = destination + std::size_t(row) * rowBytes + std::size_t(firstX) * 3;
#if defined(ORBICROP_AVX2_YUV_ROWS)
        if (plan.avx2) {
            convertRowAvx2(luma, u, v, out, endX - firstX, plan.c, plan.pairs);
            continue;
        }
#endif
        convertRow(luma, u, v, out, endX - firstX, plan.c);
    }
}

void YuvToBgr::green(const AVFrame& frame, std::uint8_t* destination)
{
    const FramePlan plan = planFor(frame);
    reserveRows(plan.chromaWidth, plan.width);
    for (int y = 0; y < plan.height; ++y) {
        interpolateChroma(frame, plan, y);
        const std::uint8_t* luma = frame.data[0] + std::ptrdiff_t(y) * frame.linesize[0];
        std::uint8_t* out = destination + std::size_t(plan.height - 1 - y) * std::size_t(plan.width);
#if defined(ORBICROP_AVX2_YUV_ROWS)
        if (plan.avx2) {
            greenRowAvx2(luma, m_fullU.data(), m_fullV.data(), out, plan.width, plan.c, plan.pairs);
            continue;
        }
#endif
        greenRow(luma, m_fullU.data(), m_fullV.data(), out, plan.width, plan.c);
    }
}
