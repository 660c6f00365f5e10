// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_ranking.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

void FrameRanking::clear()
{
    m_scores.clear();
    m_kept.clear();
    m_best = 0.0;
    m_bestIndex = -1;
}

void FrameRanking::add(std::int32_t index, double score)
{
    if (index < 0)
        return;
    if (std::size_t(index) >= m_scores.size())
        m_scores.resize(std::size_t(index) + 1, -1.0);
    m_scores[std::size_t(index)] = std::max(score, 0.0);
}

FrameRanking::Choice FrameRanking::choose(const KeepBest& keep)
{
    std::vector<std::int32_t> order;
    for (std::size_t i = 0; i < m_scores.size(); ++i)
        if (m_scores[i] >= 0.0)
            order.push_back(std::int32_t(i));
    std::stable_sort(order.begin(), order.end(), [this](std::int32_t a, std::int32_t b) {
        return m_scores[std::size_t(a)] > m_scores[std::size_t(b)];
    });

    Choice choice;
    choice.candidates = std::int32_t(order.size());
    choice.kept = keep.countOf(choice.candidates);
    m_kept.assign(m_scores.size(), false);
    m_bestIndex = -1;
    if (order.empty())
        return choice;
    m_best = m_scores[std::size_t(order.front())];
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

double FrameRanking::normalised(std::int32_t index) const
{
    if (index < 0 || std::size_t(index) >= m_scores.size() || m_scores[std::size_t(index)] < 0.0)
        return 0.0;
    // Frames without any detail all rank alike.
    return m_best > 0.0 ? m_scores[std::size_t(index)] / m_best : 1.0;
}
