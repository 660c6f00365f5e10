// SPDX-License-Identifier: GPL-3.0-or-later
// Stills read as the frames of a capture: our own written and read back,
// files of the kinds other programs write made here with the formats' own
// libraries, and what is refused, each failure naming its file.

#include "stills/still_frame.h"

#include "fileio/program_module.h"
#include "support/cfitsio_image.h"
#include "support/temp_dir.h"

#include <fitsio.h>
#include <png.h>
#include <tiffio.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using orbicrop::stills::ReadStill;
using orbicrop::stills::StillError;
using orbicrop::stills::StillFrame;
using orbicrop::stills::StillImage;
using orbicrop::stills::StoredAs;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every sample its own: rows, columns and colours all differ, and two-byte
// samples differ in both bytes, so that a flip, a swap of colours or of
// bytes shows.
std::vector<std::uint8_t> Samples(int width, int height, int planes, int bytes)
{
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int p = 0; p < planes; ++p) {
                const int v = (y * 37 + x * 11 + p * 5 + 1) * 257 + y;
                samples.push_back(std::uint8_t(v));
                if (bytes == 2)
                    samples.push_back(std::uint8_t(v >> 8));
            }
    return samples;
}

// Two-byte samples as the values a test states.
std::vector<std::uint8_t> Words(const std::vector<int>& values)
{
    std::vector<std::uint8_t> bytes;
    for (const int v : values) {
        const auto word = std::uint16_t(v);
        bytes.resize(bytes.size() + 2);
        std::memcpy(bytes.data() + bytes.size() - 2, &word, 2);
    }
    return bytes;
}

StillFrame Read(const std::string& path, double floatScale = 0)
{
    StillFrame frame;
    ReadStill(path, floatScale, frame);
    return frame;
}

enum Format { Tiff, Fits, Png };

struct Own {
    const char* name;
    Format format;
    int bytes;
    int planes;
    int height;
    const char* bayer;
};

void PrintTo(const Own& c, std::ostream* os)
{
    *os << c.name;
}

class OwnStills : public testing::TestWithParam<Own> {};

}   // namespace

