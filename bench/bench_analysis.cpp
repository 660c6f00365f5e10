// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/block_sums.h"
#include "analysis/crop.h"
#include "analysis/frame_quality.h"
#include "analysis/planet.h"
#include "surface/phase_aligner.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// A 640 x 480 frame with a disc of radius 60 on a noisy dark sky.
std::vector<std::uint8_t> PlanetFrame(int width, int height, double cx, double cy, double radius)
{
    std::vector<std::uint8_t> frame(std::size_t(width) * height * 3);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(0, 12);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &frame[(std::size_t(y) * width + x) * 3];
            const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
            const int level = disc ? 170 + noise(rng) : noise(rng);
            p[0] = std::uint8_t(level);   // grey: the crop scans every pixel for colour
            p[1] = std::uint8_t(level);
            p[2] = std::uint8_t(level);
        }
    return frame;
}

TProcessingState StateFor(int width, int height)
{
    TProcessingState state;
    state.blockSize = kBlockSize;
    state.inputWidth = width;
    state.inputHeight = height;
    return state;
}

// The colour planet search of one frame with a planet of radius r at (cx, cy).
void FindPlanetIn(benchmark::State& bench, int width, int height, double cx, double cy, double r)
{
    auto frame = PlanetFrame(width, height, cx, cy, r);
    const TProcessingState state = StateFor(width, height);
    for (auto _ : bench) {
        double x, y, rx, ry;
        const bool found = FindPlanet(state, frame.data(), x, y, 5.0, rx, ry, false, false, false);
        benchmark::DoNotOptimize(found);
        benchmark::DoNotOptimize(x);
    }
    bench.SetItemsProcessed(bench.iterations());
}

void BM_FindPlanet_640x480(benchmark::State& bench)
{
    FindPlanetIn(bench, 640, 480, 300, 250, 60);
}
BENCHMARK(BM_FindPlanet_640x480);

// The green samples of a BGR frame: a grey capture of the same scene.
std::vector<std::uint8_t> GreenPlane(const std::vector<std::uint8_t>& bgr)
{
    std::vector<std::uint8_t> gray(bgr.size() / 3);
    for (std::size_t k = 0; k < gray.size(); ++k)
        gray[k] = bgr[k * 3 + 1];
    return gray;
}

