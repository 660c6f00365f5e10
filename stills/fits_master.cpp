// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/fits_master.h"

#include "stills/fits_file.h"

#include <fitsio.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <new>
#include <type_traits>

namespace orbicrop::stills {

namespace {

// The bits a sample of the frames a master was made from: no FITS
// convention names them, and a dark of 12-bit frames scaled to 16 is
// told from one of 16-bit frames by nothing else.
constexpr char kDepthKey[] = "SRCDEPTH";

constexpr std::array<const char*, 4> kPatterns = {"RGGB", "GRBG", "GBRG", "BGGR"};

bool IsPattern(const std::string& pattern)
{
    return std::find(kPatterns.begin(), kPatterns.end(), pattern) != kPatterns.end();
}

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

void CheckMaster(const std::string& path, const FitsMaster& m)
{
    const auto fail = [&](const std::string& why) {
        throw StillError("Couldn't write the FITS file " + path + ": " + why);
    };
    const std::string size = std::to_string(m.width) + " x " + std::to_string(m.height);
    if (m.width <= 0 || m.height <= 0 || (m.planes != 1 && m.planes != 3))
        fail("a master of " + size + " with " + std::to_string(m.planes) + " planes cannot be written");
    if (m.values.size() != std::size_t(m.width) * std::size_t(m.height) * std::size_t(m.planes))
        fail(std::to_string(m.values.size()) + " values do not fill " + size + " x " + std::to_string(m.planes));
    if (!m.bayer.empty() && (m.planes != 1 || !IsPattern(m.bayer)))
        fail("\"" + m.bayer + "\" is no mosaic of a one-plane master (RGGB, GRBG, GBRG or BGGR)");
}

void WriteKeys(NewFitsFile& fits, const FitsMaster& m)
{
    fits.key("ROWORDER", std::string("BOTTOM-UP"), "Order of the rows in the image array");
    fits.key("IMAGETYP", m.imageType, "Type of the frame");
    if (m.combined > 0)
        fits.key("NCOMBINE", int(m.combined), "Number of frames combined");
    if (m.depth > 0)
        fits.key(kDepthKey, int(m.depth), "Bits a sample of the frames combined");
    fits.mosaic(m.bayer);
    if (m.exposureSeconds)
        fits.key("EXPTIME", *m.exposureSeconds, "Exposure time of one frame [s]");
    if (m.gain)
        fits.key("GAIN", *m.gain, "Gain of the camera");
    fits.key("CREATOR", m.creator, "Program that wrote the file");
    fits_write_date(fits.get(), fits.status());
}

// FITS holds each colour as a plane of its own, and its first row is the
// picture's bottom one.
void WriteRows(NewFitsFile& fits, const FitsMaster& m)
{
    const std::size_t planes = std::size_t(m.planes);
    std::vector<float> row(std::size_t(m.width));
    for (std::int32_t p = 0; p < m.planes; ++p)
        for (std::int32_t r = 0; r < m.height; ++r) {
            const float* from = m.values.data() + std::size_t(m.height - 1 - r) * row.size() * planes + std::size_t(p);
            for (std::size_t x = 0; x < row.size(); ++x)
                row[x] = from[x * planes];
            LONGLONG first[3] = {1, r + 1, p + 1};
            fits_write_pixll(fits.get(), TFLOAT, first, LONGLONG(m.width), row.data(), fits.status());
        }
}

// cfitsio's handle of a file read, closed however the reading ends.
class FitsReading {
public:
    explicit FitsReading(const std::string& path) : m_path(path)
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
        fail("it is not a FITS file (" + Reason() + ")");
    }
    ~FitsReading()
    {
        int ignored = 0;
        if (m_file != nullptr)
            fits_close_file(m_file, &ignored);
    }
    FitsReading(const FitsReading&) = delete;
    FitsReading& operator=(const FitsReading&) = delete;

    fitsfile* get() const { return m_file; }
    int* status() { return &m_status; }
    [[noreturn]] void fail(const std::string& why) const
    {
        throw StillError("Couldn't read the FITS file " + m_path + ": " + why);
    }
    void check(const char* what) const
    {
        if (m_status != 0)
            throw StillError(std::string("Couldn't ") + what + " the FITS file " + m_path + " (" + Reason() + ")");
    }