// Written by our writers and read back, under a name that tells nothing:
// the very samples upright, the depth, the time (TIFF keeps whole seconds),
// and from FITS the pattern (odd and even heights) and the capture's keys.
TEST_P(OwnStills, ComeBackAsWritten)
{
    const Own c = GetParam();
    TempDir dir;
    const std::string path = dir.file("frame.img");
    const std::vector<std::uint8_t> samples = Samples(5, c.height, c.planes, c.bytes);
    StillImage image;
    image.samples = samples.data();
    image.width = 5;
    image.height = c.height;
    image.planes = c.planes;
    image.bytesPerSample = c.bytes;
    image.depth = 8 * c.bytes;
    image.bayer = c.bayer;
    image.time = "2024-03-01T20:10:24.043";
    image.instrument = "ZWO ASI462MC";
    image.object = "Jupiter";
    image.exposureSeconds = 0.004;
    image.gain = 300;
    const std::function<void(const std::string&, const StillImage&)> writers[] = {
        orbicrop::stills::WriteTiffStill, orbicrop::stills::WriteFitsStill, orbicrop::stills::WritePngStill};
    writers[c.format](path, image);

    const StillFrame frame = Read(path);
    EXPECT_EQ(frame.width, 5);
    EXPECT_EQ(frame.height, c.height);
    EXPECT_EQ(frame.planes, c.planes);
    EXPECT_EQ(frame.bytesPerSample, c.bytes);
    EXPECT_EQ(frame.storedAs, c.bytes == 1 ? StoredAs::Bits8 : StoredAs::Bits16);
    EXPECT_EQ(frame.samples, samples);
    EXPECT_EQ(frame.time, c.format == Tiff ? "2024-03-01T20:10:24" : image.time);
    EXPECT_EQ(frame.bayer, c.format == Fits ? image.bayer : "");
    if (c.format == Fits) {
        EXPECT_EQ(frame.instrument, image.instrument);
        EXPECT_EQ(frame.object, image.object);
        EXPECT_EQ(frame.exposureSeconds, image.exposureSeconds);
        EXPECT_EQ(frame.gain, image.gain);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, OwnStills,
                         testing::Values(Own{"tiff8mono", Tiff, 1, 1, 4, ""}, Own{"tiff16rgb", Tiff, 2, 3, 3, ""},
                                         Own{"fits8rgb", Fits, 1, 3, 3, ""},
                                         Own{"fits16mosaicOdd", Fits, 2, 1, 5, "GBRG"},
                                         Own{"fits16mosaicEven", Fits, 2, 1, 4, "GRBG"},
                                         Own{"png8rgb", Png, 1, 3, 3, ""}, Own{"png16mono", Png, 2, 1, 5, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// A 3 x 2 FITS image as other programs write it: these values upright.
struct ForeignFits {
    const char* name;
    int type;   // cfitsio's image type
    std::vector<double> values;
    const char* rowOrder;   // null: none
    std::function<void(fitsfile*, int*)> keys;
    double floatScale;   // asked for
    StoredAs stored;
    double scaleUsed;
    std::vector<int> samples;
    const char* bayer;
    const char* time;
};

void PrintTo(const ForeignFits& c, std::ostream* os)
{
    *os << c.name;
}

class ForeignFitsStills : public testing::TestWithParam<ForeignFits> {};

void Text(fitsfile* f, int* status, const char* key, const char* value)
{
    fits_update_key_str(f, key, value, nullptr, status);
}

void Number(fitsfile* f, int* status, const char* key, int value)
{
    fits_update_key(f, TINT, key, &value, nullptr, status);
}

}   // namespace

// Each storage's samples upright (negatives and NaN as 0, floats scaled by
// the factor chosen or given, clamped), the pattern from the upright
// top-left (beside ROWORDER as named and moved by the offsets, without it
// the first stored row's), and the time from DATE-OBS with or without
// TIME-OBS.
TEST_P(ForeignFitsStills, ReadUprightWithTheSamplesAndPatternMeant)
{
    const ForeignFits c = GetParam();
    TempDir dir;
    const std::string path = dir.file("frame.fit");
    const bool topDown = c.rowOrder != nullptr && std::string(c.rowOrder) == "TOP-DOWN";
    WriteWithCfitsio(path, c.type, {3, 2}, c.values, topDown, [&](fitsfile* f, int* status) {
        if (c.rowOrder)
            Text(f, status, "ROWORDER", c.rowOrder);
        c.keys(f, status);
    });
    const StillFrame frame = Read(path, c.floatScale);
    EXPECT_EQ(frame.bytesPerSample, c.stored == StoredAs::Bits8 ? 1 : 2);
    EXPECT_EQ(frame.samples, Words(c.samples));
    EXPECT_EQ(frame.storedAs, c.stored);
    EXPECT_EQ(frame.floatScale, c.scaleUsed);
    EXPECT_EQ(frame.bayer, c.bayer);
    EXPECT_EQ(frame.time, c.time);
}

INSTANTIATE_TEST_SUITE_P(Storages, ForeignFitsStills,
                         testing::Values(ForeignFits{"unsignedTopDownOffset",
                                                     USHORT_IMG,
                                                     {0, 1000, 65535, 40000, 2, 3},
                                                     "TOP-DOWN",
                                                     [](fitsfile* f, int* s) {
                                                         Text(f, s, "BAYERPAT", "RGGB");
                                                         Number(f, s, "XBAYROFF", 1);
                                                         Text(f, s, "DATE-OBS", "2024-03-01");
                                                         Text(f, s, "TIME-OBS", "20:10:24.5");
                                                     },
                                                     0,
                                                     StoredAs::Bits16,
                                                     0,
                                                     {0, 1000, 65535, 40000, 2, 3},
                                                     "GRBG",
                                                     "2024-03-01T20:10:24.5"},
                                         ForeignFits{"signedNoRowOrder",
                                                     SHORT_IMG,
                                                     {-5, 0, 32767, 100, -32768, 7},
                                                     nullptr,
                                                     [](fitsfile* f, int* s) {
                                                         Text(f, s, "BAYERPAT", "RGGB");
                                                         Text(f, s, "DATE-OBS", "2024-03-01T20:10:24Z");
                                                     },
                                                     0,
                                                     StoredAs::Bits16,
                                                     0,
                                                     {0, 0, 32767, 100, 0, 7},
                                                     "GBRG",
                                                     "2024-03-01T20:10:24"},
                                         ForeignFits{"floatNormalised",
                                                     FLOAT_IMG,
                                                     {0, 0.5, 1, kNaN, 0.25, 1e-5},
                                                     "BOTTOM-UP",
                                                     [](fitsfile* f, int* s) { Text(f, s, "DATE-OBS", "2024-03-01"); },
                                                     0,
                                                     StoredAs::Float32,
                                                     65535,
                                                     {0, 32768, 65535, 0, 16384, 1},
                                                     "",
                                                     ""},
                                         ForeignFits{"doubleRaw",
                                                     DOUBLE_IMG,
                                                     {-3, 0.4, 1.6, 4000.4, 70000, kNaN},
                                                     "BOTTOM-UP",
                                                     [](fitsfile*, int*) {},
                                                     0,
                                                     StoredAs::Float64,
                                                     1,
                                                     {0, 0, 2, 4000, 65535, 0},
                                                     "",
                                                     ""},
                                         ForeignFits{"floatScaleGiven",
                                                     FLOAT_IMG,
                                                     {0, 0.5, 1, 2, 0.25, 0.1},
                                                     "BOTTOM-UP",
                                                     [](fitsfile*, int*) {},
                                                     1000,
                                                     StoredAs::Float32,
                                                     1000,
                                                     {0, 500, 1000, 2000, 250, 100},
                                                     "",
                                                     ""}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A TIFF as other programs write it: upright samples (alpha among them when
// four) stored as told.
struct ForeignTiff {
    const char* name;
    int bits;
    int samples;
    std::uint16_t planar;
    std::uint16_t compression;
    std::uint16_t orientation;
};

void PrintTo(const ForeignTiff& c, std::ostream* os)
{
    *os << c.name;
}

void WriteTiff(const std::string& path, const ForeignTiff& c, int width, int height,
               const std::vector<std::uint8_t>& upright)
{
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "w"));
    ASSERT_TRUE(tiff);
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(c.bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(c.samples));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, c.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    if (c.samples == 4) {
        const std::uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, alpha);
    }
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, c.planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, c.compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, c.orientation);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(2));
    TIFFSetField(t, TIFFTAG_DATETIME, "2024:03:01 20:10:24");
    const std::size_t bytes = std::size_t(c.bits / 8);
    const std::size_t pixel = std::size_t(c.samples) * bytes;
    const bool separate = c.planar == PLANARCONFIG_SEPARATE;
    std::vector<std::uint8_t> row(std::size_t(width) * pixel);
    for (int s = 0; s < (separate ? c.samples : 1); ++s)
        for (int r = 0; r < height; ++r) {
            const int y = c.orientation == ORIENTATION_BOTLEFT ? height - 1 - r : r;
            const std::uint8_t* from = upright.data() + std::size_t(y * width) * pixel;
            if (!separate)
                row.assign(from, from + row.size());
            else
                for (int x = 0; x < width; ++x)
                    std::memcpy(row.data() + std::size_t(x) * bytes, from + std::size_t(x) * pixel + s * bytes, bytes);
            ASSERT_GE(TIFFWriteScanline(t, row.data(), std::uint32_t(r), std::uint16_t(s)), 0);
        }
}

// The upright samples without their alpha.
std::vector<std::uint8_t> WithoutAlpha(const std::vector<std::uint8_t>& samples, int bytes)
{
    std::vector<std::uint8_t> colour;
    const std::size_t pixel = std::size_t(4 * bytes);
    for (std::size_t at = 0; at < samples.size(); at += pixel)
        colour.insert(colour.end(), samples.begin() + std::ptrdiff_t(at),
                      samples.begin() + std::ptrdiff_t(at + pixel - std::size_t(bytes)));
    return colour;
}

class ForeignTiffStills : public testing::TestWithParam<ForeignTiff> {};

}   // namespace

