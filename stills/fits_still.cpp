// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/fits_file.h"
#include "stills/still_image.h"

#include <vector>

namespace orbicrop::stills {

void WriteFitsStill(const std::string& path, const StillImage& image)
{
    NewFitsFile fits(path);
    long axes[3] = {image.width, image.height, 3};
    fits_create_img(fits.get(), image.bytesPerSample == 2 ? USHORT_IMG : BYTE_IMG, image.planes == 3 ? 3 : 2, axes,
                    fits.status());
    fits.key("ROWORDER", std::string("BOTTOM-UP"), "Order of the rows in the image array");
    fits.key("DATE-OBS", image.time, "UTC time the frame was captured");
    fits.mosaic(image.bayer);
    fits.key("INSTRUME", image.instrument, "Camera");
    fits.key("TELESCOP", image.telescope, "Telescope");
    fits.key("OBSERVER", image.observer, "Observer");
    fits.key("FILTER", image.filter, "Filter");
    fits.key("OBJECT", image.object, "Target");
    if (image.exposureSeconds)
        fits.key("EXPTIME", *image.exposureSeconds, "Exposure of one frame [s]");
    if (image.gain)
        fits.key("GAIN", *image.gain, "Camera gain, as the capture program set it");
    fits.key("ORIGIN", image.creator, "Program that wrote the file");
    fits.key("CREATOR", image.creator, "Program that wrote the file");
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
    fits.commit();
}

}   // namespace orbicrop::stills
