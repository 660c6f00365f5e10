// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/bayer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// What the samples of a file that names no mosaic tell about one.
//
// Over the object (the 2 x 2 cells well above the sky) the four sites of a
// mosaic's cell each sum one colour: the two green sites, a diagonal pair,
// sum to the same level, the red and blue sites of the other diagonal to
// levels as unlike as the object's red and blue. A mono sensor's four sites
// all sum to one level. Summed levels, unlike neighbour differences, do not
// depend on noise or on how sharp the picture is.
struct BayerEvidence {
    // The pattern the top-left sample starts; none when the data reads as mono.
    std::optional<BayerPattern> pattern;
    // The lower summed level of a diagonal pair of sites over the higher
    // (1: the same level): greenAgreement for the pair that agrees better,
    // otherAgreement for the other pair.
    double greenAgreement = 0.0;
    double otherAgreement = 0.0;
    std::int64_t cells = 0;   // object cells the levels were summed over
};

// A mosaic is found when its greens agree to kGreenAgreement and its other
// pair agrees by at least kOtherMargin less. A mono sensor's sites differ by
// far less (gradients across the object, fixed-pattern noise of a percent);
// a colour scene's red and blue by more, unless it is grey and white-balanced,
// when colour adds little. Of red and blue, red is the brighter site: raw
// frames of the planets, the Moon and the Sun in white light hold more red
// than blue, and where the two are near equal, swapping them changes little.
inline constexpr double kGreenAgreement = 0.97;
inline constexpr double kOtherMargin = 0.05;
// Fewer object cells than this decide nothing.
inline constexpr std::int64_t kMinObjectCells = 64;

// Sums the sites of a few frames of one plane and weighs them.
class BayerDetector {
public:
    // One frame: width x height samples of bytesPerSample bytes (two: the
    // host's order), rows stride bytes apart, from the top row. A sample's
    // step to the next of its row is sampleStep bytes (the plane of a
    // frame with interleaved planes).
    void add(const std::uint8_t* topRow, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
             std::int32_t bytesPerSample, std::ptrdiff_t sampleStep);
    BayerEvidence evidence() const;

private:
    // Summed levels of the sites (row parity x 2 + column parity).
    std::array<double, 4> m_sums{};
    std::int64_t m_cells = 0;
};
