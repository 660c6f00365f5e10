// SPDX-License-Identifier: GPL-3.0-or-later
// Folders of still images: each format written through the staged output
// and read back with the format's own library, sample by sample and header
// by header.

#include "output/sequence_output.h"

#include "analysis/debayer_crop.h"
#include "output/staged_output.h"
#include "support/siril.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <fitsio.h>
#include <png.h>
#include <tiffio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::int32_t layout;   // mono, RGGB or BGR
    std::int32_t bytes;
    std::int32_t depth;
};

// What a file held, as its library reads it: samples top-down, interleaved,
// two-byte ones little-endian.
struct ReadBack {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 0;
    std::int32_t bits = 0;
    std::vector<std::uint8_t> samples;
    std::map<std::string, std::string> keys;   // FITS keys, TIFF DateTime and Software
};

ReadBack ReadTiff(const std::string& path)
{
    ReadBack r;
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "r"), TIFFClose);
    if (!tiff)
        throw std::runtime_error("cannot read " + path);
    std::uint32_t w = 0, h = 0;
    std::uint16_t bits = 0, planes = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &planes);
    r = {std::int32_t(w), std::int32_t(h), planes, bits, {}, {}};
    for (const auto& [tag, name] : {std::pair{TIFFTAG_DATETIME, "DateTime"}, {TIFFTAG_SOFTWARE, "Software"}})
        if (char* text = nullptr; TIFFGetField(tiff.get(), tag, &text) == 1)
            r.keys[name] = text;
    const tmsize_t row = TIFFScanlineSize(tiff.get());
    r.samples.resize(std::size_t(row) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        TIFFReadScanline(tiff.get(), r.samples.data() + std::size_t(y) * std::size_t(row), y, 0);
    return r;
}

ReadBack ReadPng(const std::string& path)
{
    ReadBack r;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!file || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("cannot read " + path);
    }
    png_init_io(png, file.get());
    png_read_png(png, info, PNG_TRANSFORM_SWAP_ENDIAN, nullptr);
    r.width = std::int32_t(png_get_image_width(png, info));
    r.height = std::int32_t(png_get_image_height(png, info));
    r.planes = png_get_channels(png, info);
    r.bits = png_get_bit_depth(png, info);
    const std::size_t row = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (std::int32_t y = 0; y < r.height; ++y)
        r.samples.insert(r.samples.end(), rows[y], rows[y] + row);
    png_destroy_read_struct(&png, &info, nullptr);
    return r;
}

// FITS rows run bottom-up and colours lie in planes: turned back here.
ReadBack ReadFits(const std::string& path)
{
    ReadBack r;
    fitsfile* fits = nullptr;
    int status = 0;
    fits_open_diskfile(&fits, path.c_str(), READONLY, &status);
    int bitpix = 0, axes = 0;
    long size[3] = {1, 1, 1};
    fits_get_img_param(fits, 3, &bitpix, &axes, size, &status);
    r = {std::int32_t(size[0]), std::int32_t(size[1]), axes == 3 ? std::int32_t(size[2]) : 1, bitpix, {}, {}};
    int count = 0;
    fits_get_hdrspace(fits, &count, nullptr, &status);
    for (int i = 1; i <= count; ++i) {
        char name[FLEN_KEYWORD] = {}, value[FLEN_VALUE] = {};
        fits_read_keyn(fits, i, name, value, nullptr, &status);
        r.keys[name] = value;
    }
    const std::size_t plane = std::size_t(r.width) * std::size_t(r.height);
    const std::size_t total = plane * std::size_t(r.planes);
    std::vector<std::uint16_t> values(total);
    fits_read_img(fits, TUSHORT, 1, LONGLONG(total), nullptr, values.data(), nullptr, &status);
    fits_close_file(fits, &status);
    if (status != 0)
        throw std::runtime_error("cannot read " + path);
    const std::size_t bytes = bitpix == 8 ? 1 : 2;
    r.samples.resize(total * bytes);
    for (std::int32_t y = 0; y < r.height; ++y)
        for (std::int32_t x = 0; x < r.width; ++x)
            for (std::int32_t p = 0; p < r.planes; ++p) {
                const std::uint16_t v = values[std::size_t(p) * plane + std::size_t(r.height - 1 - y) * r.width + x];
                const std::size_t at = ((std::size_t(y) * r.width + x) * r.planes + p) * bytes;
                r.samples[at] = std::uint8_t(v);
                if (bytes == 2)
                    r.samples[at + 1] = std::uint8_t(v >> 8);
            }
    return r;
}

