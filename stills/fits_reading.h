// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fitsio.h>

#include <cstdint>
#include <optional>
#include <string>

namespace orbicrop::stills {

// cfitsio's handle of a FITS file being read, closed however the reading
// ends; the one way masters and stills are opened, so that both take names
// as they are and word their failures alike.
class FitsReading {
public:
    explicit FitsReading(const std::string& path);
    ~FitsReading();
    FitsReading(const FitsReading&) = delete;
    FitsReading& operator=(const FitsReading&) = delete;

    fitsfile* get() const { return m_file; }
    int* status() { return &m_status; }
    // Throws StillError "Couldn't read the FITS file <path>: <why>".
    [[noreturn]] void fail(const std::string& why) const;
    // Throws StillError "Couldn't <what> the FITS file <path> (<cfitsio's
    // reason>)" when a call since the last check failed.
    void check(const char* what) const;

    // A key's value, or nothing when the key is absent or holds no value
    // of the type.
    std::optional<std::string> text(const char* name) const;
    std::optional<double> real(const char* name) const;
    std::optional<int> integer(const char* name) const;

private:
    std::string reason() const;

    std::string m_path;
    fitsfile* m_file = nullptr;
    int m_status = 0;
};

// The first HDU with an image in it, the primary one or an extension
// (compressed ones among them), made current, and its storage.
struct FitsImage {
    int bitpix = 0;
    int axes = 0;
    LONGLONG size[3] = {1, 1, 1};
};
FitsImage FindImage(FitsReading& fits);

// The image's size: 2 axes, or 3 with 1 or 3 planes, and no more than the
// file holds (found before room is made for it).
struct FitsShape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
};
FitsShape ShapeOf(FitsReading& fits, const FitsImage& image);

enum class RowOrder { TopDown, BottomUp, Unnamed };
RowOrder RowOrderOf(const FitsReading& fits);

// The 2 x 2 mosaic seen from the upright picture's top-left sample, from
// BAYERPAT, XBAYROFF and YBAYROFF as Siril reads them; empty for colour
// planes or no pattern we know.
std::string UprightPattern(const FitsReading& fits, const FitsShape& shape, RowOrder order);

// "RGGB", "GRBG", "GBRG" or "BGGR".
bool IsPattern(const std::string& pattern);

}   // namespace orbicrop::stills
