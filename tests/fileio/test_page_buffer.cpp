// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/page_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

using orbicrop::fileio::PageBuffer;

// Buffers on both sides of the huge-page size and its boundaries start as
// zeros and hold every byte written to them, also once moved; trimming the
// mapping to a boundary must not cut into a neighbour's bytes.
TEST(PageBuffer, HoldsEveryByteOfEverySize)
{
    std::vector<PageBuffer> buffers;
    for (const std::size_t size : {std::size_t(1), std::size_t(4096), (std::size_t(1) << 20) - 1, std::size_t(1) << 20,
                                   std::size_t(2) << 20, (std::size_t(2) << 20) + 1, std::size_t(5) << 20}) {
        PageBuffer buffer(size);
        ASSERT_EQ(buffer.size(), size);
        EXPECT_TRUE(std::all_of(buffer.data(), buffer.data() + size, [](std::uint8_t b) { return b == 0; }));
        std::fill_n(buffer.data(), size, std::uint8_t(size % 251));
        buffers.push_back(std::move(buffer));
        EXPECT_TRUE(buffer.empty());
    }
    for (const PageBuffer& buffer : buffers) {
        const auto value = std::uint8_t(buffer.size() % 251);
        EXPECT_TRUE(
            std::all_of(buffer.data(), buffer.data() + buffer.size(), [&](std::uint8_t b) { return b == value; }));
    }
    PageBuffer moved;
    moved = std::move(buffers.back());
    EXPECT_EQ(moved.size(), std::size_t(5) << 20);
    EXPECT_EQ(moved.data()[moved.size() - 1], std::uint8_t(moved.size() % 251));
}
