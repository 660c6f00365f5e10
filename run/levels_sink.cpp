// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/levels_sink.h"

#include "run/calibrating_sink.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint16_t SampleAt(const std::uint8_t* row, std::size_t i)
{
    std::uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);
    return v;
}

// Adds the counts of every value among a frame's samples.
void Count(const NativeFrame& frame, std::vector<std::uint32_t>& counts)
{
    counts.resize(std::max(counts.size(), std::size_t(1) << frame.depth), 0);
    const std::size_t n = std::size_t(frame.width) * std::size_t(frame.planes);
    for (std::int32_t y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.topRow + std::ptrdiff_t(y) * frame.stride;
        for (std::size_t i = 0; i < n; ++i)
            ++counts[std::min<std::size_t>(SampleAt(row, i), counts.size() - 1)];
    }
}

}   // namespace

const LevelsTable& LevelsSink::table(const NativeFrame& frame)
{
    if (m_counting) {
        Count(frame, m_counts);
        m_depth = std::max(m_depth, frame.depth);
    }
    if (m_table)
        return *m_table;
    if (!m_levels) {
        if (m_choice.automatic) {
            m_levels = AutoLevels(m_counts, frame.depth);
        } else {
            m_levels = FileLevels{m_choice.black, m_choice.white, m_choice.gamma, frame.depth, false};
        }
    }
    if (m_fixed)
        m_fixed(*m_levels);
    return m_table.emplace(*m_levels);
}

std::optional<FileLevels> LevelsSink::playedLevels() const
{
    if (!m_counting || m_counts.empty())
        return std::nullopt;
    return AutoLevels(m_counts, m_depth);
}

std::int32_t LevelsSink::FrameCB(const SourceFrame& frame)
{
    const NativeFrame* native = frame.native;
    if (native == nullptr || native->topRow == nullptr || native->bytesPerSample != 2 || native->depth <= 8)
        return m_sink.FrameCB(frame);
    const LevelsTable& levels = table(*native);
    const std::size_t width = std::size_t(native->width);
    const std::size_t height = std::size_t(native->height);
    if (native->planes == 1) {
        m_plane.resize(width * height);
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* row = native->topRow + std::ptrdiff_t(y) * native->stride;
            for (std::size_t x = 0; x < width; ++x)
                m_plane[y * width + x] = levels[SampleAt(row, x)];
        }
        return PassPlane(m_sink, frame, m_plane, native->width, native->height, m_picture);
    }
    // Three samples a pixel: to the 24-bit picture, blue first, rows bottom-up.
    m_picture.resize(width * height * 3);
    const bool bgr = native->layout == kSamplesBgr;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* in = native->topRow + std::ptrdiff_t(y) * native->stride;
        std::uint8_t* out = m_picture.data() + (height - 1 - y) * width * 3;
        for (std::size_t x = 0; x < width; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                out[x * 3 + c] = levels[SampleAt(in, x * 3 + (bgr ? c : 2 - c))];
    }
    SourceFrame out = frame;
    out.measured = nullptr;
    out.painter = nullptr;
    out.grayBottomRow = nullptr;
    out.grayStride = 0;
    out.buffer = m_picture.data();
    out.bufferLength = std::int32_t(m_picture.size());
    return m_sink.FrameCB(out);
}
