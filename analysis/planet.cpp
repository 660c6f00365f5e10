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
#include <span>
#include <vector>

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

PlanetFix LocatePlanet(const TProcessingState& state, const FrameView& frame, const MarkableFrame* mark,
                       const PlanetSearch& search);

bool Unpack(const PlanetFix& fix, double& centerX, double& centerY, double& radiusX, double& radiusY)
{
    centerX = fix.centerX;
    centerY = fix.centerY;
    radiusX = fix.radiusX;
    radiusY = fix.radiusY;
    return fix.found;
}

// The room for one row's block indices past the sums in the block scratch
// (32-bit values either way, which may be read as each other).
std::uint32_t* AboveScratch(std::span<std::int32_t> scratch, std::size_t sumCount)
{
    return reinterpret_cast<std::uint32_t*>(scratch.data() + sumCount);
}

}   // namespace

bool FindPlanet(const TProcessingState& state, std::uint8_t* frame, double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY, bool showEffect, bool debayerSafe, bool inverse)
{
    return FindPlanet(state, MarkableBgrFrame(state, frame), centerX, centerY, percent, radiusX, radiusY, showEffect,
                      debayerSafe, inverse);
}

bool FindPlanet(const TProcessingState& state, const FrameView& frame, double& centerX, double& centerY, double percent,
                double& radiusX, double& radiusY, bool debayerSafe, bool inverse)
{
    return Unpack(LocatePlanet(state, frame, nullptr, {percent, debayerSafe, inverse, false}), centerX, centerY,
                  radiusX, radiusY);
}

bool FindPlanet(const TProcessingState& state, const MarkableFrame& frame, double& centerX, double& centerY,
                double percent, double& radiusX, double& radiusY, bool showEffect, bool debayerSafe, bool inverse)
{
    return Unpack(
        LocatePlanet(state, frame.view(), showEffect ? &frame : nullptr, {percent, debayerSafe, inverse, false}),
        centerX, centerY, radiusX, radiusY);
}

PlanetFix SearchPlanet(const TProcessingState& state, const FrameView& frame, const MarkableFrame* mark,
                       const PlanetSearch& search)
{
    return LocatePlanet(state, frame, mark, search);
}

bool PlanetFillsFrame(const TProcessingState& state, const FrameView& frame, double percent)
{
    const BlockGrid grid = MakeBlockGrid(frame.width, frame.height, state.blockSize);
    if (grid.count() == 0)
        return false;
    const auto sums = BlockScratch(std::size_t(grid.count()));
    SumGreenBlocks(frame, grid, sums);
    const std::int32_t peak = HistogramPeak(sums, grid.blockSize);
    const std::int32_t area = grid.blockSize * grid.blockSize;
    const std::int64_t cut =
        std::max<std::int64_t>(IntegerCut(ThresholdFromPeak(peak, percent) * double(area)), std::int64_t(peak) * area);
    bool left = false, right = false, bottom = false, top = false;
    for (std::int32_t row = 0; row < grid.rows; ++row) {
        for (std::int32_t column = 0; column < grid.columns; ++column) {
            if (std::int64_t(sums[std::size_t(row) * std::size_t(grid.columns) + std::size_t(column)]) <= cut)
                continue;
            left |= column == 0;
            right |= column == grid.columns - 1;
            bottom |= row == 0;
            top |= row == grid.rows - 1;
        }
    }
    return (left && right) || (bottom && top);
}

namespace {

PlanetFix LocateLargestObject(const FrameView& frame, const BlockGrid& grid, std::span<const std::int32_t> sums,
                              const MarkableFrame* mark, const PlanetSearch& search);

// The planet blocks of one search: their weighted sums and their extent,
// shared by both searches so they cannot drift apart.
struct PlanetBlocks {
    explicit PlanetBlocks(const FrameView& frame) : minX(double(frame.width)), minY(double(frame.height)) {}

    // A block centred at x, y of weight w above the background. Accumulated
    // in visiting order, one rounding per step, so the centre is
    // reproducible to the last bit.
    void add(double x, double y, std::int32_t weight)
    {
        if (y > maxY)
            maxY = y;
        if (y < minY)
            minY = y;
        if (x > maxX)
            maxX = x;
        if (x < minX)
            minX = x;
        if (weight > 0) {
            sumWX = sumWX + double(weight) * x;
            sumW = sumW + double(weight);
            sumWY = sumWY + double(weight) * y;
        }
    }

