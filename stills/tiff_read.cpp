// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/still_read.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace orbicrop::stills {

namespace {

// libtiff's first complaint about the file, for the message; nothing of it
// reaches the terminal.
struct TiffComplaint {
    char text[256] = {};
};

int OnTiffError(TIFF*, void* complaint, const char*, const char* format, va_list arguments)
{
    char* text = static_cast<TiffComplaint*>(complaint)->text;
    if (text[0] == '\0')
        std::vsnprintf(text, sizeof(TiffComplaint::text), format, arguments);
    return 1;
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// A TIFF file open for reading, with its complaints kept to itself (the
// handlers are the handle's own, libtiff's global ones untouched).
class TiffReading {
public:
    explicit TiffReading(const std::string& path) : m_path(path)
    {
        const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
        if (!options)
            fail("there is no memory for it");
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnTiffError, &m_complaint);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnTiffWarning, nullptr);
        // A damaged header asks libtiff for no more than a frame may take.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMostFrameBytes));
        // Read, not mapped: a file cut short while mapped kills the process.
        m_tiff.reset(TIFFOpenExt(path.c_str(), "rm", options.get()));
        if (!m_tiff)
            damaged();
    }

    TIFF* get() const { return m_tiff.get(); }
    [[noreturn]] void fail(const std::string& why) const
    {
        throw StillError("Couldn't read the TIFF file " + m_path + ": " + why);
    }
    [[noreturn]] void damaged() const
    {
        // libtiff names the file itself at the start of most complaints.
        std::string_view why = m_complaint.text;
        if (why.starts_with(m_path + ": "))
            why.remove_prefix(m_path.size() + 2);
        throw StillError("Couldn't read the TIFF file " + m_path + " ("
                         + std::string(why.empty() ? "it is damaged" : why) + ")");
    }

private:
    std::string m_path;
    TiffComplaint m_complaint;
    std::unique_ptr<TIFF, TiffCloser> m_tiff;
};

template <typename T>
T Field(const TiffReading& tiff, ttag_t tag)
{
    T value{};
    TIFFGetFieldDefaulted(tiff.get(), tag, &value);
    return value;
}

struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t colours = 1;   // 1 grey, 3 RGB
    std::int32_t bytes = 1;
    std::int32_t samples = 1;   // a pixel's, extra ones (alpha) among them
    bool separate = false;      // one plane a colour
    bool bottomUp = false;
    // Whether a stored row is one of the frame's as it is.
    bool direct() const { return !separate && samples == colours; }
};

std::int32_t ColoursOf(const TiffReading& tiff, std::uint16_t samples)
{
    std::uint16_t photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    if (photometric == PHOTOMETRIC_MINISBLACK)
        return 1;
    if (photometric == PHOTOMETRIC_RGB)
        return 3;
    if (photometric == PHOTOMETRIC_MINISWHITE)
        tiff.fail("its grey is stored inverted (white is 0); black is 0 in a capture");
    tiff.fail("its colours are stored as photometric kind " + std::to_string(photometric) + "; grey and RGB are read");
}

Layout LayoutOf(const TiffReading& tiff)
{
    if (TIFFIsTiled(tiff.get()))
        tiff.fail("its image is stored in tiles; images stored in strips are read");
    Layout layout;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &layout.width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &layout.height);
    const auto bits = Field<std::uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE);
    if (bits != 8 && bits != 16)
        tiff.fail("its samples have " + std::to_string(bits) + " bits; 8 and 16 are read");
    if (Field<std::uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT) != SAMPLEFORMAT_UINT)
        tiff.fail("its samples are not unsigned integers, which alone are read");
    layout.bytes = bits / 8;
    layout.samples = Field<std::uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL);
    layout.colours = ColoursOf(tiff, std::uint16_t(layout.samples));
    // An alpha sample is let go; more than that is no picture of ours.
    if (layout.samples < layout.colours || layout.samples > layout.colours + 1)
        tiff.fail("its pixels have " + std::to_string(layout.samples)
                  + " samples; grey or RGB, with alpha or without, are read");
    layout.separate = Field<std::uint16_t>(tiff, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
    const auto orientation = Field<std::uint16_t>(tiff, TIFFTAG_ORIENTATION);
    if (orientation != ORIENTATION_TOPLEFT && orientation != ORIENTATION_BOTLEFT)
        tiff.fail("its orientation (" + std::to_string(orientation)
                  + ") turns or mirrors the picture; top-left and bottom-left are read");
    layout.bottomUp = orientation == ORIENTATION_BOTLEFT;
    const std::uint64_t expected =
        std::uint64_t(layout.width) * std::uint64_t(layout.bytes) * std::uint64_t(layout.separate ? 1 : layout.samples);
    if (std::uint64_t(TIFFScanlineSize64(tiff.get())) != expected)
        tiff.fail("its rows are laid out in a way that is not read");
    return layout;
}

