// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/still_image.h"

#include <tiffio.h>

#include <memory>
#include <vector>

namespace orbicrop::stills {

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// "2024-03-01T20:10:24.043" -> "2024:03:01 20:10:24", the form TIFF's
// DateTime takes (no zone, no fraction).
std::string TiffDateTime(const std::string& iso)
{
    if (iso.size() < 19)
        return {};
    std::string text = iso.substr(0, 19);
    text[4] = text[7] = ':';
    text[10] = ' ';
    return text;
}

}   // namespace

void WriteTiffStill(const std::string& path, const StillImage& image)
{
    // libtiff reports through handlers of its own; the message the user
    // needs is which file could not be written.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "w"));
    if (!tiff)
        throw StillError("Couldn't create the TIFF file " + path);
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(image.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(8 * image.bytesPerSample));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(image.planes));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, image.planes == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (!image.creator.empty())
        TIFFSetField(t, TIFFTAG_SOFTWARE, image.creator.c_str());
    if (const std::string when = TiffDateTime(image.time); !when.empty())
        TIFFSetField(t, TIFFTAG_DATETIME, when.c_str());
    // libtiff writes two-byte samples in the host's order and marks the file so.
    std::vector<std::uint8_t> row(image.rowBytes());
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* from = image.samples + std::size_t(y) * image.rowBytes();
        row.assign(from, from + image.rowBytes());
        if (TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0) < 0)
            throw StillError("Couldn't write the TIFF file " + path);
    }
    if (!TIFFFlush(t))
        throw StillError("Couldn't write the TIFF file " + path);
}

}   // namespace orbicrop::stills