// Compressed, turned over, in planes, with alpha: the same upright samples,
// the alpha let go, the time from DateTime.
TEST_P(ForeignTiffStills, ReadUprightWithoutTheirAlpha)
{
    const ForeignTiff c = GetParam();
    TempDir dir;
    const std::string path = dir.file("frame.tif");
    const std::vector<std::uint8_t> upright = Samples(5, 7, c.samples, c.bits / 8);
    WriteTiff(path, c, 5, 7, upright);
    const StillFrame frame = Read(path);
    EXPECT_EQ(frame.planes, c.samples == 1 ? 1 : 3);
    EXPECT_EQ(frame.samples, c.samples == 4 ? WithoutAlpha(upright, c.bits / 8) : upright);
    EXPECT_EQ(frame.time, "2024-03-01T20:10:24");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ForeignTiffStills,
    testing::Values(
        ForeignTiff{"botLeftLzwGrey16", 16, 1, PLANARCONFIG_CONTIG, COMPRESSION_LZW, ORIENTATION_BOTLEFT},
        ForeignTiff{"separateDeflateRgb8", 8, 3, PLANARCONFIG_SEPARATE, COMPRESSION_ADOBE_DEFLATE, ORIENTATION_TOPLEFT},
        ForeignTiff{"rgba16", 16, 4, PLANARCONFIG_CONTIG, COMPRESSION_NONE, ORIENTATION_TOPLEFT},
        ForeignTiff{"separateRgba8BotLeft", 8, 4, PLANARCONFIG_SEPARATE, COMPRESSION_LZW, ORIENTATION_BOTLEFT}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

// A PNG written with libpng's own calls, rows as the file stores them.
void WritePng(const std::string& path, int width, int height, int colourType, int depth, bool interlaced,
              const std::vector<std::vector<png_byte>>& rows, const std::vector<png_color>& palette = {},
              const std::vector<png_byte>& alphas = {})
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!alphas.empty())
        png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows)
        pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
}

}   // namespace

