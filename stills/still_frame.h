// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stills/still_image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orbicrop::stills {

// How a file stores its samples, so that a caller can refuse a frame that
// differs from the others of its capture.
enum class StoredAs { Bits8, Bits16, Float32, Float64 };

// The storage in words for the user: "8-bit", "16-bit", "32-bit float",
// "64-bit float".
constexpr const char* StoredAsText(StoredAs stored)
{
    switch (stored) {
    case StoredAs::Bits8: return "8-bit";
    case StoredAs::Bits16: return "16-bit";
    case StoredAs::Float32: return "32-bit float";
    case StoredAs::Float64: return "64-bit float";
    }
    return "";
}

// One frame of a still-image sequence as read: the samples of the upright
// picture.
struct StillFrame {
    // Rows top-down (the upright picture), no padding; RGB interleaved when
    // planes is 3; two-byte samples in the host's (little-endian) order,
    // each value as stored (not shifted, not rescaled).
    std::vector<std::uint8_t> samples;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;           // 1 (grey or a mosaic) or 3 (RGB)
    std::int32_t bytesPerSample = 1;   // 1 or 2 (floats are delivered as 2, see floatScale)
    StoredAs storedAs = StoredAs::Bits8;
    // Float data only: the factor its values were multiplied by before
    // rounding and clamping to 0..65535; 0 for anything else.
    double floatScale = 0;
    // The 2 x 2 mosaic seen from the top-left sample of the upright picture
    // ("RGGB", "GRBG", ...), offsets applied; empty when none.
    std::string bayer;
    // The frame's UTC time as ISO 8601, "YYYY-MM-DDTHH:MM:SS[.fff]" (no
    // zone); empty when the file has none: FITS DATE-OBS (a date alone
    // completed by TIME-OBS or UT, else not taken), TIFF DateTime, PNG
    // "Creation Time" when written as ISO.
    std::string time;
    // FITS INSTRUME, TELESCOP, OBSERVER, OBJECT, FILTER; empty when absent.
    std::string instrument, telescope, observer, object, filter;
    std::optional<double> exposureSeconds;   // FITS EXPTIME or EXPOSURE
    std::optional<double> gain;              // FITS GAIN

    std::size_t rowBytes() const { return std::size_t(width) * std::size_t(planes) * std::size_t(bytesPerSample); }
};

// Reads the file at path, whose format its first bytes tell (FITS, TIFF or
// PNG), whatever its name. floatScale, for float data: 0 chooses for this
// frame (65535 when every sample lies in [0, 1], Siril's normalised kind,
// else 1); a positive factor is used as given, so that a caller passing the
// first frame's choice on scales a capture the same throughout (a negative
// or non-finite one chooses, as 0 does). NaN and
// negative values become 0. frame's buffers are reused (samples keeps its
// capacity); after a failure frame holds nothing meaningful. Throws
// StillError with a message for the user that names the file.
void ReadStill(const std::string& path, double floatScale, StillFrame& frame);

}   // namespace orbicrop::stills

// The module exports this too (stills_module.h): 0, or non-zero with the
// reason in error (at most errorSize bytes, ended by a zero). No exception
// crosses it.
extern "C" int orbicrop_read_still(const char* path, double floatScale, orbicrop::stills::StillFrame* frame,
                                   char* error, std::size_t errorSize);
inline constexpr char kReadStillSymbol[] = "orbicrop_read_still";
