// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

// Brightness over the sky at (x, y) from a disc's centre, in units of its
// full level: lunar-Lambert shading (Lommel-Seeliger for a sharp lit limb,
// Lambert for limb darkening and a gradual terminator), the sun at the given
// phase angle and 20 degrees from the x axis.
inline double CrescentShade(double x, double y, double radius, double phase)
{
    const double r2 = (x * x + y * y) / (radius * radius);
    if (r2 >= 1.0)
        return 0.0;
    const double a = phase * std::numbers::pi / 180.0, b = 20.0 * std::numbers::pi / 180.0;
    const double mu = std::sqrt(1.0 - r2);
    const double mu0 = (x * std::cos(b) + y * std::sin(b)) / radius * std::sin(a) + mu * std::cos(a);
    return mu0 <= 0.0 ? 0.0 : mu0 / (mu0 + mu) + 0.5 * mu0;
}

// A picture of sky + 140 x brightness(x, y) (each pixel sampled 4 x 4),
// blurred by seeing of the given sigma, with Gaussian noise of 2 levels:
// width x height levels, row by row, as rounded bytes.
inline std::vector<std::uint8_t> SeeingPicture(std::int32_t width, std::int32_t height,
                                               const std::function<double(double, double)>& brightness, double seeing,
                                               std::uint32_t seed, double sky = 10.0)
{
    const std::int32_t reach = std::int32_t(std::ceil(3.5 * seeing));
    std::vector<double> plane(std::size_t(width) * std::size_t(height)), blurred(plane.size());
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            double sum = 0.0;
            for (std::int32_t k = 0; k < 16; ++k)
                sum += brightness(x + (k % 4 + 0.5) / 4.0 - 0.5, y + (k / 4 + 0.5) / 4.0 - 0.5);
            plane[std::size_t(y) * std::size_t(width) + std::size_t(x)] = sky + 140.0 * sum / 16.0;
        }
    std::vector<double> kernel;
    double total = 0.0;
    for (std::int32_t k = -reach; k <= reach; ++k) {
        kernel.push_back(std::exp(-0.5 * k * k / (seeing * seeing)));
        total += kernel.back();
    }
    // Rows, then columns; the edge pixel stands for what lies beyond.
    const auto blur = [&](const std::vector<double>& from, std::vector<double>& to, bool alongRows) {
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) {
                double sum = 0.0;
                for (std::int32_t k = -reach; k <= reach; ++k) {
                    const std::int32_t sx = alongRows ? std::clamp(x + k, 0, width - 1) : x;
                    const std::int32_t sy = alongRows ? y : std::clamp(y + k, 0, height - 1);
                    sum +=
                        kernel[std::size_t(k + reach)] * from[std::size_t(sy) * std::size_t(width) + std::size_t(sx)];
                }
                to[std::size_t(y) * std::size_t(width) + std::size_t(x)] = sum / total;
            }
    };
    blur(plane, blurred, true);
    blur(blurred, plane, false);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<std::uint8_t> levels(plane.size());
    for (std::size_t i = 0; i < plane.size(); ++i)
        levels[i] = std::uint8_t(std::clamp(std::lround(plane[i] + noise(random)), 0L, 255L));
    return levels;
}
