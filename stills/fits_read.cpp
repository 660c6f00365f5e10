// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/fits_reading.h"
#include "stills/still_read.h"

#include <fitsio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace orbicrop::stills {

namespace {

StoredAs StorageOf(const FitsReading& fits, int bitpix)
{
    switch (bitpix) {
    case BYTE_IMG: return StoredAs::Bits8;
    case SHORT_IMG: return StoredAs::Bits16;
    case FLOAT_IMG: return StoredAs::Float32;
    case DOUBLE_IMG: return StoredAs::Float64;
    default: break;
    }
    fits.fail("its samples are " + std::to_string(bitpix)
              + "-bit integers; 8- and 16-bit integers and 32- and 64-bit floats are read");
}

// The stored values in order (BZERO and BSCALE applied by cfitsio), a
// block at a time: no frame allocates room for all of them.
template <typename Visit>
void ForEachStored(FitsReading& fits, std::uint64_t count, Visit visit)
{
    std::array<double, 4096> values;
    for (std::uint64_t first = 0; first < count; first += values.size()) {
        const std::uint64_t n = std::min<std::uint64_t>(values.size(), count - first);
        int anyNull = 0;
        fits_read_img(fits.get(), TDOUBLE, LONGLONG(first + 1), LONGLONG(n), nullptr, values.data(), &anyNull,
                      fits.status());
        fits.check("read");
        visit(values.data(), n);
    }
}

// Siril keeps floats normalised to [0, 1]; anything else is taken at face
// value. A NaN is no sample and decides nothing.
double ChosenScale(FitsReading& fits, std::uint64_t count)
{
    bool normalised = true;
    ForEachStored(fits, count, [&](const double* values, std::uint64_t n) {
        for (std::uint64_t i = 0; i < n; ++i)
            if (values[i] < 0.0 || values[i] > 1.0)
                normalised = false;
    });
    return normalised ? 65535.0 : 1.0;
}

// Walks the frame's samples in FITS's order (a row's samples, its rows as
// stored, then each colour plane), giving each one's index in the upright,
// interleaved frame.
class StoredOrder {
public:
    StoredOrder(const StillFrame& frame, bool topDown)
        : m_width(frame.width), m_height(frame.height), m_planes(frame.planes), m_topDown(topDown)
    {
        m_at = rowStart();
    }
    std::size_t next()
    {
        const std::size_t at = m_at;
        m_at += std::size_t(m_planes);
        if (++m_x == m_width) {
            m_x = 0;
            if (++m_row == m_height) {
                m_row = 0;
                ++m_plane;
            }
            m_at = rowStart();
        }
        return at;
    }

private:
    std::size_t rowStart() const
    {
        const std::int64_t y = m_topDown ? m_row : m_height - 1 - m_row;
        return (std::size_t(y) * std::size_t(m_width)) * std::size_t(m_planes) + std::size_t(m_plane);
    }

