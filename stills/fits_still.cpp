// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/still_image.h"

#include <fitsio.h>

#include <memory>
#include <vector>

namespace orbicrop::stills {

namespace {

// cfitsio's handle, closed however the writing ends; a file whose writing
// failed is deleted rather than left half-written.
class FitsFile {
public:
    explicit FitsFile(const std::string& path) : m_path(path)
    {
        // A leading '!' asks cfitsio to replace a file of that name.
        fits_create_file(&m_file, ("!" + path).c_str(), &m_status);
    }
    ~FitsFile()
    {
        if (m_file == nullptr)
            return;
        int ignored = 0;
        if (m_status != 0)
            fits_delete_file(m_file, &ignored);
        else
            fits_close_file(m_file, &ignored);
    }
    FitsFile(const FitsFile&) = delete;
    FitsFile& operator=(const FitsFile&) = delete;

    fitsfile* get() const { return m_file; }
    int* status() { return &m_status; }
    void check(const char* what)
    {
        if (m_status == 0)
            return;
        char text[FLEN_STATUS] = {};
        fits_get_errstatus(m_status, text);
        throw StillError(std::string("Couldn't ") + what + " the FITS file " + m_path + " (" + text + ")");
    }
    void close()
    {
        fits_close_file(m_file, &m_status);
        m_file = nullptr;
        check("write");
    }

private:
    std::string m_path;
    fitsfile* m_file = nullptr;
    int m_status = 0;
};

void Key(FitsFile& fits, const char* name, const std::string& value, const char* comment)
{
    if (value.empty())
        return;
    fits_update_key_str(fits.get(), name, value.c_str(), comment, fits.status());
}

void Key(FitsFile& fits, const char* name, int value, const char* comment)
{
    fits_update_key_lng(fits.get(), name, value, comment, fits.status());
}

}   // namespace

void WriteFitsStill(const std::string& path, const StillImage& image)
{
    FitsFile fits(path);
    fits.check("create");
    long axes[3] = {image.width, image.height, 3};
    fits_create_img(fits.get(), image.bytesPerSample == 2 ? USHORT_IMG : BYTE_IMG, image.planes == 3 ? 3 : 2, axes,
                    fits.status());
    Key(fits, "ROWORDER", std::string("BOTTOM-UP"), "Order of the rows in the image array");
    Key(fits, "DATE-OBS", image.time, "UTC time the frame was captured");
    if (!image.bayer.empty()) {
        // Beside ROWORDER the pattern is named as the picture reads from its
        // top-left sample, whatever order the rows are stored in: readers
        // that honour ROWORDER (Siril among them) turn it over themselves
        // for bottom-up rows, so naming it for the stored rows would turn
        // it over twice and swap red and green rows with blue and green.
        Key(fits, "BAYERPAT", image.bayer, "Bayer pattern from the top-left pixel");
        Key(fits, "XBAYROFF", 0, "X offset of the Bayer pattern");
        Key(fits, "YBAYROFF", 0, "Y offset of the Bayer pattern");
    }
    Key(fits, "INSTRUME", image.instrument, "Camera");
    Key(fits, "TELESCOP", image.telescope, "Telescope");
    Key(fits, "OBSERVER", image.observer, "Observer");
    Key(fits, "ORIGIN", image.creator, "Program that wrote the file");
    Key(fits, "CREATOR", image.creator, "Program that wrote the file");
    fits.check("write the header of");

    // FITS holds each colour as a plane of its own, and its first row is
    // the picture's bottom one.
    const std::size_t plane = std::size_t(image.width) * std::size_t(image.height);
    const int type = image.bytesPerSample == 2 ? TUSHORT : TBYTE;
    std::vector<std::uint8_t> data(plane * std::size_t(image.planes) * std::size_t(image.bytesPerSample));
    const std::size_t sample = std::size_t(image.bytesPerSample);
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.samples + std::size_t(image.height - 1 - y) * image.rowBytes();
        for (std::int32_t x = 0; x < image.width; ++x)
            for (std::int32_t p = 0; p < image.planes; ++p) {
                const std::uint8_t* from = row + (std::size_t(x) * std::size_t(image.planes) + std::size_t(p)) * sample;
                std::uint8_t* to = data.data()
                    + (std::size_t(p) * plane + std::size_t(y) * std::size_t(image.width) + std::size_t(x)) * sample;
                for (std::size_t b = 0; b < sample; ++b)
                    to[b] = from[b];
            }
    }
    fits_write_img(fits.get(), type, 1, LONGLONG(plane) * image.planes, data.data(), fits.status());
    fits.check("write");
    fits.close();
}

}   // namespace orbicrop::stills
