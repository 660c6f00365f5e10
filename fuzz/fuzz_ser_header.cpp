// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a SER file: the header parse, the frame layout (for
// the bytes' own size and for a size read from the bytes, up to 2^64 - 1),
// the format probe and the conversion of the frames present, and the whole
// source over the same bytes on disk. Nothing may read past the bytes, an
// accepted header must describe sizes the later code can hold, and the
// layout may only promise frames and time stamps that the file holds.

#include "analysis/frame_sink.h"
#include "fileio/little_endian.h"
#include "video/ser/ser_convert.h"
#include "video/ser/ser_layout.h"
#include "video/ser/ser_samples.h"
#include "video/ser/ser_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include "fuzz/fuzz_support.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace orbicrop::ser;

namespace {

void CheckLayout(const SerHeader& header, std::uint64_t fileSize)
{
    const SerLayout layout = LayOutSerFile(header, fileSize);
    CHECK(layout.frameBytes == header.frameBytes());
    if (layout.frames == 0) {
        CHECK(!layout.hasTimestamps || header.frameCount == 0);
        return;
    }
    // Divided rather than multiplied out, so the check itself cannot overflow.
    CHECK(fileSize >= kHeaderBytes);
    CHECK(layout.frames <= (fileSize - kHeaderBytes) / layout.frameBytes);
    if (header.frameCount != 0)
        CHECK(layout.frames <= header.frameCount);
    if (layout.hasTimestamps) {
        CHECK(layout.frames == header.frameCount);
        CHECK(layout.timestampOffset() <= fileSize);
        CHECK((fileSize - layout.timestampOffset()) / 8 >= layout.frames);
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const SerHeaderParse parsed = ParseSerHeader({data, size});
    if (!parsed.ok())
        return 0;
    const SerHeader& h = parsed.header;
    CHECK(h.width >= 1 && h.width <= kMaxSide && h.height >= 1 && h.height <= kMaxSide);
    CHECK(h.depth >= 1 && h.depth <= 16);
    CHECK(h.planes() == 1 || h.planes() == 3);
    CHECK(h.frameBytes() >= 1 && h.frameBytes() <= std::uint64_t(kMaxSide) * kMaxSide * 3 * 2);
    for (const std::string* text : {&h.observer, &h.instrument, &h.telescope})
        CHECK(text->size() <= 40 && (text->empty() || (text->back() != '\0' && text->back() != ' ')));

    CheckLayout(h, size);
    // The size a file system may report for a sparse or damaged file.
    CheckLayout(h, orbicrop::fileio::ReadLe64(data + 162) ^ orbicrop::fileio::ReadLe64(data + 170));
    CheckLayout(h, UINT64_MAX - (data[14] & 0x0F));

    const SerLayout layout = LayOutSerFile(h, size);
    if (layout.frames == 0)
        return 0;

    SerFormatProbe probe(h);
    for (std::uint32_t i = 0; i < std::min(layout.frames, kSerFramesToProbe); ++i)
        probe.addBytes({data + layout.frameOffset(i), std::size_t(layout.frameBytes)});
    const SerSampleFormat format = probe.format();
    CHECK(format.width == h.width && format.height == h.height);
    CHECK(format.depth >= 1 && format.depth <= 16);
    CHECK(format.bytesPerSample == h.bytesPerSample());

    // The converter reads exactly the frame, here copied to a buffer of its
    // own size so that one byte too far is caught.
    SerConverter converter(format);
    std::vector<std::uint8_t> picture(std::size_t(h.width) * std::size_t(h.height) * 3);
    const std::vector<std::uint8_t> frame(data + layout.frameOffset(layout.frames - 1),
                                          data + layout.frameOffset(layout.frames));
    converter.convert(frame.data(), picture.data());
    if (converter.grayFormat()) {
        std::vector<std::uint8_t> gray(std::size_t(h.width) * std::size_t(h.height));
        converter.convertGrayRows(frame.data(), gray.data(), 0, h.height);
        for (std::size_t i = 0; i < gray.size(); ++i)   // grey and colour pictures agree
            CHECK(gray[i]
                  == picture[((std::size_t(h.height) - 1 - i / std::size_t(h.width)) * std::size_t(h.width)
                              + i % std::size_t(h.width))
                                 * 3
                             + 1]);
        if (converter.storedAsGray())
            CHECK(std::equal(gray.begin(), gray.end(), frame.begin()));
    }

    if (layout.hasTimestamps) {
        std::vector<std::int64_t> ticks(layout.frames);
        for (std::uint32_t i = 0; i < layout.frames; ++i)
            ticks[i] = std::int64_t(orbicrop::fileio::ReadLe64(data + layout.timestampOffset() + 8 * std::uint64_t(i)));
        const double rate = FrameRateFromTimestamps(ticks);
        CHECK(std::isfinite(rate) && rate > 0.0);
    }

    // The same bytes as a file, read as the program reads it: every whole
    // frame, each as a picture of the header's size.
    const FuzzScratch scratch("ser");
    const std::string path = scratch.file("capture.ser");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        CHECK(bool(out));
    }
    // Mapped, copied, or (to a sink that reads no samples) deep frames in bands.
    const bool banded = data[15] & 4;
    const SerReading reading = banded ? SerReading::Automatic : data[15] & 1 ? SerReading::Mapped : SerReading::Copied;
    const auto source = OpenSerSource(path, reading);
    const std::optional<VideoInfo> info = source->video();
    CHECK(info && info->width == h.width && info->height == h.height);
    CHECK(std::isfinite(info->frameRate) && info->frameRate > 0.0);
    TouchingSink sink(h.width, h.height, data[15] & 2, !banded);
    source->play({}, sink);
    CHECK(sink.frames() == layout.frames);
    return 0;
}
