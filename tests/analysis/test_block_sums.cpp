// SPDX-License-Identifier: GPL-3.0-or-later
// The block sums and the histogram against plain loops over the pixels, on
// frames whose widths leave partial vectors, blocks and pixels at the right.

#include "analysis/block_sums.h"
#include "analysis/planet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
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
                    sum += frame.row(br * grid.blockSize
                                     + y)[(bc * grid.blockSize + x) * frame.bytesPerPixel + frame.greenOffset()];
            sums.push_back(sum);
        }
    return sums;
}

std::vector<std::uint8_t> Noise(std::size_t bytes, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out(bytes);
    for (auto& b : out)
        b = std::uint8_t(rng());
    return out;
}

// Every loop this machine runs: each must give what the portable one gives.
std::vector<BlockLoops> LoopsHere()
{
    std::vector<BlockLoops> loops{BlockLoops::Portable};
    if (Avx2Available())
        loops.push_back(BlockLoops::Avx2);
    return loops;
}

// The peak as the definition reads: rounded means, lowest of the highest counts.
std::int32_t NaivePeak(const std::vector<std::int32_t>& sums)
{
    std::vector<int> histogram(256);
    for (std::int32_t sum : sums)
        ++histogram[std::size_t(std::nearbyint(sum / 16.0))];
    int peak = 0;
    for (int level = 1; level < 256; ++level)
        if (histogram[std::size_t(level)] > histogram[std::size_t(peak)])
            peak = level;
    return peak;
}

}   // namespace

// 4 x 4 blocks: 8 blocks per vector, so 110 pixels leave 3 blocks and 2 pixels over.
// Rows padded to odd strides, stored either way up, and frames of all-black
// and all-white blocks (sums 0 and 4080) as well as noise.
TEST(SumGreenBlocks, MatchesThePixelsForGreyAndBgrFramesEitherWayUp)
{
    for (BlockLoops loops : LoopsHere()) {
        for (int width : {110, 256, 7}) {
            const int height = 13;
            for (int bytesPerPixel : {1, 3}) {
                for (int pad : {0, 5}) {
                    const std::ptrdiff_t rowBytes = std::ptrdiff_t(width) * bytesPerPixel + pad;
                    for (int fill : {-1, 0, 255}) {
                        auto pixels = Noise(std::size_t(rowBytes) * height, unsigned(width * bytesPerPixel + pad));
                        if (fill >= 0)
                            std::fill(pixels.begin(), pixels.end(), std::uint8_t(fill));
                        for (bool topDown : {false, true}) {
                            const FrameView frame{topDown ? pixels.data() + (height - 1) * rowBytes : pixels.data(),
                                                  topDown ? -rowBytes : rowBytes, width, height, bytesPerPixel};
                            const BlockGrid grid = MakeBlockGrid(width, height, 4);
                            std::vector<std::int32_t> sums(std::size_t(grid.count()), -1);
                            SumGreenBlocks(frame, grid, sums, loops);
                            EXPECT_EQ(sums, NaiveSums(frame, grid))
                                << int(loops) << ": " << width << " px, " << bytesPerPixel << " B, pad " << pad
                                << ", fill " << fill << ", top-down " << topDown;
                        }
                    }
                }
            }
        }
    }
}

// Every possible 4 x 4 sum, alone in a run long enough for the vectors,
// falls into the bin of its rounded mean (ties to even: 8 of 16 is 0, 24 is 2).
TEST(HistogramPeak, EverySumOfFourByFourBlocksFindsItsBin)
{
    for (BlockLoops loops : LoopsHere())
        for (std::int32_t sum = 0; sum <= 16 * 255; ++sum) {
            const std::vector<std::int32_t> sums(37, sum);
            ASSERT_EQ(HistogramPeak(sums, 4, loops), NaivePeak(sums)) << int(loops) << ": sum " << sum;
        }
}

