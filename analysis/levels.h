// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How samples deeper than 8 bits become the 8-bit picture that AVI and PNG
// outputs (and the preview) show: the readers keep the top 8 bits, which
// leaves a capture exposed to a quarter of the range dark and coarse. Levels
// stretch a chosen span of source values over the 256 output values instead.
// Outputs that keep the source's samples (SER, FITS, TIFF) are not touched.
struct LevelsChoice {
    // From the object in each file's first frames; else the values below.
    bool automatic = false;
    // Source values, in the source's own units (0..4095 for 12 bits).
    std::int32_t black = 0;
    std::int32_t white = 0;
    double gamma = 1.0;
};

// "auto" or "BLACK:WHITE[:GAMMA]"; none when the text is neither, or names
// a span that is empty or out of 16 bits, or a gamma outside 0.1..10.
std::optional<LevelsChoice> ParseLevels(std::string_view text);
// The text ParseLevels reads back.
std::string LevelsText(const LevelsChoice& choice);

// The levels fixed for one file: the same for every frame of it, so that
// the output does not flicker.
struct FileLevels {
    std::int32_t black = 0;
    std::int32_t white = 0;
    double gamma = 1.0;
    std::int32_t depth = 16;   // bits of the samples they apply to
    bool automatic = false;
};

// The log's line for a file's levels.
std::string LevelsLine(const FileLevels& levels);

// Auto levels from the counts of each source value (index: value) in a
// file's first frames: black at the sky (the median sample, the sky being
// most of a planetary frame), white at the 99.9th percentile of the
// object's samples (those brighter than a quarter of the way from the sky
// to the frame's 99.9th percentile, which hot pixels do not reach). Never
// an empty span.
FileLevels AutoLevels(const std::vector<std::uint32_t>& counts, std::int32_t depth);

// Every two-byte source value's 8-bit output value. With black 0, white
// 2^depth - 1 and no gamma it is exactly the top 8 bits of the value, as
// the readers narrow.
class LevelsTable {
public:
    explicit LevelsTable(const FileLevels& levels);
    std::uint8_t operator[](std::uint16_t value) const { return m_out[value]; }

private:
    std::array<std::uint8_t, 65536> m_out{};
};
