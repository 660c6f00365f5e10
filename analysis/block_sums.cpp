// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/block_sums.h"

#include "analysis/rounding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// The portable loops above are what the compiler makes of them; on x86-64
// machines with AVX2 (checked when the program runs) the sums come from the
// hand-written loops below, which add four stored rows byte by byte in pairs
// (vpmaddubsw) and the pairs of a block in one more step (vpmaddwd), so a
// 1080p grey frame is summed at the speed it streams in from memory.
void SumGrayBlocks4Portable(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums,
                            std::uint16_t* rowSum)
{
    SumGreenBlocks4<1>(frame, grid, sums, rowSum);
}

void SumBgrBlocks4Portable(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums,
                           std::uint16_t* rowSum)
{
    SumGreenBlocks4<3>(frame, grid, sums, rowSum);
}

#if defined(__x86_64__)
#define ORBICROP_AVX2_BLOCK_SUMS 1

[[gnu::target("avx2")]] inline __m256i Load32(const std::uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Sums of the four bytes of each 4-byte group of four rows, 8 groups from 32 bytes.
[[gnu::target("avx2")]] inline __m256i QuadSums(__m256i r0, __m256i r1, __m256i r2, __m256i r3)
{
    const __m256i ones8 = _mm256_set1_epi8(1);
    const __m256i pairs =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(r0, ones8), _mm256_maddubs_epi16(r1, ones8)),
                         _mm256_add_epi16(_mm256_maddubs_epi16(r2, ones8), _mm256_maddubs_epi16(r3, ones8)));
    return _mm256_madd_epi16(pairs, _mm256_set1_epi16(1));
}

[[gnu::target("avx2")]] void SumGrayBlocks4Avx2(const FrameView& frame, const BlockGrid& grid,
                                                std::span<std::int32_t> sums)
{
    const auto columns = std::size_t(grid.columns);
    const std::size_t vectorColumns = columns / 8 * 8;
    for (std::int32_t br = 0; br < grid.rows; ++br) {
        const std::uint8_t* r0 = frame.row(br * 4);
        const std::uint8_t* r1 = frame.row(br * 4 + 1);
        const std::uint8_t* r2 = frame.row(br * 4 + 2);
        const std::uint8_t* r3 = frame.row(br * 4 + 3);
        std::int32_t* out = sums.data() + std::size_t(br) * columns;
        std::size_t bc = 0;
        for (; bc < vectorColumns; bc += 8) {
            const std::size_t k = bc * 4;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + bc),
                                QuadSums(Load32(r0 + k), Load32(r1 + k), Load32(r2 + k), Load32(r3 + k)));
        }
        for (; bc < columns; ++bc) {
            std::int32_t sum = 0;
            for (std::size_t k = bc * 4; k < bc * 4 + 4; ++k)
                sum += r0[k] + r1[k] + r2[k] + r3[k];
            out[bc] = sum;
        }
    }
}

// The green bytes of 16 BGR pixels (48 bytes from p), in order.
[[gnu::target("avx2")]] inline __m128i Greens16(const std::uint8_t* p)
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    // Greens at 1, 4, ..., 46: six in a, five in b, five in c.
    const __m128i ga = _mm_shuffle_epi8(a, _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m128i gb = _mm_shuffle_epi8(b, _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1));
    const __m128i gc = _mm_shuffle_epi8(c, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14));
    return _mm_or_si128(_mm_or_si128(ga, gb), gc);
}

[[gnu::target("avx2")]] void SumBgrBlocks4Avx2(const FrameView& frame, const BlockGrid& grid,
                                               std::span<std::int32_t> sums)
{
    const auto columns = std::size_t(grid.columns);
    const std::size_t vectorColumns = columns / 8 * 8;
    for (std::int32_t br = 0; br < grid.rows; ++br) {
        const std::uint8_t* r[4] = {frame.row(br * 4), frame.row(br * 4 + 1), frame.row(br * 4 + 2),
                                    frame.row(br * 4 + 3)};
        std::int32_t* out = sums.data() + std::size_t(br) * columns;
        std::size_t bc = 0;
        for (; bc < vectorColumns; bc += 8) {
            // 8 blocks: 32 pixels, 96 bytes per row.
            const std::size_t k = bc * 12;
            __m256i g[4];
            for (int i = 0; i < 4; ++i)
                g[i] = _mm256_set_m128i(Greens16(r[i] + k + 48), Greens16(r[i] + k));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + bc), QuadSums(g[0], g[1], g[2], g[3]));
        }
        for (; bc < columns; ++bc) {
            std::int32_t sum = 0;
            for (std::size_t k = bc * 12 + 1; k < bc * 12 + 12; k += 3)
                sum += r[0][k] + r[1][k] + r[2][k] + r[3][k];
            out[bc] = sum;
        }
    }
}
#endif