    // A key's value, or nothing when the key is absent or holds no value
    // of the type.
    std::optional<std::string> text(const char* name) const
    {
        char value[FLEN_VALUE] = {};
        int status = 0;
        fits_read_key(m_file, TSTRING, name, value, nullptr, &status);
        return status == 0 ? std::optional<std::string>(value) : std::nullopt;
    }
    template <typename T>
    std::optional<T> number(const char* name) const
    {
        T value{};
        int status = 0;
        fits_read_key(m_file, std::is_same_v<T, double> ? TDOUBLE : TINT, name, &value, nullptr, &status);
        return status == 0 ? std::optional<T>(value) : std::nullopt;
    }

private:
    std::string Reason() const
    {
        char text[FLEN_STATUS] = {};
        fits_get_errstatus(m_status, text);
        return text;
    }

    std::string m_path;
    fitsfile* m_file = nullptr;
    int m_status = 0;
};

struct Image {
    int bitpix = 0;
    int axes = 0;
    LONGLONG size[3] = {1, 1, 1};
};

// The first HDU with an image in it, the primary one or an extension
// (compressed ones among them), made current.
Image FindImage(FitsReading& fits)
{
    for (int hdu = 1;; ++hdu) {
        int type = 0;
        fits_movabs_hdu(fits.get(), hdu, &type, fits.status());
        if (*fits.status() == END_OF_FILE)
            fits.fail("it holds no image");
        fits.check("read");
        if (type != IMAGE_HDU && fits_is_compressed_image(fits.get(), fits.status()) == 0)
            continue;
        Image image;
        fits_get_img_paramll(fits.get(), 3, &image.bitpix, &image.axes, image.size, fits.status());
        fits.check("read");
        if (image.axes > 0
            && std::all_of(image.size, image.size + std::min(image.axes, 3), [](LONGLONG n) { return n > 0; }))
            return image;
    }
}

struct Shape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
};

Shape ShapeOf(FitsReading& fits, const Image& image)
{
    if (image.axes < 2 || image.axes > 3)
        fits.fail("its image has " + std::to_string(image.axes) + " axes; a master has 2, or 3 with colour planes");
    const LONGLONG planes = image.axes == 3 ? image.size[2] : 1;
    if (planes != 1 && planes != 3)
        fits.fail("its image has " + std::to_string(planes)
                  + " planes; a master has 1 (grey or a mosaic) or 3 (colour)");
    constexpr LONGLONG most = std::numeric_limits<std::int32_t>::max();
    if (image.size[0] > most || image.size[1] > most)
        fits.fail("its image of " + std::to_string(image.size[0]) + " x " + std::to_string(image.size[1])
                  + " is too large");
    const Shape shape{std::int32_t(image.size[0]), std::int32_t(image.size[1]), std::int32_t(planes)};

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
        if (std::uint64_t(shape.width) * std::uint64_t(shape.height) > room / bytesPerPixel)
            fits.fail("it is cut short: its image of " + std::to_string(shape.width) + " x "
                      + std::to_string(shape.height) + " needs more than the file holds");
    }
    return shape;
}

enum class RowOrder { TopDown, BottomUp, Unnamed };

RowOrder RowOrderOf(const FitsReading& fits)
{
    std::string named = fits.text("ROWORDER").value_or("");
    std::transform(named.begin(), named.end(), named.begin(), [](unsigned char c) { return std::toupper(c); });
    return named == "TOP-DOWN" ? RowOrder::TopDown : named == "BOTTOM-UP" ? RowOrder::BottomUp : RowOrder::Unnamed;
}

