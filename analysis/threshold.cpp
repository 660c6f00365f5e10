// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/threshold.h"

#include "analysis/block_scratch.h"
#include "analysis/block_sums.h"

double ComputeThreshold(const TProcessingState& state, const std::uint8_t* frame, std::int32_t& peak, double percent)
{
    const BlockGrid grid = MakeBlockGrid(state.inputWidth, state.inputHeight, state.blockSize);
    const auto sums = BlockScratch(std::size_t(grid.count()));
    SumGreenBlocks(BgrFrame(state, frame), grid, sums);
    peak = HistogramPeak(sums, grid.blockSize);
    return ThresholdFromPeak(peak, percent);
}
