#include "analysis/block_sums.h"

#include "analysis/rounding.h"
#include "image/vector_loop.h"

#include <array>
#include <cstddef>

BlockGrid MakeBlockGrid(std::int32_t width, std::int32_t height, std::int32_t blockSize)
{
    BlockGrid grid;
    grid.blockSize = blockSize;
    if (blockSize > 0 && width > 0 && height > 0) {
        grid.rows = height / blockSize;
        grid.columns = width / blockSize;
    }
    return grid;
}

namespace {

// The common case, 4 x 4 blocks: sum the four stored rows of a block row first
// (byte-wise, in 16-bit lanes the compiler vectorises), then pick the green
// bytes of each block out of that row sum.
template <int BytesPerPixel>
[[gnu::always_inline]] inline void SumGreenBlocks4(const FrameView& frame, const BlockGrid& grid,
                                                   std::span<std::int32_t> sums, std::uint16_t* rowSum)
{
    constexpr std::size_t kBlockBytes = 4 * BytesPerPixel;
    constexpr std::size_t kGreen = BytesPerPixel == 3 ? 1 : 0;
    const std::size_t used = std::size_t(grid.columns) * kBlockBytes;
    for (std::int32_t br = 0; br < grid.rows; ++br) {
        const std::uint8_t* r0 = frame.row(br * 4);
        const std::uint8_t* r1 = frame.row(br * 4 + 1);
        const std::uint8_t* r2 = frame.row(br * 4 + 2);
        const std::uint8_t* r3 = frame.row(br * 4 + 3);
        for (std::size_t k = 0; k < used; ++k)
            rowSum[k] = std::uint16_t(r0[k] + r1[k] + r2[k] + r3[k]);
        std::int32_t* out = sums.data() + std::size_t(br) * std::size_t(grid.columns);
        const std::uint16_t* g = rowSum + kGreen;
        for (std::int32_t bc = 0; bc < grid.columns; ++bc, g += kBlockBytes)
            out[bc] = std::int32_t(g[0]) + g[BytesPerPixel] + g[2 * BytesPerPixel] + g[3 * BytesPerPixel];
    }
}

// The loops above get AVX2 clones: the baseline has no byte shuffles.

ORBICROP_VECTOR_LOOP void SumGrayBlocks4(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums,
                                   std::uint16_t* rowSum)
{
    SumGreenBlocks4<1>(frame, grid, sums, rowSum);
}

ORBICROP_VECTOR_LOOP void SumBgrBlocks4(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums,
                                  std::uint16_t* rowSum)
{
    SumGreenBlocks4<3>(frame, grid, sums, rowSum);
}

void SumGreenBlocksAny(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums)
{
    const std::int32_t bs = grid.blockSize;
    const std::size_t bpp = std::size_t(frame.bytesPerPixel);
    for (std::int32_t br = 0; br < grid.rows; ++br) {
        for (std::int32_t bc = 0; bc < grid.columns; ++bc) {
            std::int32_t sum = 0;
            for (std::int32_t y = 0; y < bs; ++y) {
                const std::uint8_t* p = frame.row(br * bs + y) + std::size_t(bc * bs) * bpp
                                        + std::size_t(frame.greenOffset());
                for (std::int32_t x = 0; x < bs; ++x)
                    sum += p[std::size_t(x) * bpp];
            }
            sums[std::size_t(br) * std::size_t(grid.columns) + std::size_t(bc)] = sum;
        }
    }
}

} // namespace

void SumGreenBlocks(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums)
{
    if (grid.count() == 0)
        return;
    if (grid.blockSize == 4 && grid.columns <= 4096) {
        // 4096 blocks of up to 12 bytes: frames up to 16384 pixels wide stay on the stack.
        std::array<std::uint16_t, 4096 * 12> rowSum;
        if (frame.gray())
            SumGrayBlocks4(frame, grid, sums, rowSum.data());
        else
            SumBgrBlocks4(frame, grid, sums, rowSum.data());
        return;
    }
    SumGreenBlocksAny(frame, grid, sums);
}

namespace {

// Bin of every possible 4 x 4 block sum (0..4080): the rounded mean, computed
// once exactly as the general path computes it.
const std::array<std::uint8_t, 16 * 255 + 1>& BinsOf4x4()
{
    static const auto table = [] {
        std::array<std::uint8_t, 16 * 255 + 1> t{};
        for (std::size_t sum = 0; sum < t.size(); ++sum)
            t[sum] = std::uint8_t(RoundHalfEven(double(sum) / 16.0));
        return t;
    }();
    return table;
}

} // namespace

std::int32_t HistogramPeak(std::span<const std::int32_t> sums, std::int32_t blockSize)
{
    std::array<std::int32_t, 256> histogram{};
    if (blockSize == 4) {
        const auto& bins = BinsOf4x4();
        for (std::int32_t sum : sums)
            ++histogram[bins[std::size_t(sum)]];
    } else {
        const double area = double(blockSize) * double(blockSize);
        for (std::int32_t sum : sums)
            ++histogram[std::size_t(RoundHalfEven(double(sum) / area))];
    }
    std::int32_t peak = 0;
    for (std::int32_t level = 1; level < 256; ++level) {
        if (histogram[std::size_t(level)] > histogram[std::size_t(peak)])
            peak = level;
    }
    return peak;
}

double ThresholdFromPeak(std::int32_t peak, double percent)
{
    // Division first, then the product, then the sum: the classification
    // compares against this value strictly, so the order of rounding matters.
    if (percent >= 0.0)
        return percent / 100.0 * double(255 - peak) + double(peak);
    return percent / 100.0 * double(peak) + double(peak);
}