void SumGreenBlocksAny(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums)
{
    const std::int32_t bs = grid.blockSize;
    const std::size_t bpp = std::size_t(frame.bytesPerPixel);
    for (std::int32_t br = 0; br < grid.rows; ++br) {
        for (std::int32_t bc = 0; bc < grid.columns; ++bc) {
            std::int32_t sum = 0;
            for (std::int32_t y = 0; y < bs; ++y) {
                const std::uint8_t* p =
                    frame.row(br * bs + y) + std::size_t(bc * bs) * bpp + std::size_t(frame.greenOffset());
                for (std::int32_t x = 0; x < bs; ++x)
                    sum += p[std::size_t(x) * bpp];
            }
            sums[std::size_t(br) * std::size_t(grid.columns) + std::size_t(bc)] = sum;
        }
    }
}

}   // namespace

bool Avx2Available()
{
#if defined(ORBICROP_AVX2_BLOCK_SUMS) && !defined(__SANITIZE_THREAD__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

BlockLoops FastestBlockLoops()
{
    return Avx2Available() ? BlockLoops::Avx2 : BlockLoops::Portable;
}

void SumGreenBlocks(const FrameView& frame, const BlockGrid& grid, std::span<std::int32_t> sums, BlockLoops loops)
{
    if (grid.count() == 0)
        return;
    if (grid.blockSize == 4 && grid.columns <= 4096) {
        // 4096 blocks of up to 12 bytes: frames up to 16384 pixels wide stay on the stack.
#if defined(ORBICROP_AVX2_BLOCK_SUMS)
        if (loops == BlockLoops::Avx2) {
            if (frame.gray())
                SumGrayBlocks4Avx2(frame, grid, sums);
            else
                SumBgrBlocks4Avx2(frame, grid, sums);
            return;
        }
#endif
        std::array<std::uint16_t, 4096 * 12> rowSum;
        if (frame.gray())
            SumGrayBlocks4Portable(frame, grid, sums, rowSum.data());
        else
            SumBgrBlocks4Portable(frame, grid, sums, rowSum.data());
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

void Histogram4x4Portable(std::span<const std::int32_t> sums, std::array<std::int32_t, 256>& histogram)
{
    // Sky blocks fall into a few bins: counting into four histograms in
    // turn keeps each increment from waiting for the one before.
    const auto& bins = BinsOf4x4();
    std::array<std::array<std::int32_t, 256>, 4> part{};
    const std::size_t whole = sums.size() / 4 * 4;
    for (std::size_t i = 0; i < whole; i += 4) {
        ++part[0][bins[std::size_t(sums[i])]];
        ++part[1][bins[std::size_t(sums[i + 1])]];
        ++part[2][bins[std::size_t(sums[i + 2])]];
        ++part[3][bins[std::size_t(sums[i + 3])]];
    }
    for (std::size_t i = whole; i < sums.size(); ++i)
        ++part[0][bins[std::size_t(sums[i])]];
    for (std::size_t level = 0; level < 256; ++level)
        histogram[level] = part[0][level] + part[1][level] + part[2][level] + part[3][level];
}

// The rounded mean of a 4 x 4 sum in integers: sum / 16 rounded half to even
// is (sum + 7 + the quotient's lowest bit) / 16, for every sum from 0 to 4080.
constexpr std::int32_t Bin4x4(std::int32_t sum)
{
    return (sum + 7 + ((sum >> 4) & 1)) >> 4;
}

#if defined(ORBICROP_AVX2_BLOCK_SUMS)
// The bins of 32 sums at a time, computed in vectors and narrowed to bytes;
// the packing mixes their order, which a histogram does not mind. Counting
// then goes round eight histograms, so that a run of sky blocks in one bin
// does not make each increment wait for the store of the one before.
[[gnu::target("avx2")]] inline __m256i Bins4x4(const std::int32_t* p)
{
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i odd = _mm256_and_si256(_mm256_srli_epi32(s, 4), _mm256_set1_epi32(1));
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(s, _mm256_set1_epi32(7)), odd), 4);
}

[[gnu::target("avx2")]] void Histogram4x4Avx2(std::span<const std::int32_t> sums,
                                              std::array<std::int32_t, 256>& histogram)
{
    constexpr std::size_t kParts = 8;
    std::array<std::array<std::int32_t, 256>, kParts> part{};
    const std::size_t whole = sums.size() / 32 * 32;
    for (std::size_t i = 0; i < whole; i += 32) {
        const __m256i words = _mm256_packus_epi32(Bins4x4(&sums[i]), Bins4x4(&sums[i + 8]));
        const __m256i words2 = _mm256_packus_epi32(Bins4x4(&sums[i + 16]), Bins4x4(&sums[i + 24]));
        const __m256i bins = _mm256_packus_epi16(words, words2);
        const __m128i low = _mm256_castsi256_si128(bins);
        const __m128i high = _mm256_extracti128_si256(bins, 1);
        const std::uint64_t quads[4] = {std::uint64_t(_mm_cvtsi128_si64(low)), std::uint64_t(_mm_extract_epi64(low, 1)),
                                        std::uint64_t(_mm_cvtsi128_si64(high)),
                                        std::uint64_t(_mm_extract_epi64(high, 1))};
        for (std::uint64_t q : quads)
            for (std::size_t j = 0; j < kParts; ++j)
                ++part[j][(q >> (8 * j)) & 0xFF];
    }
    for (std::size_t i = whole; i < sums.size(); ++i)
        ++part[0][std::size_t(Bin4x4(sums[i]))];
    for (std::size_t level = 0; level < 256; ++level) {
        std::int32_t count = 0;
        for (std::size_t j = 0; j < kParts; ++j)
            count += part[j][level];
        histogram[level] = count;
    }
}

[[gnu::target("avx2")]] inline __m256i Above(const std::int32_t* p, __m256i cut)
{
    return _mm256_cmpgt_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), cut);
}