// A palette (interlaced, with transparency) as RGB, 16-bit RGBA as RGB in
// the host's order, 2-bit grey spread over 8 bits.
TEST(StillReader, PngOfOtherKindsReadAsGreyOrRgb)
{
    TempDir dir;
    const std::vector<png_color> palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {200, 210, 220}};
    std::vector<std::vector<png_byte>> indices;
    std::vector<std::uint8_t> colours;
    for (int y = 0; y < 9; ++y) {
        indices.emplace_back();
        for (int x = 0; x < 5; ++x) {
            const int i = (x + 2 * y) % 4;
            indices.back().push_back(png_byte(i));
            colours.insert(colours.end(), {palette[i].red, palette[i].green, palette[i].blue});
        }
    }
    WritePng(dir.file("palette.png"), 5, 9, PNG_COLOR_TYPE_PALETTE, 8, true, indices, palette, {255, 0, 128});
    StillFrame frame = Read(dir.file("palette.png"));
    EXPECT_EQ(frame.planes, 3);
    EXPECT_EQ(frame.samples, colours);

    // Stored big-endian: 0x1234, 0x5678, 0x9abc and an alpha to let go.
    WritePng(dir.file("rgba.png"), 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, false,
             {{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xff, 0xff}});
    frame = Read(dir.file("rgba.png"));
    EXPECT_EQ(frame.storedAs, StoredAs::Bits16);
    EXPECT_EQ(frame.samples, Words({0x1234, 0x5678, 0x9abc}));

    // Four 2-bit samples in a byte: 0, 1, 2, 3.
    WritePng(dir.file("grey2.png"), 4, 1, PNG_COLOR_TYPE_GRAY, 2, false, {{0b00011011}});
    frame = Read(dir.file("grey2.png"));
    EXPECT_EQ(frame.samples, (std::vector<std::uint8_t>{0, 85, 170, 255}));
}