// The samples upright and interleaved, from planes of rows stored in order.
void ReadRows(FitsReading& fits, bool topDown, FitsMaster& m)
{
    try {
        m.values.assign(std::size_t(m.width) * std::size_t(m.height) * std::size_t(m.planes), 0.0f);
    } catch (const std::bad_alloc&) {
        fits.fail("its image of " + std::to_string(m.width) + " x " + std::to_string(m.height)
                  + " does not fit in memory");
    }
    const std::size_t planes = std::size_t(m.planes);
    std::vector<float> row(std::size_t(m.width));
    for (std::int32_t p = 0; p < m.planes && *fits.status() == 0; ++p)
        for (std::int32_t r = 0; r < m.height && *fits.status() == 0; ++r) {
            LONGLONG first[3] = {1, r + 1, p + 1};
            fits_read_pixll(fits.get(), TFLOAT, first, LONGLONG(m.width), nullptr, row.data(), nullptr, fits.status());
            const std::size_t y = std::size_t(topDown ? r : m.height - 1 - r);
            float* to = m.values.data() + y * row.size() * planes + std::size_t(p);
            for (std::size_t x = 0; x < row.size(); ++x)
                to[x * planes] = row[x];
        }
    fits.check("read");
    m.maximum = 0.0f;
    bool any = false;
    for (const float v : m.values)
        if (std::isfinite(v)) {
            m.maximum = any ? std::max(m.maximum, v) : v;
            any = true;
        }
}

// The mosaic from the upright picture's top-left sample. BAYERPAT beside a
// ROWORDER names it from there, the offsets moving it as they say (a row
// over and the picture turned over commute: each swaps the rows or not).
// Without ROWORDER it is the first stored row's, as Siril takes it unless
// told otherwise and as capture programs that leave the key out mean it;
// that row is the upright picture's bottom one.
std::string UprightPattern(const FitsReading& fits, const FitsMaster& m, RowOrder order)
{
    std::string pattern = fits.text("BAYERPAT").value_or("");
    std::transform(pattern.begin(), pattern.end(), pattern.begin(), [](unsigned char c) { return std::toupper(c); });
    if (m.planes != 1 || !IsPattern(pattern))
        return {};
    if (fits.number<int>("XBAYROFF").value_or(0) % 2 != 0)
        pattern = NextColumn(pattern);
    if (fits.number<int>("YBAYROFF").value_or(0) % 2 != 0)
        pattern = NextRow(pattern);
    if (order == RowOrder::Unnamed && m.height % 2 == 0)
        pattern = NextRow(pattern);
    return pattern;
}

void ReadKeys(const FitsReading& fits, RowOrder order, FitsMaster& m)
{
    m.bayer = UprightPattern(fits, m, order);
    m.imageType = fits.text("IMAGETYP").value_or("");
    // Siril counts the frames of a stack in STACKCNT, and some programs
    // give the exposure as EXPOSURE; the FITS names come first.
    m.combined = std::max(0, fits.number<int>("NCOMBINE").value_or(fits.number<int>("STACKCNT").value_or(0)));
    m.depth = std::max(0, fits.number<int>(kDepthKey).value_or(0));
    m.exposureSeconds = fits.number<double>("EXPTIME");
    if (!m.exposureSeconds)
        m.exposureSeconds = fits.number<double>("EXPOSURE");
    m.gain = fits.number<double>("GAIN");
    m.creator = fits.text("CREATOR").value_or(fits.text("PROGRAM").value_or(""));
}

}   // namespace

void WriteFitsMaster(const std::string& path, const FitsMaster& master)
{
    CheckMaster(path, master);
    NewFitsFile fits(path, NewFitsFile::Sync::Yes);
    LONGLONG axes[3] = {master.width, master.height, 3};
    fits_create_imgll(fits.get(), FLOAT_IMG, master.planes == 3 ? 3 : 2, axes, fits.status());
    WriteKeys(fits, master);
    fits.check("write the header of");
    WriteRows(fits, master);
    fits.check("write");
    fits.commit();
}

FitsMaster ReadFitsMaster(const std::string& path)
{
    FitsReading fits(path);
    const Image image = FindImage(fits);
    const Shape shape = ShapeOf(fits, image);
    FitsMaster master;
    master.width = shape.width;
    master.height = shape.height;
    master.planes = shape.planes;
    master.bitpix = image.bitpix;
    const RowOrder order = RowOrderOf(fits);
    ReadRows(fits, order == RowOrder::TopDown, master);
    ReadKeys(fits, order, master);
    return master;
}

}   // namespace orbicrop::stills