[[gnu::target("avx2")]] inline std::uint32_t Mask(__m256i m)
{
    return std::uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(m)));
}

[[gnu::target("avx2")]] std::size_t BlocksAboveAvx2(const std::int32_t* sums, std::size_t count, std::int32_t cut,
                                                    std::uint32_t* indices)
{
    const __m256i c = _mm256_set1_epi32(cut);
    std::size_t found = 0;
    const auto take = [&](std::uint32_t mask, std::size_t at) {
        for (; mask != 0; mask &= mask - 1)
            indices[found++] = std::uint32_t(at + std::size_t(std::countr_zero(mask)));
    };
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = Above(sums + i, c), b = Above(sums + i + 8, c);
        const __m256i d = Above(sums + i + 16, c), e = Above(sums + i + 24, c);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(d, e));
        if (!_mm256_testz_si256(any, any))
            take(Mask(a) | Mask(b) << 8 | Mask(d) << 16 | Mask(e) << 24, i);
    }
    for (; i + 8 <= count; i += 8)
        take(Mask(Above(sums + i, c)), i);
    for (; i < count; ++i) {
        indices[found] = std::uint32_t(i);
        found += sums[i] > cut ? 1 : 0;
    }
    return found;
}
#endif

}   // namespace

std::int32_t HistogramPeak(std::span<const std::int32_t> sums, std::int32_t blockSize, BlockLoops loops)
{
    std::array<std::int32_t, 256> histogram{};
    if (blockSize == 4) {
#if defined(ORBICROP_AVX2_BLOCK_SUMS)
        if (loops == BlockLoops::Avx2)
            Histogram4x4Avx2(sums, histogram);
        else
            Histogram4x4Portable(sums, histogram);
#else
        (void)loops;
        Histogram4x4Portable(sums, histogram);
#endif
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

std::size_t BlocksAbove(const std::int32_t* sums, std::size_t count, std::int64_t cut, std::uint32_t* indices,
                        BlockLoops loops)
{
    // Sums are 32-bit, so a cut beyond that range decides alone.
    if (cut >= std::numeric_limits<std::int32_t>::max())
        return 0;
    const auto cut32 = std::int32_t(std::max<std::int64_t>(cut, std::numeric_limits<std::int32_t>::min()));
    if (cut < std::numeric_limits<std::int32_t>::min()) {
        for (std::size_t i = 0; i < count; ++i)
            indices[i] = std::uint32_t(i);
        return count;
    }
#if defined(ORBICROP_AVX2_BLOCK_SUMS)
    if (loops == BlockLoops::Avx2)
        return BlocksAboveAvx2(sums, count, cut32, indices);
#else
    (void)loops;
#endif
    // Runs of eight sky blocks are passed over whole, then each block of a
    // run with any above the cut is taken without a branch.
    std::size_t found = 0;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        bool any = false;
        for (std::size_t k = 0; k < 8; ++k)
            any |= sums[i + k] > cut32;
        if (!any)
            continue;
        for (std::size_t k = i; k < i + 8; ++k) {
            indices[found] = std::uint32_t(k);
            found += sums[k] > cut32 ? 1 : 0;
        }
    }
    for (; i < count; ++i) {
        indices[found] = std::uint32_t(i);
        found += sums[i] > cut32 ? 1 : 0;
    }
    return found;
}

double ThresholdFromPeak(std::int32_t peak, double percent)
{
    // Division first, then the product, then the sum: the classification
    // compares against this value strictly, so the order of rounding matters.
    if (percent >= 0.0)
        return percent / 100.0 * double(255 - peak) + double(peak);
    return percent / 100.0 * double(peak) + double(peak);
}
