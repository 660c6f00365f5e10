// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/centring_options.h"

#include <cstdint>
#include <optional>
#include <vector>

// The quality scores of one file's frames, measured in a first pass, and the
// frames a second pass keeps. Holds one number and one flag per frame, so a
// file of any length costs a few bytes a frame and no pictures.
class FrameRanking {
public:
    void clear();
    // A frame the writing pass would write (planet found, window accepted,
    // no reason to drop it), with its raw score and its object's brightness
    // above the sky. index is the frame's position in the file from 0.
    void add(std::int32_t index, double score, double brightness = 0.0);

    struct Choice {
        std::int32_t candidates = 0;   // frames that had a score
        std::int32_t kept = 0;
        double lowest = 0.0;   // normalised scores of the kept frames
        double highest = 0.0;
        std::int32_t bestIndex = -1;   // -1 when no frame had a score
        std::int32_t dim = 0;          // frames dropped as dim, not candidates
    };
    // Drops as dim, with dimPercent, the frames whose brightness is below that
    // share of the median of all added frames; then keeps the best of the
    // others by score (of equal scores the earlier), and normalises the
    // scores so that the best frame of the file is 1.0.
    Choice choose(const KeepBest& keep, std::optional<double> dimPercent = std::nullopt);
    bool kept(std::int32_t index) const;
    bool dim(std::int32_t index) const;
    // The normalised scores of the candidates of the last choose(), best first.
    std::vector<double> sortedScores() const;
    // The frame with the highest score, of the last choose(); -1 before.
    std::int32_t bestIndex() const { return m_bestIndex; }
    // The normalised score; 0 for a frame without one.
    double normalised(std::int32_t index) const;

private:
    std::vector<double> m_scores;   // by frame index; negative: no score
    std::vector<double> m_brightness;
    std::vector<bool> m_kept;
    std::vector<bool> m_dim;
    std::vector<std::int32_t> m_order;   // candidates, best first
    double m_best = 0.0;
    std::int32_t m_bestIndex = -1;
};
