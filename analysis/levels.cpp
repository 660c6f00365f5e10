// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/levels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

template <class T>
bool ParseNumber(std::string_view text, T& value)
{
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

// The first value whose running count passes fraction of the total.
std::int32_t Percentile(const std::vector<std::uint32_t>& counts, std::size_t from, double fraction)
{
    std::uint64_t total = 0;
    for (std::size_t v = from; v < counts.size(); ++v)
        total += counts[v];
    const double wanted = fraction * double(total);
    std::uint64_t running = 0;
    for (std::size_t v = from; v < counts.size(); ++v) {
        running += counts[v];
        if (double(running) >= wanted && running > 0)
            return std::int32_t(v);
    }
    return std::int32_t(from);
}

}   // namespace

std::optional<LevelsChoice> ParseLevels(std::string_view text)
{
    if (text == "auto")
        return LevelsChoice{true, 0, 0, 1.0};
    LevelsChoice choice;
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos)
        return std::nullopt;
    const std::size_t second = text.find(':', first + 1);
    const std::string_view white =
        text.substr(first + 1, second == std::string_view::npos ? second : second - first - 1);
    if (!ParseNumber(text.substr(0, first), choice.black) || !ParseNumber(white, choice.white))
        return std::nullopt;
    if (second != std::string_view::npos && !ParseNumber(text.substr(second + 1), choice.gamma))
        return std::nullopt;
    if (choice.black < 0 || choice.white <= choice.black || choice.white > 65535 || !(choice.gamma >= 0.1)
        || !(choice.gamma <= 10.0))
        return std::nullopt;
    return choice;
}

std::string LevelsText(const LevelsChoice& choice)
{
    if (choice.automatic)
        return "auto";
    std::string text = std::to_string(choice.black) + ":" + std::to_string(choice.white);
    if (choice.gamma != 1.0) {
        char gamma[32];
        std::snprintf(gamma, sizeof gamma, "%g", choice.gamma);
        text += ":" + std::string(gamma);
    }
    return text;
}

std::string LevelsLine(const FileLevels& levels)
{
    std::string line = " - Levels " + std::to_string(levels.black) + " to " + std::to_string(levels.white) + " of "
        + std::to_string((1 << levels.depth) - 1);
    if (levels.gamma != 1.0) {
        char gamma[32];
        std::snprintf(gamma, sizeof gamma, ", gamma %g", levels.gamma);
        line += gamma;
    }
    return line + (levels.automatic ? " (auto)" : "") + " for 8-bit output";
}

FileLevels AutoLevels(const std::vector<std::uint32_t>& counts, std::int32_t depth)
{
    FileLevels levels;
    levels.depth = depth;
    levels.automatic = true;
    levels.black = Percentile(counts, 0, 0.5);
    // The object's brightest part rather than the brightest sample: a few
    // hot pixels must not set the span.
    const std::int32_t bright = std::max(Percentile(counts, 0, 0.999), levels.black);
    const std::size_t object = std::size_t(levels.black + (bright - levels.black) / 4 + 1);
    levels.white = object < counts.size() ? Percentile(counts, object, 0.999) : bright;
    levels.white = std::max(levels.white, levels.black + 1);
    return levels;
}

LevelsTable::LevelsTable(const FileLevels& levels)
{
    // Steps of span / 256 source values, as the top 8 bits are steps of
    // 2^(depth - 8): the full span then narrows exactly as the readers do.
    const double span = double(levels.white - levels.black) + 1.0;
    for (std::size_t v = 0; v < m_out.size(); ++v) {
        const double x = std::clamp((double(v) - levels.black) / span, 0.0, 1.0);
        const double y = levels.gamma == 1.0 ? x * 256.0 : std::pow(x, 1.0 / levels.gamma) * 256.0;
        m_out[v] = std::uint8_t(std::min(std::floor(y), 255.0));
    }
}
