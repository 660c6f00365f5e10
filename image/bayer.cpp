// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/bayer.h"

#include "text/ascii_text.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 4> kPatternNames{"RGGB", "GRBG", "GBRG", "BGGR"};
constexpr std::array<std::string_view, 2> kMethodNames{"bilinear", "edge-aware"};

}   // namespace

std::string_view NameOf(BayerPattern pattern)
{
    return kPatternNames[std::size_t(pattern)];
}

std::optional<BayerPattern> ParseBayerPattern(std::string_view name)
{
    return orbicrop::text::EnumByName<BayerPattern>(kPatternNames, name);
}

BayerPattern PatternAt(BayerPattern origin, std::int64_t left, std::int64_t top)
{
    // The enum's order puts the column of the cell in bit 0 and its row in
    // bit 1: RGGB 00, GRBG 01 (one column on), GBRG 10 (one row on), BGGR 11.
    const unsigned column = (left % 2 != 0) ? 1U : 0U;
    const unsigned row = (top % 2 != 0) ? 2U : 0U;
    return BayerPattern(unsigned(origin) ^ column ^ row);
}

std::string_view NameOf(DemosaicMethod method)
{
    return kMethodNames[std::size_t(method)];
}

std::optional<DemosaicMethod> ParseDemosaicMethod(std::string_view name)
{
    return orbicrop::text::EnumByName<DemosaicMethod>(kMethodNames, name);
}