// Random sky-like and spread sums of counts that leave partial vectors, and
// ties between two levels, where the lower must win whichever comes first.
TEST(HistogramPeak, VectorBinsCountAsThePortableOnes)
{
    std::mt19937 rng(11);
    for (std::size_t count : {1u, 31u, 32u, 33u, 1000u, 129600u}) {
        for (int spread : {40, 4080}) {
            std::uniform_int_distribution<std::int32_t> sum(0, spread);
            std::vector<std::int32_t> sums(count);
            for (auto& s : sums)
                s = sum(rng);
            for (BlockLoops loops : LoopsHere())
                EXPECT_EQ(HistogramPeak(sums, 4, loops), NaivePeak(sums)) << int(loops) << ": " << count;
        }
    }
    for (std::size_t count : {2u, 64u, 99u}) {
        std::vector<std::int32_t> tie(count);
        for (std::size_t i = 0; i < count; ++i)
            tie[i] = i % 2 ? 16 * 7 : 16 * 200;
        if (count % 2)
            tie.push_back(16 * 7);   // keep the counts equal
        for (BlockLoops loops : LoopsHere()) {
            EXPECT_EQ(HistogramPeak(tie, 4, loops), 7) << int(loops) << ": " << count;
            std::vector<std::int32_t> reversed(tie.rbegin(), tie.rend());
            EXPECT_EQ(HistogramPeak(reversed, 4, loops), 7) << int(loops) << ": " << count;
        }
    }
}

// The blocks above a cut, in order, for cuts inside and beyond the 32-bit
// range of the sums and runs that end on and off a vector.
TEST(BlocksAbove, FindsTheSumsAboveTheCutInOrder)
{
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    std::mt19937 rng(5);
    std::uniform_int_distribution<std::int32_t> sum(0, 300);
    for (std::size_t count : {0u, 7u, 8u, 31u, 32u, 70u, 480u}) {
        std::vector<std::int32_t> sums(count);
        for (auto& s : sums)
            s = sum(rng) < 3 ? 4000 : sum(rng);
        if (count > 2) {
            sums[0] = kMax;
            sums[count - 1] = kMin;
        }
        for (std::int64_t cut :
             {std::int64_t(std::numeric_limits<std::int64_t>::min()), std::int64_t(kMin) - 1, std::int64_t(kMin),
              std::int64_t(-1), std::int64_t(295), std::int64_t(4000), std::int64_t(kMax) - 1, std::int64_t(kMax),
              std::int64_t(kMax) + 1, std::numeric_limits<std::int64_t>::max()}) {
            std::vector<std::uint32_t> expected;
            for (std::size_t i = 0; i < count; ++i)
                if (std::int64_t(sums[i]) > cut)
                    expected.push_back(std::uint32_t(i));
            for (BlockLoops loops : LoopsHere()) {
                std::vector<std::uint32_t> indices(count);
                indices.resize(BlocksAbove(sums.data(), count, cut, indices.data(), loops));
                EXPECT_EQ(indices, expected) << int(loops) << ": " << count << " sums, cut " << cut;
            }
        }
    }
}

TEST(HistogramPeak, CountsEveryBlockWhateverTheirNumber)
{
    // 4 x 4 means: 8 of 16 rounds to even, so 24 (1.5) and 40 (2.5) both make 2.
    for (std::size_t count : {5u, 8u, 11u}) {
        std::vector<std::int32_t> sums(count, 16 * 200);
        for (std::size_t i = 0; i < count / 2 + 1; ++i)
            sums[i * 2 % count] = i % 2 ? 24 : 40;
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

// Sky blocks are passed over in vectors of eight: a bright block at the start,
// at the end of a vector and among the blocks past the last one still counts.
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
            for (int x = column * 4; x < column * 4 + 4; ++x)
                gray[std::size_t(y) * width + std::size_t(x)] = 200;
        double cx = 0, cy = 0, rx = 0, ry = 0;
        const bool found = FindPlanet(state, GrayFrame(state, gray.data(), width), cx, cy, 5.0, rx, ry, false, false);
        EXPECT_TRUE(found) << column;
        EXPECT_EQ(cx, column * 4 + 1.5) << column;
        EXPECT_EQ(cy, 5.5) << column;
    }
}
