// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_convert.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// What the SER reading thread does to every frame of a 12-bit mono capture
// on its way to a grey sink: 16-bit samples narrowed to the 8-bit plane.
void BM_SerNarrowGray_1920x1080_12bit(benchmark::State& bench)
{
    SerSampleFormat format;
    format.width = 1920;
    format.height = 1080;
    format.bytesPerSample = 2;
    format.depth = 12;
    std::vector<std::uint8_t> stored(std::size_t(format.width) * format.height * 2);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sample(0, 4095);
    for (std::size_t k = 0; k < stored.size(); k += 2) {
        const int v = sample(rng);
        stored[k] = std::uint8_t(v & 0xFF);
        stored[k + 1] = std::uint8_t(v >> 8);
    }
    std::vector<std::uint8_t> gray(std::size_t(format.width) * format.height);
    SerConverter converter(format);
    for (auto _ : bench) {
        converter.convertGrayRows(stored.data(), gray.data(), 0, format.height);
        benchmark::DoNotOptimize(gray.data());
    }
    bench.SetBytesProcessed(bench.iterations() * std::int64_t(stored.size()));
}
BENCHMARK(BM_SerNarrowGray_1920x1080_12bit);

}   // namespace