// The frames of a capture read one after another into one frame: its room
// is kept (nothing allocated again), and what a file does not tell is not
// left over from the one before.
TEST(StillReader, FramesReadIntoTheSameRoomTellOnlyTheirOwn)
{
    TempDir dir;
    const std::vector<std::uint8_t> samples = Samples(6, 4, 1, 2);
    StillImage image;
    image.samples = samples.data();
    image.width = 6;
    image.height = 4;
    image.bytesPerSample = 2;
    image.bayer = "RGGB";
    image.time = "2024-03-01T20:10:24.043";
    image.instrument = "camera";
    image.gain = 100;
    orbicrop::stills::WriteFitsStill(dir.file("mosaic.fits"), image);
    ForeignTiff separate{"separate", 16, 4, PLANARCONFIG_SEPARATE, COMPRESSION_NONE, ORIENTATION_TOPLEFT};
    WriteTiff(dir.file("plain.tif"), separate, 3, 2, Samples(3, 2, 4, 2));

    StillFrame frame;
    ReadStill(dir.file("mosaic.fits"), 0, frame);
    ReadStill(dir.file("plain.tif"), 0, frame);
    const std::uint8_t* room = frame.samples.data();
    EXPECT_EQ(frame.bayer, "");
    EXPECT_EQ(frame.instrument, "");
    EXPECT_EQ(frame.gain, std::nullopt);
    EXPECT_EQ(frame.time, "2024-03-01T20:10:24");
    ReadStill(dir.file("plain.tif"), 0, frame);
    EXPECT_EQ(frame.samples.data(), room);
    EXPECT_EQ(frame.samples, WithoutAlpha(Samples(3, 2, 4, 2), 2));
}

namespace {

struct Refusal {
    const char* name;
    std::function<void(const TempDir&, const std::string&)> make;
    const char* says;
};

void PrintTo(const Refusal& c, std::ostream* os)
{
    *os << c.name;
}

class StillRefusal : public testing::TestWithParam<Refusal> {};

// One of our own stills of 40 x 40.
void OwnStill(const std::string& path, Format format)
{
    const std::vector<std::uint8_t> samples = Samples(40, 40, 1, 2);
    StillImage image;
    image.samples = samples.data();
    image.width = 40;
    image.height = 40;
    image.bytesPerSample = 2;
    if (format == Fits)
        orbicrop::stills::WriteFitsStill(path, image);
    else if (format == Tiff)
        orbicrop::stills::WriteTiffStill(path, image);
    else
        orbicrop::stills::WritePngStill(path, image);
}

void OwnCut(const TempDir&, const std::string& path, Format format, std::uintmax_t size)
{
    OwnStill(path, format);
    std::filesystem::resize_file(path, size);
}

}   // namespace

