// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/dispersion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Two decimals with the sign always written, minus as the typographic one
// (U+2212); a value that rounds to nothing is "+0.00".
std::string Signed(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.2f", std::fabs(rounded));
    return (rounded < 0.0 ? "\u2212" : "+") + std::string(digits);
}

std::string Pair(const ChannelOffset& o)
{
    return Signed(o.x) + ", " + Signed(o.y) + " px";
}

}   // namespace

std::optional<Dispersion> MedianDispersion(const std::vector<Dispersion>& measured)
{
    if (measured.empty())
        return std::nullopt;
    const auto median = [&](const std::function<double(const Dispersion&)>& coordinate) {
        std::vector<double> values;
        values.reserve(measured.size());
        for (const Dispersion& d : measured)
            values.push_back(coordinate(d));
        return Median(std::move(values));
    };
    Dispersion held;
    held.red.x = median([](const Dispersion& d) { return d.red.x; });
    held.red.y = median([](const Dispersion& d) { return d.red.y; });
    held.blue.x = median([](const Dispersion& d) { return d.blue.x; });
    held.blue.y = median([](const Dispersion& d) { return d.blue.y; });
    return held;
}

std::string DispersionLine(const Dispersion& d)
{
    return "Dispersion: R " + Pair(d.red) + "; B " + Pair(d.blue) + " against G";
}
