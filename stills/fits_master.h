// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stills/still_image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orbicrop::stills {

// A master frame as a FITS file holds it: one float a sample, rows top-down
// (as the picture is seen upright), the samples of a pixel interleaved
// red, green, blue when planes is 3.
struct FitsMaster {
    std::vector<float> values;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
    // The 2 x 2 mosaic seen from the top-left sample of the upright picture
    // ("RGGB", ...), empty when none is named.
    std::string bayer;
    std::string imageType;                   // IMAGETYP, e.g. "Master Dark"; empty when absent
    std::int32_t combined = 0;               // NCOMBINE (or Siril's STACKCNT); 0 when absent
    std::int32_t depth = 0;                  // the source's bits a sample (our own key); 0 when absent
    std::optional<double> exposureSeconds;   // EXPTIME (or EXPOSURE)
    std::optional<double> gain;              // GAIN
    std::string creator;                     // the program and its version, written as CREATOR

    // How the file stored its values, as read: BITPIX (8, 16, 32, -32, -64),
    // and the largest value after BZERO and BSCALE. A float master whose
    // values all lie in [0, 1] is Siril's normalised kind.
    std::int32_t bitpix = 0;
    float maximum = 0.0f;
};

// One primary HDU, BITPIX -32, rows bottom-up with ROWORDER 'BOTTOM-UP'
// (as the stills are written), NAXIS3 = 3 for colour; IMAGETYP, NCOMBINE,
// the source depth, BAYERPAT with XBAYROFF/YBAYROFF named as the stills
// name it, EXPTIME and GAIN when known, CREATOR, DATE (the file's). An
// existing file at path is replaced. Throws StillError with the reason.
void WriteFitsMaster(const std::string& path, const FitsMaster& master);

// The first image HDU of any BITPIX (BZERO and BSCALE applied), 2 axes or 3
// with 3 planes; ROWORDER 'TOP-DOWN' read as such, anything else bottom-up;
// BAYERPAT turned into the pattern of the upright picture's top-left sample,
// the inverse of what WriteFitsMaster and the stills write, and agreeing
// with Siril. Throws StillError with the reason (the file named).
FitsMaster ReadFitsMaster(const std::string& path);

}   // namespace orbicrop::stills

// The module exports these too; no exception crosses them. They return 0, or
// non-zero with the reason in error (at most errorSize bytes, ended by a zero).
extern "C" int orbicrop_write_master(const char* path, const orbicrop::stills::FitsMaster* master, char* error,
                                     std::size_t errorSize);
extern "C" int orbicrop_read_master(const char* path, orbicrop::stills::FitsMaster* master, char* error,
                                    std::size_t errorSize);
inline constexpr char kWriteMasterSymbol[] = "orbicrop_write_master";
inline constexpr char kReadMasterSymbol[] = "orbicrop_read_master";
