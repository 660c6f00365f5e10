// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"

#include <cstdint>
#include <vector>

// A decoded frame built in a test: BGR, rows bottom-up, stride width x 3.
struct TestFrame {
    std::int32_t width;
    std::int32_t height;
    std::vector<std::uint8_t> bytes;

    TestFrame(std::int32_t w, std::int32_t h, std::uint8_t green = 0)
        : width(w), height(h), bytes(std::size_t(w) * std::size_t(h) * 3, 0)
    {
        fillGreen(green);
    }

    std::uint8_t* data() { return bytes.data(); }
    std::uint8_t* pixel(std::int32_t x, std::int32_t y)
    {
        return bytes.data() + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
    }

    void fillGreen(std::uint8_t g)
    {
        for (std::size_t k = 1; k < bytes.size(); k += 3)
            bytes[k] = g;
    }
    void setPixel(std::int32_t x, std::int32_t y, std::uint8_t b, std::uint8_t g, std::uint8_t r)
    {
        std::uint8_t* p = pixel(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    // Sets the green bytes of block (column, row) of a 4 x 4 grid.
    void setBlockGreen(std::int32_t column, std::int32_t row, std::uint8_t g, std::int32_t blockSize = 4)
    {
        for (std::int32_t y = 0; y < blockSize; ++y)
            for (std::int32_t x = 0; x < blockSize; ++x)
                pixel(column * blockSize + x, row * blockSize + y)[1] = g;
    }
    std::uint8_t green(std::int32_t x, std::int32_t y) { return pixel(x, y)[1]; }

    // A state describing this frame, with the program's block size.
    TProcessingState state() const
    {
        TProcessingState s;
        s.blockSize = kBlockSize;
        s.inputWidth = width;
        s.inputHeight = height;
        return s;
    }
};

// 16 x 8 pixels of green 10, except block (2, 1) at 110 and block (3, 1) at 210.
inline TestFrame WorkedExample()
{
    TestFrame f(16, 8, 10);
    f.setBlockGreen(2, 1, 110);
    f.setBlockGreen(3, 1, 210);
    return f;
}