// Uncompressed, a header's size is checked against the file before room is
// made for it.
void CheckHeld(const TiffReading& tiff, const std::string& path, const Layout& layout)
{
    if (Field<std::uint16_t>(tiff, TIFFTAG_COMPRESSION) != COMPRESSION_NONE)
        return;
    std::error_code error;
    const std::uintmax_t held = std::filesystem::file_size(path, error);
    const std::uint64_t needs =
        std::uint64_t(layout.width) * layout.height * std::uint64_t(layout.samples) * std::uint64_t(layout.bytes);
    if (!error && needs > held)
        tiff.fail("it is cut short: its image of " + std::to_string(layout.width) + " x "
                  + std::to_string(layout.height) + " needs more than the file holds");
}

// The rows as stored: into the frame itself when a stored row is one of
// ours, else through the row's room, a colour at a time.
void ReadRows(const TiffReading& tiff, const Layout& layout, StillFrame& frame)
{
    const std::size_t rowBytes = frame.rowBytes();
    const bool direct = layout.direct();
    const std::int32_t passes = layout.separate ? layout.colours : 1;
    const std::size_t bytes = std::size_t(layout.bytes);
    const std::size_t from = layout.separate ? 1 : std::size_t(layout.samples);
    for (std::int32_t plane = 0; plane < passes; ++plane)
        for (std::uint32_t r = 0; r < layout.height; ++r) {
            const std::size_t y = layout.bottomUp ? layout.height - 1 - r : r;
            std::uint8_t* to = frame.samples.data() + y * rowBytes;
            std::uint8_t* row = direct ? to : RowRoom(frame);
            if (TIFFReadScanline(tiff.get(), row, r, std::uint16_t(plane)) < 0)
                tiff.damaged();
            if (direct)
                continue;
            const std::size_t colours = layout.separate ? 1 : std::size_t(layout.colours);
            for (std::size_t x = 0; x < layout.width; ++x)
                for (std::size_t c = 0; c < colours; ++c)
                    std::memcpy(to + ((x * std::size_t(frame.planes)) + c + std::size_t(plane)) * bytes,
                                row + (x * from + c) * bytes, bytes);
        }
}

// "YYYY:MM:DD HH:MM:SS", TIFF's DateTime, as ISO text.
std::string TiffTime(const TiffReading& tiff)
{
    const char* text = nullptr;
    if (!TIFFGetField(tiff.get(), TIFFTAG_DATETIME, &text) || text == nullptr || std::strlen(text) < 19)
        return {};
    std::string iso(text, 19);
    if (iso[4] != ':' || iso[7] != ':' || iso[10] != ' ')
        return {};
    iso[4] = iso[7] = '-';
    iso[10] = 'T';
    return IsoUtcText(iso);
}

}   // namespace

void ReadTiffStill(const std::string& path, StillFrame& frame)
{
    const TiffReading tiff(path);
    const Layout layout = LayoutOf(tiff);
    CheckHeld(tiff, path, layout);
    const std::size_t room = layout.direct() ? 0 : std::size_t(TIFFScanlineSize64(tiff.get()));
    SizeFrame(frame, path, "TIFF", layout.width, layout.height, layout.colours, layout.bytes, room);
    frame.storedAs = layout.bytes == 1 ? StoredAs::Bits8 : StoredAs::Bits16;
    ReadRows(tiff, layout, frame);
    EndRowRoom(frame);
    frame.time = TiffTime(tiff);
}

}   // namespace orbicrop::stills
