// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The 2 x 2 colour arrangements of one-shot-colour sensors, named from the
// top-left sample, and the ways of making colour from them.

enum class BayerPattern : std::uint8_t { Rggb, Grbg, Gbrg, Bggr };

// "RGGB", "GRBG", "GBRG", "BGGR".
std::string_view NameOf(BayerPattern pattern);
// One of the four names above, in any letter case; nothing for anything else.
std::optional<BayerPattern> ParseBayerPattern(std::string_view name);
// The pattern as seen from the sample at (left, top) of a mosaic whose own
// top-left sample has origin: a window cut at odd offsets starts on another
// site of the 2 x 2 cell. Only the parity counts, negative offsets included.
BayerPattern PatternAt(BayerPattern origin, std::int64_t left, std::int64_t top);

enum class DemosaicMethod : std::uint8_t { Bilinear, EdgeAware };
// "bilinear", "edge-aware".
std::string_view NameOf(DemosaicMethod method);
std::optional<DemosaicMethod> ParseDemosaicMethod(std::string_view name);
