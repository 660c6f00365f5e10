// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a master calibration frame (FITS, read through
// cfitsio): a file read must hold exactly the samples its size names, a
// pattern we know or none, and write back and read again to the same.

#include "fuzz/fuzz_support.h"
#include "stills/fits_master.h"
#include "stills/still_image.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

using orbicrop::stills::FitsMaster;

namespace {

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

void CheckMaster(const FitsMaster& master)
{
    CHECK(master.width > 0 && master.height > 0);
    CHECK(master.planes == 1 || master.planes == 3);
    CHECK(master.values.size() == std::size_t(master.width) * std::size_t(master.height) * std::size_t(master.planes));
    CHECK(master.bayer.empty() || master.bayer == "RGGB" || master.bayer == "GRBG" || master.bayer == "GBRG"
          || master.bayer == "BGGR");
    CHECK(master.bayer.empty() || master.planes == 1);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzScratch scratch("fits_master");
    const std::string path = scratch.file("master.fits");
    WriteFile(path, data, size);
    FitsMaster master;
    try {
        master = orbicrop::stills::ReadFitsMaster(path);
    } catch (const orbicrop::stills::StillError&) {
        return 0;
    }
    CheckMaster(master);
    // Large frames are read, but not written again at every input.
    if (master.values.size() > (1u << 20))
        return 0;
    const std::string again = scratch.file("again.fits");
    orbicrop::stills::WriteFitsMaster(again, master);
    const FitsMaster read = orbicrop::stills::ReadFitsMaster(again);
    CHECK(read.width == master.width && read.height == master.height && read.planes == master.planes);
    CHECK(read.bayer == master.bayer);
    CHECK(std::memcmp(read.values.data(), master.values.data(), master.values.size() * sizeof(float)) == 0);
    return 0;
}
