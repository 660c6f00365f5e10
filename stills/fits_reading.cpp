// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/fits_reading.h"

#include "stills/still_image.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

namespace orbicrop::stills {

namespace {

constexpr std::array<const char*, 4> kPatterns = {"RGGB", "GRBG", "GBRG", "BGGR"};

// The pattern seen from one column over, and from one row over.
std::string NextColumn(std::string pattern)
{
    std::swap(pattern[0], pattern[1]);
    std::swap(pattern[2], pattern[3]);
    return pattern;
}

std::string NextRow(const std::string& pattern)
{
    return pattern.substr(2) + pattern.substr(0, 2);
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

}   // namespace

FitsReading::FitsReading(const std::string& path) : m_path(path)
{
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        fail("there is no such file");
    // As a disk file the name is taken as it is, brackets and all.
    fits_open_diskfile(&m_file, path.c_str(), READONLY, &m_status);
    if (m_status == 0)
        return;
    m_file = nullptr;
    if (m_status == FILE_NOT_OPENED)
        check("open");
    fail("it is not a FITS file (" + reason() + ")");
}

FitsReading::~FitsReading()
{
    int ignored = 0;
    if (m_file != nullptr)
        fits_close_file(m_file, &ignored);
}

void FitsReading::fail(const std::string& why) const
{
    throw StillError("Couldn't read the FITS file " + m_path + ": " + why);
}

void FitsReading::check(const char* what) const
{
    if (m_status != 0)
        throw StillError(std::string("Couldn't ") + what + " the FITS file " + m_path + " (" + reason() + ")");
}

std::optional<std::string> FitsReading::text(const char* name) const
{
    char value[FLEN_VALUE] = {};
    int status = 0;
    fits_read_key(m_file, TSTRING, name, value, nullptr, &status);
    return status == 0 ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<double> FitsReading::real(const char* name) const
{
    double value = 0.0;
    int status = 0;
    fits_read_key(m_file, TDOUBLE, name, &value, nullptr, &status);
    return status == 0 ? std::optional<double>(value) : std::nullopt;
}

std::optional<int> FitsReading::integer(const char* name) const
{
    int value = 0;
    int status = 0;
    fits_read_key(m_file, TINT, name, &value, nullptr, &status);
    return status == 0 ? std::optional<int>(value) : std::nullopt;
}

std::string FitsReading::reason() const
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(m_status, text);
    return text;
}

FitsImage FindImage(FitsReading& fits)
{
    for (int hdu = 1;; ++hdu) {
        int type = 0;
        fits_movabs_hdu(fits.get(), hdu, &type, fits.status());
        if (*fits.status() == END_OF_FILE)
            fits.fail("it holds no image");
        fits.check("read");
        if (type != IMAGE_HDU && fits_is_compressed_image(fits.get(), fits.status()) == 0)
            continue;
        FitsImage image;
        fits_get_img_paramll(fits.get(), 3, &image.bitpix, &image.axes, image.size, fits.status());
        fits.check("read");
        if (image.axes > 0
            && std::all_of(image.size, image.size + std::min(image.axes, 3), [](LONGLONG n) { return n > 0; }))
            return image;
    }
}

FitsShape ShapeOf(FitsReading& fits, const FitsImage& image)
{
    if (image.axes < 2 || image.axes > 3)
        fits.fail("its image has " + std::to_string(image.axes) + " axes; 2 are read, or 3 with colour planes");
    const LONGLONG planes = image.axes == 3 ? image.size[2] : 1;
    if (planes != 1 && planes != 3)
        fits.fail("its image has " + std::to_string(planes) + " planes; 1 (grey or a mosaic) or 3 (colour) are read");
    constexpr LONGLONG most = std::numeric_limits<std::int32_t>::max();
    if (image.size[0] > most || image.size[1] > most)
        fits.fail("its image of " + std::to_string(image.size[0]) + " x " + std::to_string(image.size[1])
                  + " is too large");
    const FitsShape shape{std::int32_t(image.size[0]), std::int32_t(image.size[1]), std::int32_t(planes)};

    // A header may promise more than the file holds: that is found before
    // room is made for it. (A compressed image's table is checked by
    // cfitsio as it reads.)
    if (fits_is_compressed_image(fits.get(), fits.status()) == 0) {
        LONGLONG header = 0, data = 0, end = 0;
        fits_get_hduaddrll(fits.get(), &header, &data, &end, fits.status());
        fits.check("read");
        // cfitsio's size of the file as read, after any gzip is undone.
        const LONGLONG held = fits.get()->Fptr->logfilesize;
        const std::uint64_t room = held > data ? std::uint64_t(held - data) : 0;
        const std::uint64_t bytesPerPixel = std::uint64_t(planes) * std::uint64_t(std::abs(image.bitpix) / 8);
        // cfitsio reads whole 2880-byte records: a last record cut short
        // fails some reads and not others, so the file must hold it whole.
        if (std::uint64_t(shape.width) * std::uint64_t(shape.height) > room / bytesPerPixel || held < end)
            fits.fail("it is cut short: its image of " + std::to_string(shape.width) + " x "
                      + std::to_string(shape.height) + " needs more than the file holds");
    }
    return shape;
}

RowOrder RowOrderOf(const FitsReading& fits)
{
    const std::string named = Upper(fits.text("ROWORDER").value_or(""));
    return named == "TOP-DOWN" ? RowOrder::TopDown : named == "BOTTOM-UP" ? RowOrder::BottomUp : RowOrder::Unnamed;
}

// BAYERPAT beside a ROWORDER names the pattern from the upright picture's
// top-left sample, the offsets moving it as they say (a row over and the
// picture turned over commute: each swaps the rows or not). Without
// ROWORDER it is the first stored row's, as Siril takes it unless told
// otherwise and as capture programs that leave the key out mean it; that
// row is the upright picture's bottom one.
std::string UprightPattern(const FitsReading& fits, const FitsShape& shape, RowOrder order)
{
    std::string pattern = Upper(fits.text("BAYERPAT").value_or(""));
    if (shape.planes != 1 || !IsPattern(pattern))
        return {};
    if (fits.integer("XBAYROFF").value_or(0) % 2 != 0)
        pattern = NextColumn(pattern);
    if (fits.integer("YBAYROFF").value_or(0) % 2 != 0)
        pattern = NextRow(pattern);
    if (order == RowOrder::Unnamed && shape.height % 2 == 0)
        pattern = NextRow(pattern);
    return pattern;
}

bool IsPattern(const std::string& pattern)
{
    return std::find(kPatterns.begin(), kPatterns.end(), pattern) != kPatterns.end();
}

}   // namespace orbicrop::stills