// Frame f of a case: every sample different, and the top half unlike the bottom.
SampleFrame MakeFrame(const Case& c, std::int32_t f, const CaptureHeader* header)
{
    SampleFrame s;
    s.width = 6;
    s.height = 4;
    s.layout = c.layout;
    s.planes = c.layout == kSamplesBgr ? 3 : 1;
    s.bytesPerSample = c.bytes;
    s.depth = c.depth;
    s.left = 1;   // an odd column: the pattern at the window is the next one over
    s.top = 0;
    s.header = header;
    const std::int32_t top = (1 << c.depth) - 1;
    for (std::int32_t y = 0; y < s.height; ++y)
        for (std::int32_t x = 0; x < s.width; ++x)
            for (std::int32_t p = 0; p < s.planes; ++p) {
                const std::int32_t v = (y < 2 ? top : top / 3) - (f * 31 + x * 7 + p * 3 + y);
                s.samples.push_back(std::uint8_t(v));
                if (c.bytes == 2)
                    s.samples.push_back(std::uint8_t(v >> 8));
            }
    return s;
}

// The same frame as the file should hold it: colour as red, green, blue.
std::vector<std::uint8_t> Expected(const SampleFrame& s)
{
    std::vector<std::uint8_t> out = s.samples;
    if (s.planes == 3)
        for (std::size_t at = 0; at < out.size(); at += 3 * s.bytesPerSample)
            for (std::int32_t b = 0; b < s.bytesPerSample; ++b)
                std::swap(out[at + b], out[at + 2 * s.bytesPerSample + b]);
    return out;
}

}   // namespace

// Each format at 8 and 16 bits, mono, mosaic and colour: the samples as
// given, the files named in written order inside a folder staged and put in
// place (brackets in the name, which cfitsio's ordinary opening reads as an
// extension to open), and the headers that say what the frames are.
TEST(SequenceOutput, EachFormatHoldsTheSamplesHeadersAndOrderOfItsFrames)
{
    const Case cases[] = {{"mono8", kSamplesMono, 1, 8}, {"rggb12", 8, 2, 12}, {"bgr16", kSamplesBgr, 2, 16}};
    const CaptureHeader header{0, "A. Observer", "IMX585", "C14", 0, 0};
    // 43 ms past the second: written .043, not .43.
    const std::int64_t start = *ParseIsoUtc("2024-03-01T20:10:24.0431Z");
    for (const OutputFormat format : {OutputFormat::Tiff, OutputFormat::Fits, OutputFormat::Png})
        for (const Case& c : cases) {
            TempDir dir;
            SequenceOutput sequence(format, "orbicrop-test 9.9");
            StagedOutput staged(sequence);
            const std::string folder = dir.file("cap[1]_orbic");
            staged.open(folder, 6, 4, c.layout != kSamplesBgr);
            std::vector<SampleFrame> frames;
            for (std::int32_t f = 0; f < 3; ++f) {
                frames.push_back(MakeFrame(c, f, &header));
                staged.addSamples(frames.back(), start + f * 10'000'000LL, f);
            }
            staged.close();
            ASSERT_TRUE(staged.placed()) << NameOf(format) << c.name;
            const char* ext = format == OutputFormat::Fits ? ".fits" : format == OutputFormat::Png ? ".png" : ".tif";
            std::vector<std::string> names;
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                names.push_back(entry.path().filename().string());
            std::sort(names.begin(), names.end());
            ASSERT_EQ(names,
                      (std::vector<std::string>{std::string("cap[1]_orbic_000000") + ext,
                                                std::string("cap[1]_orbic_000001") + ext,
                                                std::string("cap[1]_orbic_000002") + ext}));
            for (std::int32_t f = 0; f < 3; ++f) {
                const std::string path = folder + "/" + names[std::size_t(f)];
                const ReadBack r = format == OutputFormat::Fits ? ReadFits(path)
                    : format == OutputFormat::Png               ? ReadPng(path)
                                                                : ReadTiff(path);
                SCOPED_TRACE(path);
                EXPECT_EQ(r.width, 6);
                EXPECT_EQ(r.height, 4);
                EXPECT_EQ(r.planes, frames[f].planes);
                EXPECT_EQ(r.samples, Expected(frames[f]));
                const std::string second = "2024-03-01T20:10:2" + std::to_string(4 + f) + ".043";
                if (format == OutputFormat::Tiff) {
                    EXPECT_EQ(r.bits, 8 * c.bytes);
                    EXPECT_EQ(r.keys.at("DateTime"), "2024:03:01 20:10:2" + std::to_string(4 + f));
                    EXPECT_EQ(r.keys.at("Software"), "orbicrop-test 9.9");
                }
                if (format == OutputFormat::Fits) {
                    EXPECT_EQ(r.bits, c.bytes == 2 ? 16 : 8);
                    EXPECT_EQ(r.keys.count("BZERO"), c.bytes == 2 ? 1u : 0u);
                    EXPECT_EQ(r.keys.at("DATE-OBS"), "'" + second + "'");
                    EXPECT_EQ(r.keys.at("ROWORDER"), "'BOTTOM-UP'");
                    EXPECT_EQ(r.keys.at("INSTRUME"), "'IMX585  '");   // padded to 8, as FITS strings are
                    EXPECT_EQ(r.keys.at("TELESCOP"), "'C14     '");
                    EXPECT_EQ(r.keys.at("OBSERVER"), "'A. Observer'");
                    EXPECT_EQ(r.keys.at("CREATOR"), "'orbicrop-test 9.9'");
                    EXPECT_EQ(r.keys.count("EXPTIME"), 0u);
                    // RGGB seen from column 1 is GRBG, named from the top
                    // whichever way the rows are stored.
                    if (c.layout == 8) {
                        EXPECT_EQ(r.keys.at("BAYERPAT"), "'GRBG    '");
                        EXPECT_EQ(r.keys.at("XBAYROFF"), "0");
                    } else {
                        EXPECT_EQ(r.keys.count("BAYERPAT"), 0u);
                    }
                }
            }
        }
}

