// SPDX-License-Identifier: GPL-3.0-or-later
#include "debayer/bayer_detect.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::uint32_t SampleAt(const std::uint8_t* p, std::int32_t bytesPerSample)
{
    if (bytesPerSample == 1)
        return *p;
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// The cell sum above which a cell is on the object: well above the sky, as
// a fraction of the way from the dim tenth of the cells to the brightest
// (short of the last half percent, where hot pixels and glints are).
std::uint32_t ObjectLevel(std::vector<std::uint32_t> sums)
{
    const auto at = [&](double fraction) {
        const auto k = std::ptrdiff_t(fraction * double(sums.size() - 1));
        std::nth_element(sums.begin(), sums.begin() + k, sums.end());
        return sums[std::size_t(k)];
    };
    const std::uint32_t sky = at(0.10);
    const std::uint32_t top = at(0.995);
    return sky + (top - sky) * 3 / 10;
}

// The lower of two levels over the higher; 1 when both are nothing.
double Agreement(double a, double b)
{
    const double high = std::max(a, b);
    return high > 0.0 ? std::min(a, b) / high : 1.0;
}

}   // namespace

void BayerDetector::add(const std::uint8_t* topRow, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
                        std::int32_t bytesPerSample, std::ptrdiff_t sampleStep)
{
    const std::int32_t columns = width / 2;
    const std::int32_t rows = height / 2;
    if (columns == 0 || rows == 0)
        return;
    const auto cell = [&](std::int32_t r, std::int32_t c) {
        const std::uint8_t* even = topRow + std::ptrdiff_t(2 * r) * stride + std::ptrdiff_t(2 * c) * sampleStep;
        const std::uint8_t* odd = even + stride;
        return std::array<std::uint32_t, 4>{SampleAt(even, bytesPerSample), SampleAt(even + sampleStep, bytesPerSample),
                                            SampleAt(odd, bytesPerSample), SampleAt(odd + sampleStep, bytesPerSample)};
    };
    const auto total = [](const std::array<std::uint32_t, 4>& v) { return v[0] + v[1] + v[2] + v[3]; };
    std::vector<std::uint32_t> sums;
    sums.reserve(std::size_t(columns) * std::size_t(rows));
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < columns; ++c)
            sums.push_back(total(cell(r, c)));
    const std::uint32_t level = ObjectLevel(sums);
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < columns; ++c) {
            const auto v = cell(r, c);
            if (total(v) <= level)
                continue;
            for (std::size_t k = 0; k < 4; ++k)
                m_sums[k] += double(v[k]);
            ++m_cells;
        }
}

BayerEvidence BayerDetector::evidence() const
{
    BayerEvidence e;
    e.cells = m_cells;
    // Sites 0 and 3 are the main diagonal, 1 and 2 the other.
    const double main = Agreement(m_sums[0], m_sums[3]);
    const double cross = Agreement(m_sums[1], m_sums[2]);
    const bool greensOnMain = main >= cross;
    e.greenAgreement = std::max(main, cross);
    e.otherAgreement = std::min(main, cross);
    if (m_cells < kMinObjectCells || e.greenAgreement < kGreenAgreement
        || e.greenAgreement - e.otherAgreement < kOtherMargin)
        return e;
    if (greensOnMain)
        e.pattern = m_sums[1] > m_sums[2] ? BayerPattern::Grbg : BayerPattern::Gbrg;
    else
        e.pattern = m_sums[0] > m_sums[3] ? BayerPattern::Rggb : BayerPattern::Bggr;
    return e;
}
