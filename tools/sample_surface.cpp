// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sample_surface.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

SampleSurface::SampleSurface(const Options& options)
    : m_options(options), m_rng(options.seed ? options.seed : 1), m_imageWidth(options.width + 2 * kMargin),
      m_imageHeight(options.height + 2 * kMargin)
{
    // Maria and highlands (smooth waves), craters (dark floors, bright rims),
    // and a fine grain, on a frame-filling bright surface.
    std::vector<double> level(std::size_t(m_imageWidth) * std::size_t(m_imageHeight));
    for (std::int32_t y = 0; y < m_imageHeight; ++y)
        for (std::int32_t x = 0; x < m_imageWidth; ++x)
            level[std::size_t(y) * std::size_t(m_imageWidth) + std::size_t(x)] =
                150.0 + 30.0 * std::sin(x * 0.013 + 0.4 * std::sin(y * 0.011)) * std::cos(y * 0.017);
    const int craters = m_imageWidth * m_imageHeight / 2500;
    for (int c = 0; c < craters; ++c) {
        const double cx = uniform() * m_imageWidth;
        const double cy = uniform() * m_imageHeight;
        const double r = 3.0 + 25.0 * std::pow(uniform(), 3.0);
        const std::int32_t x0 = std::max(0, std::int32_t(cx - 1.3 * r));
        const std::int32_t x1 = std::min(m_imageWidth - 1, std::int32_t(cx + 1.3 * r));
        const std::int32_t y0 = std::max(0, std::int32_t(cy - 1.3 * r));
        const std::int32_t y1 = std::min(m_imageHeight - 1, std::int32_t(cy + 1.3 * r));
        for (std::int32_t y = y0; y <= y1; ++y) {
            for (std::int32_t x = x0; x <= x1; ++x) {
                const double d = std::hypot(x - cx, y - cy) / r;
                double& v = level[std::size_t(y) * std::size_t(m_imageWidth) + std::size_t(x)];
                if (d < 0.85)
                    v -= 45.0 * (1.0 - d * d);
                else if (d < 1.15)
                    v += 40.0 * (1.0 - std::fabs(d - 1.0) / 0.15) * ((x - cx) < 0 ? 1.0 : 0.4);
            }
        }
    }
    m_image.resize(level.size());
    for (std::size_t i = 0; i < level.size(); ++i)
        m_image[i] = std::uint8_t(std::clamp(std::lround(level[i] + 6.0 * (uniform() - 0.5)), 20L, 250L));
}

double SampleSurface::uniform()
{
    m_rng ^= m_rng >> 12;
    m_rng ^= m_rng << 25;
    m_rng ^= m_rng >> 27;
    return double((m_rng * 2685821657736338717ULL) >> 11) / double(1ULL << 53);
}

void SampleSurface::next(OutputBitmap& bitmap, double& shiftX, double& shiftY)
{
    if (!m_first) {
        // Seeing and tracking: a step of up to 3 pixels, kept within the margin.
        m_x = std::clamp(m_x + std::int32_t(std::lround(6.0 * uniform() - 3.0)), -kMargin + 1, kMargin - 1);
        m_y = std::clamp(m_y + std::int32_t(std::lround(6.0 * uniform() - 3.0)), -kMargin + 1, kMargin - 1);
    }
    m_first = false;
    // The window moves against the content: content shifted by (m_x, m_y)
    // is cut from (margin - m_x, margin - m_y).
    const std::int32_t left = kMargin - m_x;
    const std::int32_t top = kMargin - m_y;
    bitmap.setSize(m_options.width, m_options.height);
    for (std::int32_t r = 0; r < m_options.height; ++r) {
        std::uint8_t* out = bitmap.rowFromBottom(m_options.height - 1 - r);
        const std::uint8_t* in = m_image.data() + std::size_t(top + r) * std::size_t(m_imageWidth) + std::size_t(left);
        for (std::int32_t x = 0; x < m_options.width; ++x)
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
    }
    shiftX = m_x;
    shiftY = m_y;
}
