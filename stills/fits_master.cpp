// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/fits_master.h"

#include "stills/fits_file.h"
#include "stills/fits_reading.h"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace orbicrop::stills {

namespace {

// The bits a sample of the frames a master was made from: no FITS
// convention names them, and a dark of 12-bit frames scaled to 16 is
// told from one of 16-bit frames by nothing else.
constexpr char kDepthKey[] = "SRCDEPTH";

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

void ReadKeys(const FitsReading& fits, RowOrder order, FitsMaster& m)
{
    m.bayer = UprightPattern(fits, FitsShape{m.width, m.height, m.planes}, order);
    m.imageType = fits.text("IMAGETYP").value_or("");
    // Siril counts the frames of a stack in STACKCNT, and some programs
    // give the exposure as EXPOSURE; the FITS names come first.
    m.combined = std::max(0, fits.integer("NCOMBINE").value_or(fits.integer("STACKCNT").value_or(0)));
    m.depth = std::max(0, fits.integer(kDepthKey).value_or(0));
    m.exposureSeconds = fits.real("EXPTIME");
    if (!m.exposureSeconds)
        m.exposureSeconds = fits.real("EXPOSURE");
    m.gain = fits.real("GAIN");
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
    const FitsImage image = FindImage(fits);
    const FitsShape shape = ShapeOf(fits, image);
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
