// SPDX-License-Identifier: GPL-3.0-or-later
// The block sums and the histogram against plain loops over the pixels, on
// frames whose widths leave partial vectors, blocks and pixels at the right.

#include "analysis/block_sums.h"
#include "analysis/planet.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<std::int32_t> NaiveSums(const FrameView& frame, const BlockGrid& grid)
{
    std::vector<std::int32_t> sums;
    for (int br = 0; br < grid.rows; ++br)
        for (int bc = 0; bc < grid.columns; ++bc) {
            std::int32_t sum = 0;
            for (int y = 0; y < grid.blockSize; ++y)
                for (int x = 0; x < grid.blockSize; ++x)
                    sum += frame.row(br * grid.blockSize + y)[(bc * grid.blockSize + x) * frame.bytesPerPixel
                                                              + frame.greenOffset()];
            sums.push_back(sum);
        }
    return sums;
}

std::vector<std::uint8_t> Noise(std::size_t bytes, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out(bytes);
    for (auto& b : out) b = std::uint8_t(rng());
    return out;
}

} // namespace

// 4 x 4 blocks: 8 blocks per vector, so 110 pixels leave 3 blocks and 2 pixels over.
TEST(SumGreenBlocks, MatchesThePixelsForGreyAndBgrFramesEitherWayUp)
{
    for (int width : {110, 256, 7}) {
        const int height = 13;
        for (int bytesPerPixel : {1, 3}) {
            auto pixels = Noise(std::size_t(width) * height * bytesPerPixel, unsigned(width * bytesPerPixel));
            const std::ptrdiff_t rowBytes = std::ptrdiff_t(width) * bytesPerPixel;
            for (bool topDown : {false, true}) {
                const FrameView frame{topDown ? pixels.data() + (height - 1) * rowBytes : pixels.data(),
                                      topDown ? -rowBytes : rowBytes, width, height, bytesPerPixel};
                const BlockGrid grid = MakeBlockGrid(width, height, 4);
                std::vector<std::int32_t> sums(std::size_t(grid.count()), -1);
                SumGreenBlocks(frame, grid, sums);
                EXPECT_EQ(sums, NaiveSums(frame, grid)) << width << " px, " << bytesPerPixel << " B, top-down " << topDown;
            }
        }
    }
}

TEST(HistogramPeak, CountsEveryBlockWhateverTheirNumber)
{
    // 4 x 4 means: 8 of 16 rounds to even, so 24 (1.5) and 40 (2.5) both make 2.
    for (std::size_t count : {5u, 8u, 11u}) {
        std::vector<std::int32_t> sums(count, 16 * 200);
        for (std::size_t i = 0; i < count / 2 + 1; ++i) sums[i * 2 % count] = i % 2 ? 24 : 40;
        EXPECT_EQ(HistogramPeak(sums, 4), 2) << count;
    }
    std::vector<std::int32_t> lastDecides(9, 0);
    lastDecides.back() = 16 * 255;
    lastDecides[3] = 16 * 255;
    lastDecides[4] = 16 * 255;
    lastDecides[5] = 16 * 255;
    lastDecides[6] = 16 * 255;
    EXPECT_EQ(HistogramPeak(lastDecides, 4), 255);
}

// Sky blocks are passed over in runs of eight: a bright block at the start,
// at the end of a run and among the blocks past the last run still counts.
TEST(FindPlanet, BrightBlocksAtTheEdgesOfSkippedRunsCount)
{
    const int width = 4 * 21;
    const int height = 8;
    TProcessingState state;
    state.blockSize = 4;
    state.inputWidth = width;
    state.inputHeight = height;
    for (int column : {0, 7, 8, 20}) {
        std::vector<std::uint8_t> gray(std::size_t(width) * height, 10);
        for (int y = 4; y < 8; ++y)
            for (int x = column * 4; x < column * 4 + 4; ++x) gray[std::size_t(y) * width + std::size_t(x)] = 200;
        double cx = 0, cy = 0, rx = 0, ry = 0;
        const bool found = FindPlanet(state, GrayFrame(state, gray.data(), width), cx, cy, 5.0, rx, ry, false, false);
        EXPECT_TRUE(found) << column;
        EXPECT_EQ(cx, column * 4 + 1.5) << column;
        EXPECT_EQ(cy, 5.5) << column;
    }
}
