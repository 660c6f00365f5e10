// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/debayer_crop.h"

#include <cstring>

namespace {

// Wide enough that the demosaicing of every pixel of the window sees only
// real neighbours; even, so that the margin starts on the window's phase.
constexpr std::int32_t kMargin = 4;

// A coordinate outside 0..size-1 mirrored about the edge sample: -1 -> 1,
// size -> size - 2. Keeps the parity, and so the mosaic site.
std::int64_t Mirrored(std::int64_t v, std::int64_t size)
{
    if (size <= 1)
        return 0;
    while (v < 0 || v >= size)
        v = v < 0 ? -v : 2 * (size - 1) - v;
    return v;
}

bool Inside(std::int64_t v, std::int64_t size)
{
    return v >= 0 && v < size;
}

// Fills mosaic (the window and its margin, rows top-down, packed) from
// sample(x, y), x and y counted from the frame's top-left.
template <typename Sample, typename Read>
void Gather(std::vector<std::uint8_t>& mosaic, std::int64_t left, std::int64_t top, std::int32_t width,
            std::int32_t height, std::int32_t frameWidth, std::int32_t frameHeight, Read sample)
{
    const std::int32_t w = width + 2 * kMargin;
    const std::int32_t h = height + 2 * kMargin;
    mosaic.resize(std::size_t(w) * std::size_t(h) * sizeof(Sample));
    auto* out = reinterpret_cast<Sample*>(mosaic.data());
    for (std::int32_t r = 0; r < h; ++r) {
        const std::int64_t y = Mirrored(top - kMargin + r, frameHeight);
        for (std::int32_t c = 0; c < w; ++c)
            out[std::size_t(r) * std::size_t(w) + std::size_t(c)] = sample(Mirrored(left - kMargin + c, frameWidth), y);
    }
}

}   // namespace

std::optional<BayerPattern> BayerPatternOf(std::int32_t layout)
{
    // The ids 8..11 follow the enum's order: RGGB, GRBG, GBRG, BGGR.
    if (layout < 8 || layout > 11)
        return std::nullopt;
    return BayerPattern(layout - 8);
}

std::int32_t LayoutOf(BayerPattern pattern)
{
    return 8 + std::int32_t(pattern);
}

std::string_view MosaicName(std::int32_t layout)
{
    if (const auto bayer = BayerPatternOf(layout))
        return NameOf(*bayer);
    // The complementary-colour mosaics of some older cameras, ids 16..19.
    static constexpr std::string_view kCmy[] = {"CYYM", "YCMY", "YMCY", "MYYC"};
    return layout >= 16 && layout <= 19 ? kCmy[layout - 16] : std::string_view();
}

void DebayerCrop::toBitmap(const FrameView& frame, std::int64_t left, std::int64_t top, std::int32_t width,
                           std::int32_t height, BayerPattern pattern, DemosaicMethod method, OutputBitmap& out)
{
    const std::int32_t frameHeight = frame.height;
    Gather<std::uint8_t>(m_mosaic, left, top, width, height, frame.width, frameHeight,
                         [&](std::int64_t x, std::int64_t y) {
                             return frame.row(std::int32_t(frameHeight - 1 - y))[x * frame.bytesPerPixel];
                         });
    const std::int32_t w = width + 2 * kMargin;
    const std::int32_t h = height + 2 * kMargin;
    m_colour.resize(std::size_t(w) * std::size_t(h) * 3);
    m_demosaicer.demosaic(m_mosaic.data(), w, w, h, 1, PatternAt(pattern, left - kMargin, top - kMargin), method,
                          m_colour.data(), std::ptrdiff_t(w) * 3);
    out.setSize(width, height);
    for (std::int32_t r = 0; r < height; ++r) {
        std::uint8_t* dst = out.rowFromBottom(height - 1 - r);
        const std::uint8_t* src = m_colour.data() + (std::size_t(r + kMargin) * std::size_t(w) + kMargin) * 3;
        if (!Inside(top + r, frameHeight)) {
            std::memset(dst, 0, std::size_t(width) * 3);
            continue;
        }
        for (std::int32_t c = 0; c < width; ++c) {
            const bool inside = Inside(left + c, frame.width);
            for (int k = 0; k < 3; ++k)
                dst[c * 3 + k] = inside ? src[c * 3 + k] : 0;
        }
    }
}

void DebayerCrop::toSamples(const NativeFrame& frame, std::int64_t left, std::int64_t top, std::int32_t width,
                            std::int32_t height, BayerPattern pattern, DemosaicMethod method, SampleFrame& out)
{
    const std::int32_t bytes = frame.bytesPerSample;
    if (bytes == 1)
        Gather<std::uint8_t>(m_mosaic, left, top, width, height, frame.width, frame.height,
                             [&](std::int64_t x, std::int64_t y) { return frame.topRow[y * frame.stride + x]; });
    else
        Gather<std::uint16_t>(m_mosaic, left, top, width, height, frame.width, frame.height,
                              [&](std::int64_t x, std::int64_t y) {
                                  const std::uint8_t* p = frame.topRow + y * frame.stride + x * 2;
                                  return std::uint16_t(p[0] | (p[1] << 8));   // little-endian, as stored
                              });
    const std::int32_t w = width + 2 * kMargin;
    const std::int32_t h = height + 2 * kMargin;
    const std::size_t pixelBytes = std::size_t(3) * std::size_t(bytes);
    m_colour.resize(std::size_t(w) * std::size_t(h) * pixelBytes);
    m_demosaicer.demosaic(m_mosaic.data(), std::ptrdiff_t(w) * bytes, w, h, bytes,
                          PatternAt(pattern, left - kMargin, top - kMargin), method, m_colour.data(),
                          std::ptrdiff_t(w) * std::ptrdiff_t(pixelBytes));

    out.width = width;
    out.height = height;
    out.layout = kSamplesBgr;
    out.planes = 3;
    out.bytesPerSample = bytes;
    out.depth = frame.depth;
    out.left = left;
    out.top = top;
    out.header = frame.header;
    const std::size_t rowBytes = std::size_t(width) * pixelBytes;
    out.samples.assign(rowBytes * std::size_t(height), 0);
    for (std::int32_t r = 0; r < height; ++r) {
        if (!Inside(top + r, frame.height))
            continue;
        std::uint8_t* dst = out.samples.data() + std::size_t(r) * rowBytes;
        const std::uint8_t* src = m_colour.data() + (std::size_t(r + kMargin) * std::size_t(w) + kMargin) * pixelBytes;
        for (std::int32_t c = 0; c < width; ++c) {
            if (!Inside(left + c, frame.width))
                continue;
            for (std::size_t k = 0; k < pixelBytes; k += std::size_t(bytes)) {
                if (bytes == 1) {
                    dst[c * 3 + k] = src[c * 3 + k];
                } else {
                    // Native-endian from the demosaicing, little-endian as stored.
                    std::uint16_t v;
                    std::memcpy(&v, src + std::size_t(c) * pixelBytes + k, 2);
                    dst[std::size_t(c) * pixelBytes + k] = std::uint8_t(v & 0xFF);
                    dst[std::size_t(c) * pixelBytes + k + 1] = std::uint8_t(v >> 8);
                }
            }
        }
    }
}
