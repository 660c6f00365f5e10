// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Frames per second as a ratio of whole numbers, rate / scale (both above
// 0), as an AVI stream keeps it: NTSC's 59.94 is 60000 / 1001 exactly.
struct FrameRate {
    std::uint32_t rate = 30;
    std::uint32_t scale = 1;
    double fps() const { return double(rate) / double(scale); }
    friend bool operator==(const FrameRate&, const FrameRate&) = default;
};

// The rate an AVI output plays at: 30 frames per second, as every one did
// before the rate could be chosen; the source's own (see SourceFrameRate,
// run/); or one the user gives.
struct OutputRate {
    bool source = false;
    FrameRate fixed;   // unless source
    bool isDefault() const { return !source && fixed == FrameRate{}; }
    friend bool operator==(const OutputRate&, const OutputRate&) = default;
};

inline constexpr double kOutputFpsMax = 1000.0;

// "source" in any case, or a rate above 0 and up to kOutputFpsMax written
// with '.' for its point and at most three decimals ("25", "59.94"). A rate
// of two or three decimals that is x000 / 1001 rounded (23.976, 29.97,
// 59.94, 119.88) is that ratio; any other is kept in thousandths, reduced
// (12.5 is 25 / 2). Nothing for anything else.
std::optional<OutputRate> ParseOutputRate(std::string_view text);

// "source", or the rate as FpsText writes it: what ParseOutputRate reads
// back as the same choice. The default is "30".
std::string OutputRateText(const OutputRate& rate);

// The rate in decimals, rounded to thousandths, without trailing zeros:
// "25", "12.5", "59.94", "23.976".
std::string FpsText(const FrameRate& rate);

// The ratio a measured rate is kept as: a whole number, or x000 / 1001,
// when it lies within 0.02 % of one (what time stamps in 100 ns ticks and
// a clock's drift leave of them), else thousandths, reduced. A rate outside
// 0.001 to 1000000 is taken at the nearer bound; one that is no number
// above 0 gives the default.
FrameRate FrameRateNear(double fps);
