// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/channel_shift.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace {

using Taps = std::array<float, 4>;

// The cubic's weights for the samples at -1, 0, 1 and 2 around a point at
// fraction t past sample 0.
Taps CatmullRom(double t)
{
    const double t2 = t * t, t3 = t2 * t;
    return {float(0.5 * (-t3 + 2.0 * t2 - t)), float(0.5 * (3.0 * t3 - 5.0 * t2 + 2.0)),
            float(0.5 * (-3.0 * t3 + 4.0 * t2 + t)), float(0.5 * (t3 - t2))};
}

// One row or column: out[i] takes the value at i + whole + fraction of in,
// 0 beyond its ends.
void ShiftLine(const float* in, float* out, std::ptrdiff_t step, std::int32_t count, std::int64_t whole,
               const Taps& taps)
{
    for (std::int32_t i = 0; i < count; ++i) {
        float sum = 0.0f;
        for (std::int32_t k = 0; k < 4; ++k) {
            const std::int64_t j = std::int64_t(i) + whole + k - 1;
            if (j >= 0 && j < count)
                sum += taps[std::size_t(k)] * in[std::ptrdiff_t(j) * step];
        }
        out[std::ptrdiff_t(i) * step] = sum;
    }
}

std::int64_t WholePart(double offset, std::int32_t limit)
{
    // Beyond the picture every pixel is black however far it goes.
    return std::int64_t(std::clamp(std::floor(offset), -double(limit) - 2.0, double(limit) + 2.0));
}

std::uint32_t Quantised(float value, std::uint32_t top)
{
    return std::uint32_t(std::clamp(std::lround(value), 0L, long(top)));
}

}   // namespace

void ChannelShifter::shift(std::vector<float>& plane, std::int32_t width, std::int32_t height,
                           const ChannelOffset& offset)
{
    m_scratch.resize(plane.size());
    const std::int64_t wholeX = WholePart(offset.x, width);
    const Taps tapsX = CatmullRom(offset.x - std::floor(offset.x));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::size_t row = std::size_t(y) * std::size_t(width);
        ShiftLine(plane.data() + row, m_scratch.data() + row, 1, width, wholeX, tapsX);
    }
    const std::int64_t wholeY = WholePart(offset.y, height);
    const Taps tapsY = CatmullRom(offset.y - std::floor(offset.y));
    for (std::int32_t x = 0; x < width; ++x)
        ShiftLine(m_scratch.data() + x, plane.data() + x, width, height, wholeY, tapsY);
}

void ChannelShifter::align(OutputBitmap& bitmap, const Dispersion& d)
{
    const std::int32_t w = bitmap.width(), h = bitmap.height();
    m_plane.resize(std::size_t(w) * std::size_t(h));
    // Blue, green, red bytes; picture rows run down from the top.
    for (const auto& [channel, offset] : {std::pair{0, d.blue}, std::pair{2, d.red}}) {
        if (offset.x == 0.0 && offset.y == 0.0)
            continue;
        for (std::int32_t r = 0; r < h; ++r) {
            const std::uint8_t* in = bitmap.rowFromBottom(h - 1 - r) + channel;
            float* out = m_plane.data() + std::size_t(r) * std::size_t(w);
            for (std::int32_t x = 0; x < w; ++x)
                out[x] = float(in[std::ptrdiff_t(x) * 3]);
        }
        shift(m_plane, w, h, offset);
        for (std::int32_t r = 0; r < h; ++r) {
            std::uint8_t* out = bitmap.rowFromBottom(h - 1 - r) + channel;
            const float* in = m_plane.data() + std::size_t(r) * std::size_t(w);
            for (std::int32_t x = 0; x < w; ++x)
                out[std::ptrdiff_t(x) * 3] = std::uint8_t(Quantised(in[x], 255));
        }
    }
}

void ChannelShifter::align(SampleFrame& samples, const Dispersion& d)
{
    constexpr std::int32_t kRgb = 100;
    if (samples.planes != 3 || (samples.layout != kRgb && samples.layout != kSamplesBgr))
        return;
    const std::int32_t w = samples.width, h = samples.height;
    const std::int32_t bytes = samples.bytesPerSample;
    const std::uint32_t top = (1U << samples.depth) - 1U;
    const std::ptrdiff_t pixel = 3 * bytes;
    const std::int32_t red = samples.layout == kRgb ? 0 : 2;
    m_plane.resize(std::size_t(w) * std::size_t(h));
    for (const auto& [channel, offset] : {std::pair{2 - red, d.blue}, std::pair{red, d.red}}) {
        if (offset.x == 0.0 && offset.y == 0.0)
            continue;
        std::uint8_t* first = samples.samples.data() + std::ptrdiff_t(channel) * bytes;
        for (std::size_t i = 0; i < m_plane.size(); ++i) {
            const std::uint8_t* s = first + std::ptrdiff_t(i) * pixel;
            m_plane[i] = float(bytes == 2 ? std::uint32_t(s[0] | (s[1] << 8)) : s[0]);
        }
        shift(m_plane, w, h, offset);
        for (std::size_t i = 0; i < m_plane.size(); ++i) {
            std::uint8_t* s = first + std::ptrdiff_t(i) * pixel;
            const std::uint32_t value = Quantised(m_plane[i], top);
            s[0] = std::uint8_t(value & 0xFF);
            if (bytes == 2)
                s[1] = std::uint8_t(value >> 8);
        }
    }
}