// A second run replaces an older folder of the same name whole: none of the
// older frames stays beside the new ones.
TEST(SequenceOutput, AnOlderFolderIsReplacedWholeByANewOne)
{
    TempDir dir;
    const std::string folder = dir.file("cap_orbic");
    const Case mono{"mono8", kSamplesMono, 1, 8};
    for (const std::int32_t frames : {5, 2}) {
        SequenceOutput sequence(OutputFormat::Png, "orbicrop-test");
        StagedOutput staged(sequence);
        staged.open(folder, 6, 4, true);
        for (std::int32_t f = 0; f < frames; ++f)
            staged.addSamples(MakeFrame(mono, f, nullptr), std::nullopt, f);
        staged.close();
        ASSERT_TRUE(staged.placed());
    }
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string(), "cap_orbic");
        for ([[maybe_unused]] const auto& file : std::filesystem::directory_iterator(entry.path()))
            ++count;
    }
    EXPECT_EQ(count, 2u);
}

// Two runs writing the same new output at once: the first to finish keeps
// the name, the later one says so and keeps its frames beside it.
TEST(SequenceOutput, ANameTakenByAnotherRunMeanwhileIsNotReplaced)
{
    TempDir dir;
    const std::string folder = dir.file("cap_orbic");
    SequenceOutput sequence(OutputFormat::Tiff, "orbicrop-test");
    StagedOutput staged(sequence);
    staged.open(folder, 6, 4, true);
    staged.addSamples(MakeFrame({"mono8", kSamplesMono, 1, 8}, 0, nullptr), std::nullopt, 0);
    std::filesystem::create_directory(folder);
    std::ofstream(folder + "/theirs.tif") << "the other run's";
    try {
        staged.close();
        ADD_FAILURE() << "the other run's folder was replaced";
    } catch (const OutputPlacementError& e) {
        EXPECT_NE(std::string(e.what()).find("Another run wrote cap_orbic while this one ran"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(staged.placed());
    EXPECT_TRUE(std::filesystem::exists(folder + "/theirs.tif"));
    // Beside it under a visible name, where no later run takes it for a leftover.
    EXPECT_TRUE(std::filesystem::exists(folder + "-2/cap_orbic_000000.tif"));
}

// A raw colour window written as a mosaic FITS: Siril debayers it into the
// picture it was cut from, the right way up and in its colours, and a
// standard FITS reader (the first stored row at the bottom) sees the same
// picture upright. A grey disc with a red patch up and left in it, cut from
// an RGGB capture at an odd row, over an even and an odd number of rows.
TEST(SequenceOutput, AMosaicFitsDebayersUprightInItsColoursInSiril)
{
    if (!OnPath("siril-cli"))
        GTEST_SKIP() << "siril-cli is not installed: the check with Siril was skipped";
    struct Rgb {
        int r, g, b;
    };
    const auto picture = [](int x, int y) {
        if (x >= 18 && x < 30 && y >= 12 && y < 22)
            return Rgb{210, 40, 40};
        return (x - 32) * (x - 32) + (y - 24) * (y - 24) <= 20 * 20 ? Rgb{120, 120, 120} : Rgb{20, 20, 20};
    };
    for (const std::int32_t height : {48, 47}) {
        SCOPED_TRACE(height);
        TempDir dir;
        SampleFrame frame;
        frame.width = 64;
        frame.height = height;
        frame.layout = 8;   // RGGB from the capture's top-left sample
        frame.top = 1;
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < frame.width; ++x) {
                const Rgb c = picture(x, y);
                const bool redRow = (y + frame.top) % 2 == 0;
                const bool evenColumn = x % 2 == 0;
                frame.samples.push_back(std::uint8_t(redRow ? (evenColumn ? c.r : c.g) : (evenColumn ? c.g : c.b)));
            }
        SequenceOutput sequence(OutputFormat::Fits, "orbicrop-test");
        StagedOutput staged(sequence);
        staged.open(dir.file("cap_orbic"), frame.width, height, true);
        staged.addSamples(frame, std::nullopt, 0);
        staged.close();
        ASSERT_TRUE(staged.placed());
        EXPECT_EQ(ReadFits(dir.file("cap_orbic/cap_orbic_000000.fits")).samples, frame.samples);

        std::filesystem::create_directory(dir.file("deb"));
        std::ofstream(dir.file("check.ssf")) << "requires 1.0.0\ncd cap_orbic\nconvert deb -debayer -out=../deb\n"
                                                "cd ../deb\nload deb_00001\nsavetif ../siril\n";
        const CommandResult r =
            RunCommand("cd " + ShellQuote(dir.path()) + " && " + SirilCli(dir) + " -s check.ssf", dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const ReadBack shown = ReadTiff(dir.file("siril.tif"));
        ASSERT_EQ(shown.width, frame.width);
        ASSERT_EQ(shown.height, height);
        ASSERT_EQ(shown.planes, 3);
        ASSERT_EQ(shown.bits, 16);
        const auto at = [&](int x, int y, int p) {
            const std::size_t i =
                ((std::size_t(y) * std::size_t(shown.width) + std::size_t(x)) * 3 + std::size_t(p)) * 2;
            return double(shown.samples[i] | shown.samples[i + 1] << 8);
        };
        // Two pixels in from each edge the colours owe nothing to the
        // neighbours. A wrong pattern turns the patch green and striped, and
        // a picture upside down puts grey disc where the patch should be.
        int notRed = 0;
        for (int y = 14; y < 20; ++y)
            for (int x = 20; x < 28; ++x)
                notRed += at(x, y, 0) > 4 * std::max(at(x, y, 1), at(x, y, 2)) ? 0 : 1;
        EXPECT_EQ(notRed, 0) << "of the patch's 48 pixels";
        int notGrey = 0;
        for (int y = 28; y < 38; ++y)
            for (int x = 32; x < 44; ++x) {
                const double green = at(x, y, 1);
                const bool grey =
                    std::abs(at(x, y, 0) - green) <= 0.03 * green && std::abs(at(x, y, 2) - green) <= 0.03 * green;
                notGrey += grey ? 0 : 1;
            }
        EXPECT_EQ(notGrey, 0) << "of the disc's 120 pixels";
    }
}
