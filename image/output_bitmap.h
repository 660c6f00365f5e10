// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// A 24-bit picture stored as a bottom-up device-independent bitmap: the first
// stored row is the bottom row of the picture, pixels are blue, green, red,
// and every row is padded with zero bytes to a multiple of 4.
class OutputBitmap {
public:
    OutputBitmap() = default;

    // Resizes the bitmap; the pixels are unspecified until written.
    void setSize(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }
    bool empty() const { return m_width <= 0 || m_height <= 0; }

    // Bytes per stored row: ((width x 24 + 31) div 32) x 4.
    std::int32_t stride() const { return m_stride; }
    static std::int32_t strideFor(std::int32_t width) { return ((width * 24 + 31) / 32) * 4; }

    // Row i counted from the bottom of the picture (i = 0: bottom row).
    std::uint8_t* rowFromBottom(std::int32_t i) { return m_pixels.data() + std::size_t(i) * std::size_t(m_stride); }
    const std::uint8_t* rowFromBottom(std::int32_t i) const
    {
        return m_pixels.data() + std::size_t(i) * std::size_t(m_stride);
    }
    // Row r counted from the top of the picture (r = 0: top row).
    const std::uint8_t* rowFromTop(std::int32_t r) const { return rowFromBottom(m_height - 1 - r); }

    // All stored rows, bottom row first: stride x height bytes.
    const std::uint8_t* data() const { return m_pixels.data(); }
    std::size_t sizeBytes() const { return m_pixels.size(); }

private:
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::int32_t m_stride = 0;
    std::vector<std::uint8_t> m_pixels;
};