// What cannot be read is refused with the file named and why.
TEST_P(StillRefusal, SaysWhichFileAndWhy)
{
    TempDir dir;
    const std::string path = dir.file("frame 0001.img");
    GetParam().make(dir, path);
    try {
        StillFrame frame;
        ReadStill(path, 0, frame);
        ADD_FAILURE() << "read";
    } catch (const StillError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(path), std::string::npos) << what;
        EXPECT_NE(what.find(GetParam().says), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, StillRefusal,
    testing::Values(Refusal{"missing", [](const TempDir&, const std::string&) {}, "Couldn't open"},
                    Refusal{"unknown",
                            [](const TempDir&, const std::string& p) { WriteWholeFile(p, "GIF89a and more"); },
                            "is not a FITS, TIFF or PNG image"},
                    Refusal{"fits32BitIntegers",
                            [](const TempDir&, const std::string& p) {
                                WriteWithCfitsio(p, LONG_IMG, {2, 2}, {1, 2, 3, 4}, false);
                            },
                            "32-bit integers"},
                    Refusal{"fitsCutShort", [](const TempDir& d, const std::string& p) { OwnCut(d, p, Fits, 3000); },
                            "it is cut short"},
                    Refusal{"tiffCutShort", [](const TempDir& d, const std::string& p) { OwnCut(d, p, Tiff, 1500); },
                            "Couldn't read the TIFF file"},
                    Refusal{"pngCutShort", [](const TempDir& d, const std::string& p) { OwnCut(d, p, Png, 200); },
                            "Couldn't read the PNG file"},
                    Refusal{"pngChunkOfGigabytes",
                            [](const TempDir&, const std::string& p) {
                                // After the header, a text chunk that claims 2 GB and holds a few bytes.
                                OwnStill(p, Png);
                                std::string bytes = ReadWholeFile(p);
                                bytes.insert(33, std::string("\x7a\0\0\x26tEXtCreation", 16));
                                WriteWholeFile(p, bytes);
                            },
                            "too large"},
                    Refusal{"tiffAbsurdSize",
                            [](const TempDir&, const std::string& p) {
                                const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(p.c_str(), "w"));
                                TIFFSetField(tiff.get(), TIFFTAG_IMAGEWIDTH, std::uint32_t(40000));
                                TIFFSetField(tiff.get(), TIFFTAG_IMAGELENGTH, std::uint32_t(40000));
                                TIFFSetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, std::uint16_t(16));
                                TIFFSetField(tiff.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
                                TIFFSetField(tiff.get(), TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
                                TIFFSetField(tiff.get(), TIFFTAG_ROWSPERSTRIP, std::uint32_t(40000));
                                std::vector<std::uint8_t> row(80000);
                                TIFFWriteScanline(tiff.get(), row.data(), 0, 0);
                            },
                            "too large"},
                    Refusal{"tiffTurned",
                            [](const TempDir&, const std::string& p) {
                                WriteTiff(p,
                                          {"turned", 8, 1, PLANARCONFIG_CONTIG, COMPRESSION_NONE, ORIENTATION_LEFTTOP},
                                          2, 2, {1, 2, 3, 4});
                            },
                            "orientation"}),
    [](const auto& info) { return std::string(info.param.name); });

// The module's entry point, as a program finds it: a frame read through it,
// and a failure given as text.
TEST(StillReader, TheModuleReadsWithItsErrorsAsText)
{
    const LoadedModule module = LoadModule(ORBICROP_STILLS_MODULE, kReadStillSymbol);
    ASSERT_NE(module.entry, nullptr) << module.path << ": " << module.why;
    const auto readStill = reinterpret_cast<decltype(&orbicrop_read_still)>(module.entry);
    TempDir dir;
    const std::vector<std::uint8_t> samples = Samples(3, 2, 3, 1);
    StillImage image;
    image.samples = samples.data();
    image.width = 3;
    image.height = 2;
    image.planes = 3;
    orbicrop::stills::WritePngStill(dir.file("f.png"), image);
    StillFrame frame;
    char error[512] = {};
    ASSERT_EQ(readStill(dir.file("f.png").c_str(), 0, &frame, error, sizeof error), 0) << error;
    EXPECT_EQ(frame.samples, samples);
    WriteWholeFile(dir.file("f.txt"), "not a picture");
    EXPECT_NE(readStill(dir.file("f.txt").c_str(), 0, &frame, error, sizeof error), 0);
    EXPECT_EQ(std::string(error), dir.file("f.txt") + " is not a FITS, TIFF or PNG image");
}
