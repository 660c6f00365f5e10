// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace orbicrop::stills {

// A file of a still-image sequence could not be written; what() says which
// and why, in words for the user.
class StillError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One frame to be written as a still image, with what its file's header
// tells about it. The samples stay the caller's.
struct StillImage {
    // Rows top-down, no padding; the samples of a pixel interleaved in the
    // order red, green, blue when planes is 3; two-byte samples in the
    // host's (little-endian) order with the value in the low depth bits.
    const std::uint8_t* samples = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;           // 1 (grey or a colour mosaic) or 3 (RGB)
    std::int32_t bytesPerSample = 1;   // 1 or 2
    std::int32_t depth = 8;            // bits the values use, 1..16; not rescaled
    // The 2 x 2 mosaic seen from the top-left sample ("RGGB", ...); empty
    // for anything else.
    std::string bayer;
    // UTC capture time as ISO 8601 with milliseconds
    // ("2024-03-01T20:10:24.043"); empty when unknown.
    std::string time;
    std::string observer;
    std::string instrument;
    std::string telescope;
    std::string creator;   // the program and its version
    // What the capture program wrote of the capture; empty or unset: unknown.
    std::string filter;
    std::string object;   // the target
    std::optional<double> exposureSeconds;
    std::optional<double> gain;

    std::size_t rowBytes() const { return std::size_t(width) * std::size_t(planes) * std::size_t(bytesPerSample); }
};

// Baseline TIFF, uncompressed, top-left orientation, with the capture time
// in DateTime ("YYYY:MM:DD HH:MM:SS") and the program in Software.
void WriteTiffStill(const std::string& path, const StillImage& image);
// One primary HDU: BITPIX 8, or 16 with BZERO 32768 for unsigned samples;
// NAXIS3 = 3 for colour; rows bottom-up as FITS readers show them upright
// (ROWORDER BOTTOM-UP); DATE-OBS, BAYERPAT with XBAYROFF/YBAYROFF (the
// pattern from the picture's top-left sample, as ROWORDER's readers take
// it), INSTRUME, TELESCOP, OBSERVER when known; ORIGIN and CREATOR.
void WriteFitsStill(const std::string& path, const StillImage& image);
// 8- or 16-bit grey or RGB PNG, with the capture time and the program in
// text chunks.
void WritePngStill(const std::string& path, const StillImage& image);

}   // namespace orbicrop::stills
