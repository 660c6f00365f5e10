// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/centring_options.h"

#include <cstdint>
#include <vector>

// The quality scores of one file's frames, measured in a first pass, and the
// frames a second pass keeps. Holds one number and one flag per frame, so a
// file of any length costs a few bytes a frame and no pictures.
class FrameRanking {
public:
    void clear();
    // A frame the writing pass would write (planet found, window accepted),
    // with its raw score. index is the frame's position in the file from 0.
    void add(std::int32_t index, double score);

    struct Choice {
        std::int32_t candidates = 0;   // frames that had a score
        std::int32_t kept = 0;
        double lowest = 0.0;   // normalised scores of the kept frames
        double highest = 0.0;
        std::int32_t bestIndex = -1;   // -1 when no frame had a score
    };
    // Keeps the best frames by score (of equal scores the earlier), and
    // normalises the scores so that the best frame of the file is 1.0.
    Choice choose(const KeepBest& keep);

    bool kept(std::int32_t index) const;
    // The frame with the highest score, of the last choose(); -1 before.
    std::int32_t bestIndex() const { return m_bestIndex; }
    // The normalised score; 0 for a frame without one.
    double normalised(std::int32_t index) const;

private:
    std::vector<double> m_scores;   // by frame index; negative: no score
    std::vector<bool> m_kept;
    double m_best = 0.0;
    std::int32_t m_bestIndex = -1;
};