// A large monochrome capture analysed as grey planes, as grey sources deliver it.
void BM_FindPlanet_1920x1080_Gray(benchmark::State& bench)
{
    const std::vector<std::uint8_t> gray = GreenPlane(PlanetFrame(1920, 1080, 900, 500, 200));
    const TProcessingState state = StateFor(1920, 1080);
    const FrameView frame = GrayFrame(state, gray.data(), 1920);
    for (auto _ : bench) {
        double cx, cy, rx, ry;
        const bool found = FindPlanet(state, frame, cx, cy, 5.0, rx, ry, false, false);
        benchmark::DoNotOptimize(found);
        benchmark::DoNotOptimize(cx);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_FindPlanet_1920x1080_Gray);

void BM_CropFrame_192(benchmark::State& bench)
{
    auto frame = PlanetFrame(640, 480, 300, 250, 60);
    TProcessingState state = StateFor(640, 480);
    OutputBitmap bitmap;
    GrayPlane gray;
    for (auto _ : bench) {
        state.colorDetected = false;   // keep the colour scan in every iteration
        const bool ok = CropFrame(state, bitmap, frame.data(), gray, 300, 250, 96, 96, 192, 192, false, false);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(bitmap.data());
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_CropFrame_192);

// The two passes of the planet search over a 1080p grey frame, apart: the
// block sums stream the frame, the histogram walks the 129,600 sums. The
// argument picks the loops: 0 portable, 1 AVX2 (skipped where there is none).
BlockLoops LoopsOf(benchmark::State& bench)
{
    if (bench.range(0) == 1 && !Avx2Available())
        bench.SkipWithError("no AVX2 on this machine");
    return bench.range(0) == 1 ? BlockLoops::Avx2 : BlockLoops::Portable;
}

void BM_SumGreenBlocks_1920x1080_Gray(benchmark::State& bench)
{
    const std::vector<std::uint8_t> gray = GreenPlane(PlanetFrame(1920, 1080, 900, 500, 200));
    const TProcessingState state = StateFor(1920, 1080);
    const FrameView frame = GrayFrame(state, gray.data(), 1920);
    const BlockGrid grid = MakeBlockGrid(1920, 1080, kBlockSize);
    std::vector<std::int32_t> sums(std::size_t(grid.count()));
    const BlockLoops loops = LoopsOf(bench);
    for (auto _ : bench) {
        SumGreenBlocks(frame, grid, sums, loops);
        benchmark::DoNotOptimize(sums.data());
    }
    bench.SetBytesProcessed(bench.iterations() * std::int64_t(gray.size()));
}
BENCHMARK(BM_SumGreenBlocks_1920x1080_Gray)->Arg(0)->Arg(1);

// The block sums of a 1080p frame with a planet, as the search makes them.
std::vector<std::int32_t> PlanetBlockSums(const BlockGrid& grid)
{
    const auto bgr = PlanetFrame(1920, 1080, 900, 500, 200);
    const TProcessingState state = StateFor(1920, 1080);
    std::vector<std::int32_t> sums(std::size_t(grid.count()));
    SumGreenBlocks(BgrFrame(state, const_cast<std::uint8_t*>(bgr.data())), grid, sums);
    return sums;
}

void BM_HistogramPeak_1920x1080(benchmark::State& bench)
{
    const BlockGrid grid = MakeBlockGrid(1920, 1080, kBlockSize);
    const std::vector<std::int32_t> sums = PlanetBlockSums(grid);
    const BlockLoops loops = LoopsOf(bench);
    for (auto _ : bench) {
        const std::int32_t peak = HistogramPeak(sums, kBlockSize, loops);
        benchmark::DoNotOptimize(peak);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_HistogramPeak_1920x1080)->Arg(0)->Arg(1);

// The sky pass of the search: the blocks above the cut in every block row.
void BM_BlocksAbove_1920x1080(benchmark::State& bench)
{
    const BlockGrid grid = MakeBlockGrid(1920, 1080, kBlockSize);
    const std::vector<std::int32_t> sums = PlanetBlockSums(grid);
    const std::int64_t cut = std::int64_t(ThresholdFromPeak(HistogramPeak(sums, kBlockSize), 5.0) * 16.0);
    std::vector<std::uint32_t> indices(std::size_t(grid.columns));
    const BlockLoops loops = LoopsOf(bench);
    for (auto _ : bench) {
        std::size_t found = 0;
        for (std::int32_t row = 0; row < grid.rows; ++row)
            found += BlocksAbove(sums.data() + std::size_t(row) * std::size_t(grid.columns), std::size_t(grid.columns),
                                 cut, indices.data(), loops);
        benchmark::DoNotOptimize(found);
    }
    bench.SetItemsProcessed(bench.iterations() * std::int64_t(sums.size()));
}
BENCHMARK(BM_BlocksAbove_1920x1080)->Arg(0)->Arg(1);

}   // namespace

namespace {

// The colour planet search of a 1080p frame: what the per-frame extras below
// are measured against.
void BM_FindPlanet_1920x1080(benchmark::State& bench)
{
    FindPlanetIn(bench, 1920, 1080, 900, 500, 200);
}
BENCHMARK(BM_FindPlanet_1920x1080);

void BM_FindPlanet_1920x1080_LargestObject(benchmark::State& bench)
{
    auto frame = PlanetFrame(1920, 1080, 900, 500, 200);
    const TProcessingState state = StateFor(1920, 1080);
    const FrameView view = BgrFrame(state, frame.data());
    for (auto _ : bench) {
        const PlanetFix fix = SearchPlanet(state, view, nullptr, {5.0, false, false, true});
        benchmark::DoNotOptimize(fix);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_FindPlanet_1920x1080_LargestObject);

// The quality score of one 1080p frame's crop: the default 192 x 192 window
// and the largest one the size controls give, 640 x 640, each around a disc
// whose radius is about a third of its side, so that the measured middle
// grows with the window.
void BM_FrameQuality_1920x1080(benchmark::State& bench)
{
    const std::int32_t side = std::int32_t(bench.range(0));
    const double radius = 0.31 * side;
    auto frame = PlanetFrame(1920, 1080, 900, 500, radius);
    TProcessingState state = StateFor(1920, 1080);
    OutputBitmap bitmap;
    GrayPlane plane;
    CropFrame(state, bitmap, BgrFrame(state, frame.data()), plane,
              {900, 500, side / 2, side / 2, side, side, false, false});
    const ObjectInCrop object{side / 2.0, side / 2.0, radius, radius, 0, 0, side, side};
    QualityMeter meter;
    for (auto _ : bench)
        benchmark::DoNotOptimize(meter.score(bitmap, object));
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_FrameQuality_1920x1080)->Arg(192)->Arg(640);

// Surface mode's alignment of one 1080p frame against its reference (a
// 512 x 512 phase correlation), the reference taken before timing.
void BM_SurfaceAlign_1920x1080(benchmark::State& bench)
{
    auto frame = PlanetFrame(1920, 1080, 960, 540, 600);
    const TProcessingState state = StateFor(1920, 1080);
    const FrameView view = BgrFrame(state, frame.data());
    PhaseAligner aligner(1000000);
    aligner.shiftOf(view);
    for (auto _ : bench)
        benchmark::DoNotOptimize(aligner.shiftOf(view));
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_SurfaceAlign_1920x1080);

}   // namespace
