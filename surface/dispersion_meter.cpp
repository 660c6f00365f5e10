// SPDX-License-Identifier: GPL-3.0-or-later
#include "surface/dispersion_meter.h"

#include <cmath>
#include <utility>

namespace {

// Bytes of a bitmap pixel: blue, green, red.
constexpr std::size_t kBlue = 0;
constexpr std::size_t kGreen = 1;
constexpr std::size_t kRed = 2;
// The peak's parabola finds some three quarters of a sub-pixel shift: each
// correction leaves a quarter of what was left, and the estimate is done when
// one moves it by less than a thousandth of a pixel.
constexpr std::int32_t kMaxRounds = 10;
constexpr double kSettled = 0.001;

}   // namespace

std::optional<Dispersion> PhaseDispersionMeter::measure(const OutputBitmap& disc)
{
    const std::int32_t w = disc.width(), h = disc.height();
    const std::int32_t side = AlignmentSquareFor(w, h);
    if (side == 0)
        return std::nullopt;
    if (!m_correlation || m_correlation->side() != side)
        m_correlation = std::make_unique<PhaseCorrelation>(side);
    for (std::size_t c = 0; c < 3; ++c) {
        m_planes[c].resize(std::size_t(w) * std::size_t(h));
        for (std::int32_t r = 0; r < h; ++r) {
            const std::uint8_t* in = disc.rowFromTop(r) + c;
            float* out = m_planes[c].data() + std::size_t(r) * std::size_t(w);
            for (std::int32_t x = 0; x < w; ++x)
                out[x] = float(in[std::ptrdiff_t(x) * 3]);
        }
    }
    if (!m_correlation->transform(m_planes[kGreen].data(), w, h))
        return std::nullopt;
    m_correlation->keepAsReference();
    // Rows run down the picture, as its y does.
    Dispersion d;
    for (const auto& [channel, offset] : {std::pair{kRed, &d.red}, std::pair{kBlue, &d.blue}}) {
        for (std::int32_t round = 0; round < kMaxRounds; ++round) {
            m_moved = m_planes[channel];
            m_shifter.shift(m_moved, w, h, *offset);
            if (!m_correlation->transform(m_moved.data(), w, h))
                return std::nullopt;
            const ContentShift left = m_correlation->correlate(PhaseCorrelation::Weighting::Plain);
            offset->x += left.x;
            offset->y += left.y;
            if (std::fabs(left.x) < kSettled && std::fabs(left.y) < kSettled)
                break;
        }
    }
    return d;
}
