// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/planet.h"

#include "analysis/block_scratch.h"
#include "analysis/block_sums.h"
#include "analysis/rounding.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <limits>

std::uint8_t ClampByte(std::int32_t value)
{
    return value > 255 ? std::uint8_t(255) : std::uint8_t(value);
}

namespace {

void BrightenBlock(const MarkableFrame& frame, std::int32_t blockSize, std::int32_t row, std::int32_t column)
{
    for (std::int32_t y = 0; y < blockSize; ++y) {
        std::uint8_t* green = frame.row(row * blockSize + y) + std::size_t(column * blockSize) * 3 + 1;
        for (std::int32_t x = 0; x < blockSize; ++x, green += 3)
            *green = ClampByte(std::int32_t(*green) + 50);
    }
}

// The largest integer not above level, within the range of 64-bit integers;
// a level that is not a number admits no block, as the real comparison would.
std::int64_t IntegerCut(double level)
{
    if (std::isnan(level) || level >= 9.0e18)
        return std::numeric_limits<std::int64_t>::max();
    if (level <= -9.0e18)
        return std::numeric_limits<std::int64_t>::min();
    return std::int64_t(std::floor(level));
}

bool LocatePlanet(const TProcessingState& state, const FrameView& frame, const MarkableFrame* mark,
                  double& centerX, double& centerY, double percent,
                  double& radiusX, double& radiusY, bool debayerSafe, bool inverse);

// The first of sums[from, end) above cut; end when there is none.
std::size_t NextAbove(const std::int32_t* sums, std::size_t from, std::size_t end, std::int64_t cut)
{
    // Sums are 32-bit, so a cut beyond that range decides alone.
    const auto cut32 = std::int32_t(std::clamp<std::int64_t>(cut, std::numeric_limits<std::int32_t>::min(),
                                                             std::numeric_limits<std::int32_t>::max()));
    if (cut >= std::numeric_limits<std::int32_t>::max())
        return end;
    for (; from + 8 <= end; from += 8) {
        bool any = false;
        for (std::size_t k = 0; k < 8; ++k)
            any |= sums[from + k] > cut32;
        if (any)
            break;
    }
    while (from < end && std::int64_t(sums[from]) <= cut)
        ++from;
    return from;
}

double MakeEven(double coordinate)
{
    const std::int64_t r = RoundHalfEven(coordinate);
    return (r % 2 != 0) ? double(r + 1) : coordinate;
}

} // namespace

bool FindPlanet(const TProcessingState& state, std::uint8_t* frame,
                double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY,
                bool showEffect, bool debayerSafe, bool inverse)
{
    return FindPlanet(state, MarkableBgrFrame(state, frame), centerX, centerY, percent, radiusX, radiusY,
                      showEffect, debayerSafe, inverse);
}

bool FindPlanet(const TProcessingState& state, const FrameView& frame,
                double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY,
                bool debayerSafe, bool inverse)
{
    return LocatePlanet(state, frame, nullptr, centerX, centerY, percent, radiusX, radiusY, debayerSafe, inverse);
}

bool FindPlanet(const TProcessingState& state, const MarkableFrame& frame,
                double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY,
                bool showEffect, bool debayerSafe, bool inverse)
{
    return LocatePlanet(state, frame.view(), showEffect ? &frame : nullptr, centerX, centerY, percent, radiusX,
                        radiusY, debayerSafe, inverse);
}

namespace {

// The search itself; background blocks are brightened in mark when given.
bool LocatePlanet(const TProcessingState& state, const FrameView& frame, const MarkableFrame* mark,
                  double& centerX, double& centerY, double percent,
                  double& radiusX, double& radiusY, bool debayerSafe, bool inverse)
{
    const BlockGrid grid = MakeBlockGrid(frame.width, frame.height, state.blockSize);
    const auto sums = BlockScratch(std::size_t(grid.count()));
    SumGreenBlocks(frame, grid, sums);

    // The threshold always comes from the frame as it stands: the histogram
    // is never inverted, only the block values are.
    const std::int32_t peak = HistogramPeak(sums, grid.blockSize);
    const double threshold = ThresholdFromPeak(peak, percent);
    const std::int32_t area = grid.blockSize * grid.blockSize;
    const double thresholdLevel = threshold * double(area);
    const std::int32_t background = peak * area;
    const double halfBlock = double(grid.blockSize - 1) / 2.0;

    double sumW = 0.0;
    double sumWX = 0.0;
    double sumWY = 0.0;
    double minX = double(frame.width);
    double maxX = 0.0;
    double minY = double(frame.height);
    double maxY = 0.0;

    // Block values are integers, so "w > level" is "w > floor(level)": an
    // integer test for the many background blocks, exact for every level.
    const std::int64_t cut = IntegerCut(thresholdLevel);

    // Most blocks are sky, below the cut, and add nothing unless they are to
    // be marked: those are passed over eight at a time.
    const bool skipDim = !inverse && mark == nullptr;
    const auto columns = std::size_t(grid.columns);
    for (std::int32_t row = 0; row < grid.rows; ++row) {
        const double y = double(row * grid.blockSize) + halfBlock;
        const std::int32_t* rowSums = sums.data() + std::size_t(row) * columns;
        for (std::size_t column = 0; column < columns; ++column) {
            if (skipDim) {
                column = NextAbove(rowSums, column, columns, cut);
                if (column == columns)
                    break;
            }
            std::int32_t w = rowSums[column];
            if (inverse)
                w = area * 255 - w;
            if (std::int64_t(w) > cut) {
                const double x = double(std::int32_t(column) * grid.blockSize) + halfBlock;
                if (y > maxY) maxY = y;
                if (y < minY) minY = y;
                if (x > maxX) maxX = x;
                if (x < minX) minX = x;
                const std::int32_t weight = w - background;
                if (weight > 0) {
                    // Accumulated in visiting order, one rounding per step,
                    // so the centre is reproducible to the last bit.
                    sumWX = sumWX + double(weight) * x;
                    sumW = sumW + double(weight);
                    sumWY = sumWY + double(weight) * y;
                }
            } else if (mark != nullptr) {
                BrightenBlock(*mark, grid.blockSize, row, std::int32_t(column));
            }
        }
    }

    bool found = true;
    if (sumW == 0.0) {
        found = false;
        sumW = 1.0;
    }
    centerX = sumWX / sumW;
    centerY = sumWY / sumW;
    if (debayerSafe) {
        centerX = MakeEven(centerX);
        centerY = MakeEven(centerY);
    }
    radiusX = std::max(std::fabs(centerX - maxX), std::fabs(centerX - minX));
    radiusY = std::max(std::fabs(centerY - maxY), std::fabs(centerY - minY));
    return found;
}

} // namespace
