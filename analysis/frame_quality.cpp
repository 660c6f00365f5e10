// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_quality.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// A plane of floats, rows top-down, packed.
struct Plane {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<float> values;
};

// Crop pixels [x0, x1) x [y0, y1), y counted from the bottom row.
struct Box {
    std::int32_t x0 = 0;
    std::int32_t y0 = 0;
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// The apron the smoothing and the differences read around a measured pixel.
constexpr std::int32_t kReach = 3;

// [1 4 6 4 1] / 16 both ways (a Gaussian of deviation 1), of the part that
// the full kernel covers: out is 4 pixels narrower and lower than in.
void Binomial5(const Plane& in, Plane& across, Plane& out)
{
    across.width = in.width - 4;
    across.height = in.height;
    across.values.resize(std::size_t(across.width) * std::size_t(across.height));
    for (std::int32_t y = 0; y < in.height; ++y) {
        const float* src = in.values.data() + std::size_t(y) * std::size_t(in.width);
        float* dst = across.values.data() + std::size_t(y) * std::size_t(across.width);
        for (std::int32_t x = 0; x < across.width; ++x)
            dst[x] = 0.0625f * (src[x] + src[x + 4]) + 0.25f * (src[x + 1] + src[x + 3]) + 0.375f * src[x + 2];
    }
    out.width = across.width;
    out.height = in.height - 4;
    out.values.resize(std::size_t(out.width) * std::size_t(out.height));
    const auto w = std::size_t(out.width);
    for (std::int32_t y = 0; y < out.height; ++y) {
        const float* r0 = across.values.data() + std::size_t(y) * w;
        float* dst = out.values.data() + std::size_t(y) * w;
        for (std::size_t x = 0; x < w; ++x)
            dst[x] = 0.0625f * (r0[x] + r0[x + 4 * w]) + 0.25f * (r0[x + w] + r0[x + 3 * w]) + 0.375f * r0[x + 2 * w];
    }
}

struct Sums {
    double slope2 = 0.0;   // squared central differences, not yet halved
    double level = 0.0;
    std::int64_t count = 0;
};

// Adds the pixels [from, to) of one row of the smoothed plane (whose first
// column is crop column box.x0 - 1).
void AddRun(const Plane& smooth, std::int32_t row, std::int32_t from, std::int32_t to, Sums& sums)
{
    const auto w = std::size_t(smooth.width);
    const float* up = smooth.values.data() + std::size_t(row - 1) * w;
    const float* mid = up + w;
    const float* down = mid + w;
    // Running sums in lanes, so that the loop need not wait on one addition
    // after another and vectorises; a row's few hundred terms keep float
    // precision.
    constexpr std::int32_t kLanes = 8;
    float slope[kLanes] = {};
    float level[kLanes] = {};
    std::int32_t x = from;
    for (; x + kLanes <= to; x += kLanes) {
        for (std::int32_t k = 0; k < kLanes; ++k) {
            const float dx = mid[x + k + 1] - mid[x + k - 1];
            const float dy = down[x + k] - up[x + k];
            slope[k] += dx * dx + dy * dy;
            level[k] += mid[x + k];
        }
    }
    for (; x < to; ++x) {
        const float dx = mid[x + 1] - mid[x - 1];
        const float dy = down[x] - up[x];
        slope[0] += dx * dx + dy * dy;
        level[0] += mid[x];
    }
    for (std::int32_t k = 0; k < kLanes; ++k) {
        sums.slope2 += double(slope[k]);
        sums.level += double(level[k]);
    }
    sums.count += to - from;
}

}   // namespace

constexpr std::int32_t kMaxSide = 256;

struct QualityMeter::Planes {
    Plane plane;    // the object's green as read
    Plane across;   // smoothed along rows
    Plane smooth;   // smoothed both ways
};

namespace {

// Pixels this close to the frame's edge inside the crop are not measured:
// beyond the edge the crop is black, and the cut would pass for detail. Twice
// the smoothing's reach, for a frame whose outermost pixels are not a clean
// step.
constexpr std::int32_t kFrameEdge = 6;
// Fewer measured pixels than this say too little: a very small object.
constexpr std::int64_t kMinPixels = 64;

// The central kMaxSide square of box at most, around x, y.
Box Capped(Box box, double x, double y)
{
    const auto cap = [](std::int32_t& from, std::int32_t& to, double centre) {
        if (to - from <= kMaxSide)
            return;
        const auto low = std::clamp(std::int32_t(std::floor(centre)) - kMaxSide / 2, from, to - kMaxSide);
        from = low;
        to = low + kMaxSide;
    };
    cap(box.x0, box.x1, x);
    cap(box.y0, box.y1, y);
    return box;
}

}   // namespace

