// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

// A one-line progress bar on a terminal: percentage, frames per second and
// time left, redrawn at most ten times a second.
class ProgressBar {
public:
    explicit ProgressBar(std::FILE* out) : m_out(out) {}

    void start(std::int32_t total);
    void setTotal(std::int32_t total) { m_total = total; }
    void update(std::int32_t done);
    // Clears the line so that the next text starts at its beginning.
    void finish();

private:
    std::FILE* m_out;
    std::int32_t m_total = 0;
    std::chrono::steady_clock::time_point m_start{};
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_drawn = false;
};
