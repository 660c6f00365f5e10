// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/output_rate.h"

#include "text/ascii_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace {

constexpr std::uint64_t kThousandthsMax = std::uint64_t(kOutputFpsMax) * 1000;

// thousandths / 1000, reduced.
FrameRate InThousandths(std::uint64_t thousandths)
{
    const std::uint64_t common = std::gcd(thousandths, std::uint64_t(1000));
    return {std::uint32_t(thousandths / common), std::uint32_t(1000 / common)};
}

// The whole number k whose k000 / 1001, rounded to as many decimals as the
// rate shows (two or three), is the rate; nothing when there is none. A rate
// of fewer decimals is never taken for one: 59.9 is not 59.94.
std::optional<std::uint64_t> NtscBase(std::uint64_t thousandths)
{
    const int decimals = thousandths % 10 != 0 ? 3 : thousandths % 100 != 0 ? 2 : 0;
    if (decimals == 0)
        return std::nullopt;
    const std::uint64_t unit = decimals == 3 ? 1 : 10;   // thousandths in the last decimal shown
    const std::uint64_t base = (thousandths * 1001 + 500000) / 1000000;
    // base000 / 1001 in units of the last decimal, rounded half up.
    const std::uint64_t shown = (base * 1000000 / unit * 2 + 1001) / 2002;
    if (base == 0 || shown != thousandths / unit)
        return std::nullopt;
    return base;
}

}   // namespace

std::optional<OutputRate> ParseOutputRate(std::string_view text)
{
    if (orbicrop::text::equalIgnoringAsciiCase(text, "source"))
        return OutputRate{true, {}};
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view decimals = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return std::ranges::all_of(part, [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || whole.size() > 4 || !digits(whole) || !digits(decimals) || decimals.size() > 3
        || (point != std::string_view::npos && decimals.empty()))
        return std::nullopt;
    std::uint64_t thousandths = 0;
    std::from_chars(whole.data(), whole.data() + whole.size(), thousandths);
    thousandths *= 1000;
    std::uint64_t scale = 100;
    for (const char c : decimals) {
        thousandths += std::uint64_t(c - '0') * scale;
        scale /= 10;
    }
    if (thousandths == 0 || thousandths > kThousandthsMax)
        return std::nullopt;
    if (const auto base = NtscBase(thousandths))
        return OutputRate{false, {std::uint32_t(*base * 1000), 1001}};
    return OutputRate{false, InThousandths(thousandths)};
}

std::string FpsText(const FrameRate& rate)
{
    const std::uint64_t thousandths = (std::uint64_t(rate.rate) * 1000 + rate.scale / 2) / rate.scale;
    std::string text = std::to_string(thousandths / 1000);
    if (const std::uint64_t part = thousandths % 1000; part != 0) {
        std::string decimals = std::to_string(1000 + part).substr(1);
        decimals.erase(decimals.find_last_not_of('0') + 1);
        text += "." + decimals;
    }
    return text;
}

std::string OutputRateText(const OutputRate& rate)
{
    return rate.source ? std::string("source") : FpsText(rate.fixed);
}

FrameRate FrameRateNear(double fps)
{
    if (!(fps > 0.0) || !std::isfinite(fps))
        return {};
    fps = std::clamp(fps, 0.001, 1e6);
    constexpr double kWithin = 2e-4;
    const double whole = std::round(fps);
    if (whole >= 1.0 && std::abs(fps - whole) <= kWithin * fps)
        return {std::uint32_t(whole), 1};
    const double base = std::round(fps * 1.001);
    if (base >= 1.0 && std::abs(fps - base * 1000.0 / 1001.0) <= kWithin * fps)
        return {std::uint32_t(base) * 1000, 1001};
    return InThousandths(std::max<std::uint64_t>(1, std::uint64_t(std::llround(fps * 1000.0))));
}
