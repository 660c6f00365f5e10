// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/yuv_to_bgr.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// What the decoding thread does to every frame of an H.264 video after the
// decoder: one 1080p 4:2:0 frame, limited-range BT.709, chroma beside the even
// columns as H.264 places it, to bottom-up BGR. Noise, so that no branch or
// cache line is predictable.
FramePtr NoiseFrame1080()
{
    FramePtr frame = makeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 1920;
    frame->height = 1080;
    frame->colorspace = AVCOL_SPC_BT709;
    frame->color_range = AVCOL_RANGE_MPEG;
    frame->chroma_location = AVCHROMA_LOC_LEFT;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    std::mt19937 random(7);
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? frame->height : frame->height / 2;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < frame->linesize[plane]; ++x)
                frame->data[plane][std::ptrdiff_t(y) * frame->linesize[plane] + x] = std::uint8_t(random());
    }
    return frame;
}

void BM_YuvToBgr_1920x1080_420(benchmark::State& bench)
{
    const FramePtr frame = NoiseFrame1080();
    if (!frame) {
        bench.SkipWithError("no frame");
        return;
    }
    std::vector<std::uint8_t> bgr(std::size_t(frame->width) * frame->height * 3);
    YuvToBgr converter;
    for (auto _ : bench) {
        converter.convert(*frame, bgr.data());
        benchmark::DoNotOptimize(bgr.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * frame->width * frame->height);
}
BENCHMARK(BM_YuvToBgr_1920x1080_420)->Unit(benchmark::kMicrosecond);

// What the decoding thread does instead for a processing run: green alone,
// which is all the measurement reads.
void BM_YuvGreen_1920x1080_420(benchmark::State& bench)
{
    const FramePtr frame = NoiseFrame1080();
    if (!frame) {
        bench.SkipWithError("no frame");
        return;
    }
    std::vector<std::uint8_t> green(std::size_t(frame->width) * frame->height);
    YuvToBgr converter;
    for (auto _ : bench) {
        converter.green(*frame, green.data());
        benchmark::DoNotOptimize(green.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * frame->width * frame->height);
}
BENCHMARK(BM_YuvGreen_1920x1080_420)->Unit(benchmark::kMicrosecond);

}   // namespace