    double sumW = 0.0;
    double sumWX = 0.0;
    double sumWY = 0.0;
    double minX;
    double maxX = 0.0;
    double minY;
    double maxY = 0.0;
};

// Centre, even-making and radii from the accumulated sums and extents.
PlanetFix Conclude(const BlockGrid& grid, const PlanetBlocks& blocks, bool debayerSafe)
{
    double sumW = blocks.sumW;
    const double minX = blocks.minX, maxX = blocks.maxX, minY = blocks.minY, maxY = blocks.maxY;
    PlanetFix fix;
    fix.found = true;
    if (sumW == 0.0) {
        fix.found = false;
        sumW = 1.0;
    }
    fix.centerX = blocks.sumWX / sumW;
    fix.centerY = blocks.sumWY / sumW;
    if (debayerSafe) {
        fix.centerX = MakeEven(fix.centerX);
        fix.centerY = MakeEven(fix.centerY);
    }
    fix.radiusX = std::max(std::fabs(fix.centerX - maxX), std::fabs(fix.centerX - minX));
    fix.radiusY = std::max(std::fabs(fix.centerY - maxY), std::fabs(fix.centerY - minY));
    // Block centres on the outermost block columns (rows) of the grid.
    const double halfBlock = double(grid.blockSize - 1) / 2.0;
    const double lastX = double((grid.columns - 1) * grid.blockSize) + halfBlock;
    const double lastY = double((grid.rows - 1) * grid.blockSize) + halfBlock;
    fix.fillsFrame = grid.columns > 0 && grid.rows > 0
        && ((minX <= halfBlock && maxX >= lastX) || (minY <= halfBlock && maxY >= lastY));
    fix.touchesBorder = fix.found && (minX <= halfBlock || maxX >= lastX || minY <= halfBlock || maxY >= lastY);
    fix.brightness = blocks.sumW;
    return fix;
}

// The search itself; background blocks are brightened in mark when given.
PlanetFix LocatePlanet(const TProcessingState& state, const FrameView& frame, const MarkableFrame* mark,
                       const PlanetSearch& search)
{
    const BlockGrid grid = MakeBlockGrid(frame.width, frame.height, state.blockSize);
    const auto count = std::size_t(grid.count());
    const auto scratch = BlockScratch(count + std::size_t(grid.columns));
    const auto sums = scratch.first(count);
    SumGreenBlocks(frame, grid, sums);
    if (search.largestObject)
        return LocateLargestObject(frame, grid, sums, mark, search);
    const double percent = search.percent;
    const bool inverse = search.inverse;

    // The threshold always comes from the frame as it stands: the histogram
    // is never inverted, only the block values are.
    const std::int32_t peak = HistogramPeak(sums, grid.blockSize);
    const double threshold = ThresholdFromPeak(peak, percent);
    const std::int32_t area = grid.blockSize * grid.blockSize;
    const double thresholdLevel = threshold * double(area);
    const std::int32_t background = peak * area;
    const double halfBlock = double(grid.blockSize - 1) / 2.0;

    PlanetBlocks blocks(frame);

    // Block values are integers, so "w > level" is "w > floor(level)": an
    // integer test for the many background blocks, exact for every level.
    const std::int64_t cut = IntegerCut(thresholdLevel);

    const auto planetBlock = [&](std::size_t column, double y, std::int32_t w) {
        blocks.add(double(std::int32_t(column) * grid.blockSize) + halfBlock, y, w - background);
    };

    const auto columns = std::size_t(grid.columns);
    // Most blocks are sky, below the cut, and add nothing unless they are to
    // be marked: a row's blocks above the cut are found first, in vectors,
    // and only those are visited, in the same order.
    if (!inverse && mark == nullptr) {
        std::uint32_t* above = AboveScratch(scratch, count);
        for (std::int32_t row = 0; row < grid.rows; ++row) {
            const double y = double(row * grid.blockSize) + halfBlock;
            const std::int32_t* rowSums = sums.data() + std::size_t(row) * columns;
            const std::size_t found = BlocksAbove(rowSums, columns, cut, above);
            for (std::size_t k = 0; k < found; ++k)
                planetBlock(above[k], y, rowSums[above[k]]);
        }
        return Conclude(grid, blocks, search.debayerSafe);
    }

    for (std::int32_t row = 0; row < grid.rows; ++row) {
        const double y = double(row * grid.blockSize) + halfBlock;
        const std::int32_t* rowSums = sums.data() + std::size_t(row) * columns;
        for (std::size_t column = 0; column < columns; ++column) {
            std::int32_t w = rowSums[column];
            if (inverse)
                w = area * 255 - w;
            if (std::int64_t(w) > cut)
                planetBlock(column, y, w);
            else if (mark != nullptr)
                BrightenBlock(*mark, grid.blockSize, row, std::int32_t(column));
        }
    }

    return Conclude(grid, blocks, search.debayerSafe);
}

void TintBlock(const MarkableFrame& frame, std::int32_t blockSize, std::int32_t row, std::int32_t column)
{
    for (std::int32_t y = 0; y < blockSize; ++y) {
        std::uint8_t* pixel = frame.row(row * blockSize + y) + std::size_t(column * blockSize) * 3;
        for (std::int32_t x = 0; x < blockSize; ++x, pixel += 3) {
            pixel[0] = std::uint8_t(pixel[0] / 2);
            pixel[1] = std::uint8_t(pixel[1] / 2);
        }
    }
}

// Labels the 4-connected groups of planet blocks (label 0: background) and
// returns the label of the largest group, 0 when there is none. Groups are
// numbered in the visiting order of their first block, and a later group must
// be strictly larger to win, so the choice does not depend on anything else.
std::int32_t LabelLargestGroup(const BlockGrid& grid, std::span<const std::uint8_t> planet,
                               std::vector<std::int32_t>& labels)
{
    const auto count = std::size_t(grid.count());
    labels.assign(count, 0);
    std::vector<std::size_t> stack;
    std::int32_t next = 0;
    std::int32_t best = 0;
    std::size_t bestSize = 0;
    const auto columns = std::size_t(grid.columns);
    for (std::size_t start = 0; start < count; ++start) {
        if (!planet[start] || labels[start] != 0)
            continue;
        const std::int32_t label = ++next;
        std::size_t size = 0;
        labels[start] = label;
        stack.assign(1, start);
        while (!stack.empty()) {
            const std::size_t at = stack.back();
            stack.pop_back();
            ++size;
            const std::size_t column = at % columns;
            const auto visit = [&](std::size_t other) {
                if (planet[other] && labels[other] == 0) {
                    labels[other] = label;
                    stack.push_back(other);
                }
            };
            if (column > 0)
                visit(at - 1);
            if (column + 1 < columns)
                visit(at + 1);
            if (at >= columns)
                visit(at - columns);
            if (at + columns < count)
                visit(at + columns);
        }
        if (size > bestSize) {
            bestSize = size;
            best = label;
        }
    }
    return best;
}

// The search over the largest group only: the same classification, weights
// and order of accumulation as the full search, restricted to that group.
PlanetFix LocateLargestObject(const FrameView& frame, const BlockGrid& grid, std::span<const std::int32_t> sums,
                              const MarkableFrame* mark, const PlanetSearch& search)
{
    const std::int32_t peak = HistogramPeak(sums, grid.blockSize);
    const double threshold = ThresholdFromPeak(peak, search.percent);
    const std::int32_t area = grid.blockSize * grid.blockSize;
    const std::int64_t cut = IntegerCut(threshold * double(area));
    const std::int32_t background = peak * area;
    const double halfBlock = double(grid.blockSize - 1) / 2.0;

    const auto count = std::size_t(grid.count());
    const auto valueOf = [&](std::size_t i) { return search.inverse ? area * 255 - sums[i] : sums[i]; };
    std::vector<std::uint8_t> planet(count);
    for (std::size_t i = 0; i < count; ++i)
        planet[i] = std::int64_t(valueOf(i)) > cut ? 1 : 0;
    std::vector<std::int32_t> labels;
    const std::int32_t chosen = LabelLargestGroup(grid, planet, labels);

    PlanetBlocks blocks(frame);
    const auto columns = std::size_t(grid.columns);
    for (std::int32_t row = 0; row < grid.rows; ++row) {
        const double y = double(row * grid.blockSize) + halfBlock;
        for (std::size_t column = 0; column < columns; ++column) {
            const std::size_t i = std::size_t(row) * columns + column;
            if (!planet[i]) {
                if (mark != nullptr)
                    BrightenBlock(*mark, grid.blockSize, row, std::int32_t(column));
                continue;
            }
            if (labels[i] != chosen) {
                if (mark != nullptr)
                    TintBlock(*mark, grid.blockSize, row, std::int32_t(column));
                continue;
            }
            blocks.add(double(std::int32_t(column) * grid.blockSize) + halfBlock, y, valueOf(i) - background);
        }
    }
    return Conclude(grid, blocks, search.debayerSafe);
}

}   // namespace