double QualityMeter::score(const OutputBitmap& crop, const ObjectInCrop& object)
{
    if (crop.empty())
        return 0.0;
    // The frame part of the crop, less a band along the frame's edge, which
    // also leaves the smoothing's apron inside the crop.
    static_assert(kFrameEdge >= kReach);
    const Box inFrame{std::clamp(object.frameLeft, 0, crop.width()) + kFrameEdge,
                      std::clamp(object.frameBottom, 0, crop.height()) + kFrameEdge,
                      std::clamp(object.frameRight, 0, crop.width()) - kFrameEdge,
                      std::clamp(object.frameTop, 0, crop.height()) - kFrameEdge};
    if (inFrame.empty())
        return 0.0;

    // The object less a rim: the limb, blurred by the seeing over several
    // pixels, is the strongest edge in the crop and would outweigh the
    // detail; as would a wrongly placed ellipse's overhang on a cut or
    // flattened object. A fixed share of the larger radius, not of each,
    // since the blur is as wide along both axes.
    const bool placed = std::isfinite(object.centerX) && std::isfinite(object.centerY) && std::isfinite(object.radiusX)
        && std::isfinite(object.radiusY);
    const double rim = placed ? std::max(0.2 * std::max(object.radiusX, object.radiusY), 4.0) : 0.0;
    const double ax = placed ? object.radiusX - rim : 0.0;
    const double ay = placed ? object.radiusY - rim : 0.0;

    Plane& raw = m_planes->plane;
    Plane& smooth = m_planes->smooth;
    // Sums over box: of the ellipse's pixels when ellipse, else of all.
    const auto measure = [&](const Box& box, bool ellipse) {
        Sums sums;
        if (box.empty())
            return sums;
        raw.width = box.x1 - box.x0 + 2 * kReach;
        raw.height = box.y1 - box.y0 + 2 * kReach;
        raw.values.resize(std::size_t(raw.width) * std::size_t(raw.height));
        for (std::int32_t r = 0; r < raw.height; ++r) {
            const std::uint8_t* row = crop.rowFromBottom(box.y0 - kReach + r) + 3 * (box.x0 - kReach) + 1;
            float* out = raw.values.data() + std::size_t(r) * std::size_t(raw.width);
            for (std::int32_t x = 0; x < raw.width; ++x)
                out[x] = float(row[3 * x]);
        }
        Binomial5(raw, m_planes->across, smooth);
        // smooth's column c and row r are the crop's box.x0 - 1 + c and
        // box.y0 - 1 + r.
        for (std::int32_t y = box.y0; y < box.y1; ++y) {
            std::int32_t from = box.x0;
            std::int32_t to = box.x1;
            if (ellipse) {
                const double dy = (y - object.centerY) / ay;
                if (dy * dy >= 1.0)
                    continue;
                const double half = ax * std::sqrt(1.0 - dy * dy);
                const double left = std::clamp(std::ceil(object.centerX - half), double(box.x0), double(box.x1));
                const double right =
                    std::clamp(std::floor(object.centerX + half) + 1.0, double(box.x0), double(box.x1));
                from = std::int32_t(left);
                to = std::int32_t(right);
            }
            if (to > from)
                AddRun(smooth, y - box.y0 + 1, from - box.x0 + 1, to - box.x0 + 1, sums);
        }
        return sums;
    };

    Sums sums;
    if (placed && ax >= 1.0 && ay >= 1.0) {
        const auto edge = [](double v, std::int32_t lo, std::int32_t hi) {
            return std::int32_t(std::clamp(v, double(lo), double(hi)));
        };
        Box box{edge(std::ceil(object.centerX - ax), inFrame.x0, inFrame.x1),
                edge(std::ceil(object.centerY - ay), inFrame.y0, inFrame.y1),
                edge(std::floor(object.centerX + ax) + 1.0, inFrame.x0, inFrame.x1),
                edge(std::floor(object.centerY + ay) + 1.0, inFrame.y0, inFrame.y1)};
        sums = measure(Capped(box, object.centerX, object.centerY), true);
    }
    // Too small an object, or none where it was said to be: the frame part
    // whole, limb and all, which still ranks a small disc's blur.
    if (sums.count < kMinPixels)
        sums = measure(Capped(inFrame, 0.5 * (inFrame.x0 + inFrame.x1), 0.5 * (inFrame.y0 + inFrame.y1)), false);
    if (sums.count == 0)
        return 0.0;
    const double level = sums.level / double(sums.count);
    // Black, or nearly: no level to measure against.
    if (level < 0.5)
        return 0.0;
    // The central differences were not halved: a quarter of their squares.
    return std::sqrt(0.25 * sums.slope2 / double(sums.count)) / level;
}

QualityMeter::QualityMeter() : m_planes(std::make_unique<Planes>()) {}
QualityMeter::~QualityMeter() = default;
