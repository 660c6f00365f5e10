// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_ranking.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

void FrameRanking::clear()
{
    m_scores.clear();
    m_brightness.clear();
    m_kept.clear();
    m_dim.clear();
    m_order.clear();
    m_best = 0.0;
    m_bestIndex = -1;
}

void FrameRanking::add(std::int32_t index, double score, double brightness)
{
    if (index < 0)
        return;
    if (std::size_t(index) >= m_scores.size()) {
        m_scores.resize(std::size_t(index) + 1, -1.0);
        m_brightness.resize(std::size_t(index) + 1, 0.0);
    }
    // NaN counts as no detail, not as a score that sorts anywhere.
    m_scores[std::size_t(index)] = score > 0.0 ? score : 0.0;
    m_brightness[std::size_t(index)] = brightness;
}

namespace {

// The median of the added frames' brightness (the mean of the middle two of
// an even count); 0 without frames.
double MedianBrightness(const std::vector<double>& scores, const std::vector<double>& brightness)
{
    std::vector<double> values;
    for (std::size_t i = 0; i < scores.size(); ++i)
        if (scores[i] >= 0.0)
            values.push_back(brightness[i]);
    if (values.empty())
        return 0.0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 != 0)
        return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(middle));
    return lower + (upper - lower) / 2.0;
}

}   // namespace

FrameRanking::Choice FrameRanking::choose(const KeepBest& keep, std::optional<double> dimPercent)
{
    Choice choice;
    m_dim.assign(m_scores.size(), false);
    if (dimPercent) {
        const double floor = MedianBrightness(m_scores, m_brightness) * *dimPercent / 100.0;
        for (std::size_t i = 0; i < m_scores.size(); ++i)
            if (m_scores[i] >= 0.0 && m_brightness[i] < floor) {
                m_dim[i] = true;
                ++choice.dim;
            }
    }
    std::vector<std::int32_t>& order = m_order;
    order.clear();
    for (std::size_t i = 0; i < m_scores.size(); ++i)
        if (m_scores[i] >= 0.0 && !m_dim[i])
            order.push_back(std::int32_t(i));
    std::stable_sort(order.begin(), order.end(), [this](std::int32_t a, std::int32_t b) {
        return m_scores[std::size_t(a)] > m_scores[std::size_t(b)];
    });

    choice.candidates = std::int32_t(order.size());
    m_kept.assign(m_scores.size(), false);
    m_bestIndex = -1;
    if (order.empty())
        return choice;
    m_best = m_scores[std::size_t(order.front())];
    if (keep.kind == KeepBest::Kind::Floor) {
        // At least the best frame, as every other kind keeps.
        choice.kept = 1;
        while (choice.kept < choice.candidates && normalised(order[std::size_t(choice.kept)]) >= keep.floor)
            ++choice.kept;
    } else {
        choice.kept = keep.countOf(choice.candidates);
    }
    choice.bestIndex = order.front();
    m_bestIndex = choice.bestIndex;
    for (std::int32_t k = 0; k < choice.kept; ++k)
        m_kept[std::size_t(order[std::size_t(k)])] = true;
    choice.highest = normalised(order.front());
    choice.lowest = normalised(order[std::size_t(choice.kept - 1)]);
    return choice;
}

bool FrameRanking::kept(std::int32_t index) const
{
    return index >= 0 && std::size_t(index) < m_kept.size() && m_kept[std::size_t(index)];
}

bool FrameRanking::dim(std::int32_t index) const
{
    return index >= 0 && std::size_t(index) < m_dim.size() && m_dim[std::size_t(index)];
}

std::vector<double> FrameRanking::sortedScores() const
{
    std::vector<double> scores;
    scores.reserve(m_order.size());
    for (const std::int32_t index : m_order)
        scores.push_back(normalised(index));
    return scores;
}

double FrameRanking::normalised(std::int32_t index) const
{
    if (index < 0 || std::size_t(index) >= m_scores.size() || m_scores[std::size_t(index)] < 0.0)
        return 0.0;
    // Frames without any detail all rank alike.
    return m_best > 0.0 ? m_scores[std::size_t(index)] / m_best : 1.0;
}
