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
    float at(std::int32_t x, std::int32_t y) const { return values[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// [1 2 1] / 4 in both directions, edges repeated.
Plane Smoothed(const Plane& in)
{
    Plane across{in.width, in.height, std::vector<float>(in.values.size())};
    for (std::int32_t y = 0; y < in.height; ++y) {
        for (std::int32_t x = 0; x < in.width; ++x) {
            const float left = in.at(std::max(x - 1, 0), y);
            const float right = in.at(std::min(x + 1, in.width - 1), y);
            across.values[std::size_t(y) * std::size_t(in.width) + std::size_t(x)] =
                0.25f * left + 0.5f * in.at(x, y) + 0.25f * right;
        }
    }
    Plane out{in.width, in.height, std::vector<float>(in.values.size())};
    for (std::int32_t y = 0; y < in.height; ++y) {
        const std::int32_t up = std::max(y - 1, 0);
        const std::int32_t down = std::min(y + 1, in.height - 1);
        for (std::int32_t x = 0; x < in.width; ++x)
            out.values[std::size_t(y) * std::size_t(in.width) + std::size_t(x)] =
                0.25f * across.at(x, up) + 0.5f * across.at(x, y) + 0.25f * across.at(x, down);
    }
    return out;
}

Plane Halved(const Plane& in)
{
    Plane out{in.width / 2, in.height / 2, {}};
    out.values.resize(std::size_t(out.width) * std::size_t(out.height));
    for (std::int32_t y = 0; y < out.height; ++y)
        for (std::int32_t x = 0; x < out.width; ++x)
            out.values[std::size_t(y) * std::size_t(out.width) + std::size_t(x)] =
                0.25f * (in.at(2 * x, 2 * y) + in.at(2 * x + 1, 2 * y) + in.at(2 * x, 2 * y + 1)
                         + in.at(2 * x + 1, 2 * y + 1));
    return out;
}

// Mean of the squared central differences over the plane less its margin.
double MeanSquaredGradient(const Plane& p, std::int32_t margin)
{
    const std::int32_t from = std::max(margin, 1);
    const std::int32_t toX = std::min(p.width - margin, p.width - 1);
    const std::int32_t toY = std::min(p.height - margin, p.height - 1);
    double sum = 0.0;
    std::int64_t count = 0;
    for (std::int32_t y = from; y < toY; ++y) {
        double rowSum = 0.0;
        for (std::int32_t x = from; x < toX; ++x) {
            const float dx = 0.5f * (p.at(x + 1, y) - p.at(x - 1, y));
            const float dy = 0.5f * (p.at(x, y + 1) - p.at(x, y - 1));
            rowSum += double(dx * dx + dy * dy);
        }
        sum += rowSum;
        count += std::max(toX - from, 0);
    }
    return count > 0 ? sum / double(count) : 0.0;
}

} // namespace

double FrameQuality(const OutputBitmap& crop)
{
    if (crop.empty())
        return 0.0;
    Plane plane{crop.width(), crop.height(), {}};
    plane.values.resize(std::size_t(plane.width) * std::size_t(plane.height));
    for (std::int32_t r = 0; r < plane.height; ++r) {
        const std::uint8_t* row = crop.rowFromTop(r);
        for (std::int32_t x = 0; x < plane.width; ++x)
            plane.values[std::size_t(r) * std::size_t(plane.width) + std::size_t(x)] = float(row[3 * x + 1]);
    }
    std::int32_t margin = std::max(std::min(plane.width, plane.height) / 8, 2);
    double score = 0.0;
    constexpr int kScales = 3;
    for (int scale = 0; scale < kScales; ++scale) {
        if (plane.width < 3 || plane.height < 3)
            break;
        const Plane smooth = Smoothed(plane);
        score += MeanSquaredGradient(smooth, margin);
        plane = Halved(smooth);
        // Smoothing spreads an edge in the masked margin by a pixel at every
        // scale: the margin grows by one beyond its halved width.
        margin = margin / 2 + 1;
    }
    return score;
}
