// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/output_bitmap.h"
#include "avi/avi_writer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// One file per run, as in real use: a run of a few seconds writes one to two
// GiB, so the RIFF switch is part of the figure. Cutting the file short every
// few hundred frames instead would make every cut wait for the pages that
// the kernel is writing back, and measure the disk rather than the writer.
constexpr std::int32_t kSide = 192;

// The same calls with the page cache and the disk taken out: what the writer
// itself costs per frame, next to what it costs with a real file.
const std::string kNullDevice = "/dev/null";

std::string benchFileName(const char* stem)
{
    return (std::filesystem::temp_directory_path() / (std::string(stem) + "_" + std::to_string(::getpid()) + ".avi"))
        .string();
}

void writeFrames(benchmark::State& state, bool grayscale, const std::string& fileName)
{
    OutputBitmap bitmap;
    bitmap.setSize(kSide, kSide);
    for (std::int32_t y = 0; y < kSide; ++y)
        for (std::int32_t x = 0; x < kSide * 3; ++x)
            bitmap.rowFromBottom(y)[x] = std::uint8_t(x ^ y);
    std::vector<std::uint8_t> plane(std::size_t(kSide) * kSide);
    for (std::size_t i = 0; i < plane.size(); ++i)
        plane[i] = std::uint8_t(i * 7);

    TAviWriter writer(1920, 1080);
    writer.setFileName(fileName);
    writer.setWidth(kSide);
    writer.setHeight(kSide);
    writer.OpenVideo(grayscale);
    for (auto _ : state) {
        const std::int32_t index = writer.framesWritten();
        if (grayscale)
            writer.AddGrayFrame(bitmap, plane.data(), index);
        else
            writer.AddFrame(bitmap, index);
    }
    writer.CloseVideo();
    if (fileName != kNullDevice)
        std::filesystem::remove(fileName);
    state.SetItemsProcessed(state.iterations());
    const std::int64_t bytesPerFrame = grayscale ? kSide * kSide : kSide * kSide * 3;
    state.SetBytesProcessed(state.iterations() * bytesPerFrame);
}

void BM_AddFrame_192(benchmark::State& state)
{
    writeFrames(state, false, benchFileName("orbicrop_bench_rgb"));
}

void BM_AddGrayFrame_192(benchmark::State& state)
{
    writeFrames(state, true, benchFileName("orbicrop_bench_gray"));
}

void BM_AddFrame_192_DevNull(benchmark::State& state)
{
    writeFrames(state, false, kNullDevice);
}

void BM_AddGrayFrame_192_DevNull(benchmark::State& state)
{
    writeFrames(state, true, kNullDevice);
}

}   // namespace

BENCHMARK(BM_AddFrame_192)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddGrayFrame_192)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddFrame_192_DevNull);
BENCHMARK(BM_AddGrayFrame_192_DevNull);
