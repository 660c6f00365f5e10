// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_bar.h"

#include <algorithm>

void ProgressBar::start(std::int32_t total)
{
    m_total = total;
    m_start = std::chrono::steady_clock::now();
    m_lastDraw = {};
}

void ProgressBar::update(std::int32_t done)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_lastDraw < std::chrono::milliseconds(100))
        return;
    m_lastDraw = now;
    m_drawn = true;

    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const double fps = seconds > 0 ? done / seconds : 0.0;
    const int percent = m_total > 0 ? int(std::clamp<std::int64_t>(std::int64_t(done) * 100 / m_total, 0, 100)) : 0;
    constexpr int kWidth = 30;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < percent * kWidth / 100 ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(m_out, "\r[%s] %3d%%  %6.1f fps", bar, percent, fps);
    if (fps > 0 && m_total > done) {
        const long left = long((m_total - done) / fps + 0.5);
        std::fprintf(m_out, "  %ld:%02ld left ", left / 60, left % 60);
    } else {
        std::fprintf(m_out, "             ");
    }
    std::fflush(m_out);
}

void ProgressBar::finish()
{
    if (m_drawn) {
        std::fprintf(m_out, "\r%*s\r", 70, "");
        std::fflush(m_out);
    }
    m_drawn = false;
}
