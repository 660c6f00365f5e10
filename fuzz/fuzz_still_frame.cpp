// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as one still of a capture (FITS, TIFF or PNG, told by its
// first bytes, read through cfitsio, libtiff and libpng): a frame read must
// hold exactly the samples its size names, in a shape and with a pattern
// the callers know, and read again into the same room with the factor it
// chose, give the very same samples.

#include "fuzz/fuzz_support.h"
#include "stills/still_frame.h"

#include <cstdint>
#include <fstream>
#include <string>

using orbicrop::stills::StillFrame;
using orbicrop::stills::StoredAs;

namespace {

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

void CheckFrame(const StillFrame& frame)
{
    CHECK(frame.width > 0 && frame.height > 0);
    CHECK(frame.planes == 1 || frame.planes == 3);
    CHECK(frame.bytesPerSample == 1 || frame.bytesPerSample == 2);
    CHECK(frame.samples.size() == frame.rowBytes() * std::size_t(frame.height));
    CHECK((frame.storedAs == StoredAs::Bits8) == (frame.bytesPerSample == 1));
    const bool isFloat = frame.storedAs == StoredAs::Float32 || frame.storedAs == StoredAs::Float64;
    CHECK(isFloat ? frame.floatScale > 0 : frame.floatScale == 0);
    CHECK(frame.bayer.empty() || frame.bayer == "RGGB" || frame.bayer == "GRBG" || frame.bayer == "GBRG"
          || frame.bayer == "BGGR");
    CHECK(frame.bayer.empty() || frame.planes == 1);
    CHECK(frame.time.empty() || (frame.time.size() >= 19 && frame.time[10] == 'T' && frame.time.back() != 'Z'));
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzScratch scratch("still_frame");
    const std::string path = scratch.file("frame");
    WriteFile(path, data, size);
    StillFrame frame;
    try {
        orbicrop::stills::ReadStill(path, 0, frame);
    } catch (const orbicrop::stills::StillError&) {
        return 0;
    }
    CheckFrame(frame);
    // Large frames are read, but not kept twice and read again at every input.
    if (frame.samples.size() > (1u << 20))
        return 0;
    const StillFrame first = frame;
    orbicrop::stills::ReadStill(path, first.floatScale, frame);
    CHECK(frame.samples == first.samples);
    CHECK(frame.floatScale == first.floatScale && frame.bayer == first.bayer && frame.time == first.time);
    return 0;
}
