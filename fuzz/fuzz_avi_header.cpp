// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of plain AVIs on any bytes: it takes a file only with a stream
// and an index that fit it, never reads outside the file or the buffers it
// hands out, and plays exactly the frames, pixels and times FFmpeg's own
// decoding gives the same file.

#include "fuzz/fuzz_support.h"
#include "tests/support/ffmpeg_decoding.h"
#include "video/avi/plain_avi.h"
#include "video/avi/plain_avi_source.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzScratch scratch("avi");
    const std::string path = scratch.file("capture.avi");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        CHECK(bool(out));
    }
    const std::optional<PlainAvi> avi = ReadPlainAvi(orbicrop::fileio::InputFile::open(path));
    if (!avi) {
        CHECK(OpenPlainAviSource(path) == nullptr);
        return 0;
    }
    const std::uint64_t frameBytes = std::uint64_t(avi->width) * avi->height * (avi->gray ? 1 : 3);
    CHECK(avi->width > 0 && avi->height > 0 && avi->scale > 0 && avi->rate > 0 && !avi->chunks.empty());
    for (std::size_t k = 0; k < avi->chunks.size(); ++k) {
        CHECK(avi->chunks[k] >= 12 && std::uint64_t(avi->chunks[k]) + 8 + frameBytes <= size);
        CHECK(k == 0 || avi->chunks[k] > avi->chunks[k - 1]);
    }

    const auto source = OpenPlainAviSource(path);
    CHECK(source != nullptr);
    const std::optional<VideoInfo> info = source->video();
    CHECK(info && info->width == std::int32_t(avi->width) && info->height == std::int32_t(avi->height));
    CHECK(std::isfinite(info->frameRate) && info->frameRate > 0.0 && std::isfinite(info->length) && info->length > 0.0);
    TouchingSink sink(info->width, info->height, data[size - 1] & 1);
    source->play({}, sink);
    CHECK(sink.frames() <= avi->chunks.size());

    // Taken means played as FFmpeg decodes it: same count, pixels and times.
    const auto expected = reference::DecodeAll(path);
    CHECK(expected.has_value());
    RecordingSink played(info->width, info->height, avi->gray);
    source->play({}, played);
    CHECK(played.frames.size() == expected->size());
    for (std::size_t k = 0; k < expected->size(); ++k) {
        CHECK(played.frames[k].pixels == (*expected)[k].pixels);
        CHECK(std::abs(played.frames[k].seconds - (*expected)[k].seconds) <= 1e-9 * (1.0 + (*expected)[k].seconds));
    }
    return 0;
}