    std::int64_t m_width, m_height, m_planes;
    bool m_topDown;
    std::int64_t m_x = 0, m_row = 0, m_plane = 0;
    std::size_t m_at = 0;
};

// Unscaled integer samples of a grey or mosaic frame, the usual capture,
// come straight into the frame as cfitsio converts them, with no double
// between: going through doubles took most of a run's time. A frame with
// values out of the range (negatives, an odd BZERO) is left to the general
// path, which clamps them: after an overflow cfitsio's state is not one to
// go on from (a file cut short then read differently the next time).
bool ReadUnscaledIntegers(FitsReading& fits, bool topDown, StillFrame& frame)
{
    if (frame.planes != 1 || (frame.storedAs != StoredAs::Bits8 && frame.storedAs != StoredAs::Bits16))
        return false;
    const double zero = fits.real("BZERO").value_or(0.0);
    if (fits.real("BSCALE").value_or(1.0) != 1.0 || zero != std::floor(zero))
        return false;
    const std::size_t rowBytes = frame.rowBytes();
    int anyNull = 0;
    fits_read_img(fits.get(), frame.bytesPerSample == 1 ? TBYTE : TUSHORT, 1,
                  LONGLONG(frame.width) * LONGLONG(frame.height), nullptr, frame.samples.data(), &anyNull,
                  fits.status());
    if (*fits.status() == NUM_OVERFLOW) {
        *fits.status() = 0;
        return false;
    }
    fits.check("read");
    if (!topDown) {
        std::uint8_t* rows = frame.samples.data();
        for (std::int32_t y = 0; y < frame.height / 2; ++y)
            std::swap_ranges(rows + std::size_t(y) * rowBytes, rows + std::size_t(y + 1) * rowBytes,
                             rows + std::size_t(frame.height - 1 - y) * rowBytes);
    }
    return true;
}

void ReadSamples(FitsReading& fits, bool topDown, double scale, StillFrame& frame)
{
    if (ReadUnscaledIntegers(fits, topDown, frame))
        return;
    const std::uint64_t count = std::uint64_t(frame.width) * std::uint64_t(frame.height) * std::uint64_t(frame.planes);
    const double most = frame.bytesPerSample == 1 ? 255.0 : 65535.0;
    StoredOrder order(frame, topDown);
    std::uint8_t* samples = frame.samples.data();
    ForEachStored(fits, count, [&](const double* values, std::uint64_t n) {
        for (std::uint64_t i = 0; i < n; ++i) {
            const double v = values[i] * scale;
            // NaN fails the first test and becomes 0 with the negatives.
            const auto sample = std::uint16_t(!(v > 0.0) ? 0.0 : v >= most ? most : std::nearbyint(v));
            const std::size_t at = order.next();
            if (frame.bytesPerSample == 1)
                samples[at] = std::uint8_t(sample);
            else
                std::memcpy(samples + 2 * at, &sample, 2);
        }
    });
}

// DATE-OBS with the time in it, or a date alone completed by the older
// TIME-OBS or UT; a date without a time is no capture time.
std::string FitsTime(const FitsReading& fits)
{
    const std::string date = fits.text("DATE-OBS").value_or("");
    if (date.size() != 10)
        return IsoUtcText(date);
    std::optional<std::string> time = fits.text("TIME-OBS");
    if (!time)
        time = fits.text("UT");
    return time ? IsoUtcText(date + "T" + *time) : std::string();
}

void ReadKeys(const FitsReading& fits, const FitsShape& shape, RowOrder order, StillFrame& frame)
{
    frame.bayer = UprightPattern(fits, shape, order);
    frame.time = FitsTime(fits);
    frame.instrument = fits.text("INSTRUME").value_or("");
    frame.telescope = fits.text("TELESCOP").value_or("");
    frame.observer = fits.text("OBSERVER").value_or("");
    frame.object = fits.text("OBJECT").value_or("");
    frame.filter = fits.text("FILTER").value_or("");
    frame.exposureSeconds = fits.real("EXPTIME");
    if (!frame.exposureSeconds)
        frame.exposureSeconds = fits.real("EXPOSURE");
    frame.gain = fits.real("GAIN");
}

}   // namespace

void ReadFitsStill(const std::string& path, double floatScale, StillFrame& frame)
{
    FitsReading fits(path);
    const FitsImage image = FindImage(fits);
    const StoredAs stored = StorageOf(fits, image.bitpix);
    const FitsShape shape = ShapeOf(fits, image);
    SizeFrame(frame, path, "FITS", std::uint64_t(shape.width), std::uint64_t(shape.height), shape.planes,
              stored == StoredAs::Bits8 ? 1 : 2);
    frame.storedAs = stored;
    double scale = 1.0;
    if (stored == StoredAs::Float32 || stored == StoredAs::Float64) {
        // A factor that scales nothing sensibly is no choice of the caller's.
        const bool given = std::isfinite(floatScale) && floatScale > 0.0;
        scale = given ? floatScale : ChosenScale(fits, frame.samples.size() / sizeof(std::uint16_t));
        frame.floatScale = scale;
    }
    const RowOrder order = RowOrderOf(fits);
    ReadSamples(fits, order == RowOrder::TopDown, scale, frame);
    ReadKeys(fits, shape, order, frame);
}

}   // namespace orbicrop::stills
