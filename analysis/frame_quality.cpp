// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_quality.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// A plane of floats, rows top-down, packed.
struct Plane {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<float> values;
    float at(std::int32_t x, std::int32_t y) const
    {
        return values[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};

// [1 2 1] / 4 in both directions, edges repeated. Row pointers and edge-free
// inner loops, so that the compiler vectorises them: the score must cost
// less than the planet search on the largest window.
void Smooth(const Plane& in, Plane& across, Plane& out)
{
    const std::int32_t w = in.width;
    const std::int32_t h = in.height;
    across.width = out.width = w;
    across.height = out.height = h;
    across.values.resize(in.values.size());
    out.values.resize(in.values.size());
    for (std::int32_t y = 0; y < h; ++y) {
        const float* src = in.values.data() + std::size_t(y) * std::size_t(w);
        float* dst = across.values.data() + std::size_t(y) * std::size_t(w);
        dst[0] = 0.75f * src[0] + 0.25f * src[std::min(1, w - 1)];
        for (std::int32_t x = 1; x < w - 1; ++x)
            dst[x] = 0.25f * (src[x - 1] + src[x + 1]) + 0.5f * src[x];
        if (w > 1)
            dst[w - 1] = 0.75f * src[w - 1] + 0.25f * src[w - 2];
    }
    for (std::int32_t y = 0; y < h; ++y) {
        const float* up = across.values.data() + std::size_t(std::max(y - 1, 0)) * std::size_t(w);
        const float* mid = across.values.data() + std::size_t(y) * std::size_t(w);
        const float* down = across.values.data() + std::size_t(std::min(y + 1, h - 1)) * std::size_t(w);
        float* dst = out.values.data() + std::size_t(y) * std::size_t(w);
        for (std::int32_t x = 0; x < w; ++x)
            dst[x] = 0.25f * (up[x] + down[x]) + 0.5f * mid[x];
    }
}

void Halve(const Plane& in, Plane& out)
{
    out.width = in.width / 2;
    out.height = in.height / 2;
    out.values.resize(std::size_t(out.width) * std::size_t(out.height));
    for (std::int32_t y = 0; y < out.height; ++y)
        for (std::int32_t x = 0; x < out.width; ++x)
            out.values[std::size_t(y) * std::size_t(out.width) + std::size_t(x)] = 0.25f
                * (in.at(2 * x, 2 * y) + in.at(2 * x + 1, 2 * y) + in.at(2 * x, 2 * y + 1)
                   + in.at(2 * x + 1, 2 * y + 1));
}

// Mean of the squared central differences over the plane less its margin.
double MeanSquaredGradient(const Plane& p, std::int32_t margin)
{
    const std::int32_t from = std::max(margin, 1);
    const std::int32_t toX = std::min(p.width - margin, p.width - 1);
    const std::int32_t toY = std::min(p.height - margin, p.height - 1);
    if (toX <= from || toY <= from)
        return 0.0;
    double sum = 0.0;
    const auto w = std::size_t(p.width);
    for (std::int32_t y = from; y < toY; ++y) {
        const float* up = p.values.data() + std::size_t(y - 1) * w;
        const float* mid = up + w;
        const float* down = mid + w;
        // Eight running sums, so that the loop need not wait on one addition
        // after another and vectorises; a row's few hundred terms keep float
        // precision.
        constexpr std::int32_t kLanes = 8;
        float lanes[kLanes] = {};
        std::int32_t x = from;
        for (; x + kLanes <= toX; x += kLanes) {
            for (std::int32_t k = 0; k < kLanes; ++k) {
                const float dx = mid[x + k + 1] - mid[x + k - 1];
                const float dy = down[x + k] - up[x + k];
                lanes[k] += dx * dx + dy * dy;
            }
        }
        for (; x < toX; ++x) {
            const float dx = mid[x + 1] - mid[x - 1];
            const float dy = down[x] - up[x];
            lanes[0] += dx * dx + dy * dy;
        }
        for (const float lane : lanes)
            sum += double(lane);
    }
    // The central differences were not halved: a quarter of their squares.
    return 0.25 * sum / (double(toX - from) * double(toY - from));
}

}   // namespace

constexpr std::int32_t kMaxSide = 256;
constexpr std::int32_t kApron = 4;

struct QualityMeter::Planes {
    Plane plane;    // the current scale
    Plane across;   // smoothed along rows
    Plane smooth;   // smoothed both ways
};

double QualityMeter::score(const OutputBitmap& crop)
{
    if (crop.empty())
        return 0.0;
    // The measured part: the window less its margin, and of a large window
    // only the central kMaxSide square, so that the cost stays below the
    // planet search's whatever the output size. A few pixels of apron feed
    // the smoothing; what lies beyond them never enters the planes.
    const std::int32_t w = crop.width();
    const std::int32_t h = crop.height();
    const std::int32_t margin0 = std::max(std::min(w, h) / 8, 2);
    const auto part = [margin0](std::int32_t size, std::int32_t& from, std::int32_t& to) {
        from = margin0;
        to = size - margin0;
        if (to - from > kMaxSide) {
            from = (size - kMaxSide) / 2;
            to = from + kMaxSide;
        }
    };
    std::int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    part(w, x0, x1);
    part(h, y0, y1);
    if (x1 <= x0 || y1 <= y0)
        return 0.0;
    const std::int32_t apron = std::min({kApron, x0, y0});
    Plane& plane = m_planes->plane;
    plane.width = x1 - x0 + 2 * apron;
    plane.height = y1 - y0 + 2 * apron;
    plane.values.resize(std::size_t(plane.width) * std::size_t(plane.height));
    for (std::int32_t r = 0; r < plane.height; ++r) {
        const std::uint8_t* row = crop.rowFromTop(y0 - apron + r) + 3 * (x0 - apron) + 1;
        float* out = plane.values.data() + std::size_t(r) * std::size_t(plane.width);
        for (std::int32_t x = 0; x < plane.width; ++x)
            out[x] = float(row[3 * x]);
    }
    std::int32_t margin = apron;
    double score = 0.0;
    constexpr int kScales = 3;
    for (int scale = 0; scale < kScales; ++scale) {
        if (plane.width < 3 || plane.height < 3)
            break;
        Smooth(plane, m_planes->across, m_planes->smooth);
        score += MeanSquaredGradient(m_planes->smooth, margin);
        Halve(m_planes->smooth, plane);
        // Smoothing spreads an edge in the masked margin by a pixel at every
        // scale: the margin grows by one beyond its halved width.
        margin = margin / 2 + 1;
    }
    return score;
}

QualityMeter::QualityMeter() : m_planes(std::make_unique<Planes>()) {}
QualityMeter::~QualityMeter() = default;

double FrameQuality(const OutputBitmap& crop)
{
    QualityMeter meter;
    return meter.score(crop);
}
