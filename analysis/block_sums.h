// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/frame_view.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The block grid of a decoded frame: blockSize x blockSize squares, block row
// 0 at the bottom of the picture; pixels of a last, partial block row or
// column never take part. The threshold and the planet search both work on
// the sum of the green bytes of each block, so one pass computes the sums and
// both use them.
struct BlockGrid {
    std::int32_t blockSize = 0;
    std::int32_t rows = 0;      // inputHeight div blockSize
    std::int32_t columns = 0;   // inputWidth div blockSize
    std::int32_t count() const { return rows * columns; }
};

BlockGrid MakeBlockGrid(std::int32_t width, std::int32_t height, std::int32_t blockSize);

// The instruction sets the block loops come in. Every loop gives the same
// values in each; the functions pick the fastest the machine has unless told.
enum class BlockLoops { Portable, Avx2 };
// Whether this machine runs the Avx2 loops (x86-64 with AVX2).
bool Avx2Available();
BlockLoops FastestBlockLoops();

// Writes the green sum of every block into sums, in visiting order (block rows
// from the bottom up, block columns left to right). sums.size() must be at
// least grid.count().
void SumGreenBlocks(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums,
                    BlockLoops loops = FastestBlockLoops());

// Histogram peak of the rounded block means (lowest level with the highest
// count; 0 when there is no block).
std::int32_t HistogramPeak(std::span<const std::int32_t> sums, std::int32_t blockSize,
                           BlockLoops loops = FastestBlockLoops());

// Writes the indices of the sums[0, count) strictly above cut into indices
// (room for count), in order, and returns how many there are. Most blocks of
// a frame are sky below the cut, so the planet search visits only these.
std::size_t BlocksAbove(const std::int32_t* sums, std::size_t count, std::int64_t cut, std::uint32_t* indices,
                        BlockLoops loops = FastestBlockLoops());

// Threshold in green levels from a detection setting and the histogram peak.
double ThresholdFromPeak(std::int32_t peak, double percent);
