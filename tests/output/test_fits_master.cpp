// SPDX-License-Identifier: GPL-3.0-or-later
// Master frames as FITS: our own written and read back, files of the kinds
// other programs write made here with cfitsio, and Siril's own.

#include "stills/fits_master.h"

#include "fileio/program_module.h"
#include "support/siril.h"
#include "support/cfitsio_image.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <fitsio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using orbicrop::stills::FitsMaster;
using orbicrop::stills::ReadFitsMaster;
using orbicrop::stills::StillError;
using orbicrop::stills::WriteFitsMaster;

// Every value its own, no two rows or planes alike, fractions kept.
FitsMaster Picture(std::int32_t width, std::int32_t height, std::int32_t planes)
{
    FitsMaster m;
    m.width = width;
    m.height = height;
    m.planes = planes;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            for (std::int32_t p = 0; p < planes; ++p)
                m.values.push_back(float(y * 1000 + x * 10 + p) + 0.25f);
    return m;
}

std::vector<std::string> NamesIn(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.root()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A FITS file as cfitsio shows it, for what our reader would hide: keys as
// written ("'RGGB    '", "25"; empty when absent) and values where stored.
class RawFits {
public:
    explicit RawFits(const std::string& path) { fits_open_diskfile(&m_file, path.c_str(), READONLY, &m_status); }
    ~RawFits() { fits_close_file(m_file, &m_status); }
    RawFits(const RawFits&) = delete;
    RawFits& operator=(const RawFits&) = delete;

    std::string key(const char* name)
    {
        char value[FLEN_VALUE] = {};
        int status = 0;
        fits_read_keyword(m_file, name, value, nullptr, &status);
        return value;
    }
    float at(LONGLONG x, LONGLONG storedRow, LONGLONG plane)
    {
        LONGLONG first[3] = {x + 1, storedRow + 1, plane + 1};
        float value = -1.0f;
        fits_read_pixll(m_file, TFLOAT, first, 1, nullptr, &value, nullptr, &m_status);
        return value;
    }

private:
    fitsfile* m_file = nullptr;
    int m_status = 0;
};

struct RoundTrip {
    const char* name;
    std::int32_t height;
    std::int32_t planes;
    const char* bayer;
    bool keys;
};

void PrintTo(const RoundTrip& c, std::ostream* os)
{
    *os << c.name;
}

class FitsMasterRoundTrip : public testing::TestWithParam<RoundTrip> {};

}   // namespace

// Written and read back: the values, the pattern (for odd and even heights),
// the keys. In the file: an older one replaced under a name cfitsio would
// otherwise read as instructions, rows bottom-up, colours as planes, and the
// pattern named as our stills name it.
TEST_P(FitsMasterRoundTrip, ComesBackAsWrittenAndIsStoredAsFitsHoldsIt)
{
    const RoundTrip c = GetParam();
    TempDir dir;
    const std::string path = dir.file("dark [1] !.fits");
    std::ofstream(path) << "an older file";
    FitsMaster m = Picture(5, c.height, c.planes);
    m.bayer = c.bayer;
    m.creator = "orbicrop-test 9.9";
    if (c.keys) {
        m.imageType = "Master Dark";
        m.combined = 25;
        m.depth = 12;
        m.exposureSeconds = 1.0 / 30;
        m.gain = 120.5;
    }
    WriteFitsMaster(path, m);
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"dark [1] !.fits"});

    const FitsMaster r = ReadFitsMaster(path);
    EXPECT_EQ(r.width, 5);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.planes, c.planes);
    EXPECT_EQ(r.values, m.values);
    EXPECT_EQ(r.bayer, m.bayer);
    EXPECT_EQ(r.imageType, m.imageType);
    EXPECT_EQ(r.combined, m.combined);
    EXPECT_EQ(r.depth, m.depth);
    EXPECT_EQ(r.exposureSeconds, m.exposureSeconds);
    EXPECT_EQ(r.gain, m.gain);
    EXPECT_EQ(r.creator, m.creator);
    EXPECT_EQ(r.bitpix, -32);
    EXPECT_EQ(r.maximum, *std::max_element(m.values.begin(), m.values.end()));

    RawFits raw(path);
    EXPECT_EQ(raw.key("NAXIS"), c.planes == 3 ? "3" : "2");
    EXPECT_EQ(raw.key("ROWORDER"), "'BOTTOM-UP'");
    EXPECT_EQ(raw.key("BAYERPAT"), *c.bayer ? "'" + std::string(c.bayer) + "    '" : "");
    EXPECT_EQ(raw.key("YBAYROFF"), *c.bayer ? "0" : "");
    EXPECT_EQ(raw.key("NCOMBINE"), c.keys ? "25" : "");
    EXPECT_EQ(raw.key("SRCDEPTH"), c.keys ? "12" : "");
    EXPECT_EQ(raw.key("GAIN").empty(), !c.keys);
    EXPECT_FALSE(raw.key("DATE").empty());
    // The first stored row is the picture's bottom one, the last plane blue.
    const std::size_t bottomRight = std::size_t(((c.height - 1) * 5 + 4) * c.planes + c.planes - 1);
    EXPECT_EQ(raw.at(4, 0, c.planes - 1), m.values[bottomRight]);
}

INSTANTIATE_TEST_SUITE_P(Masters, FitsMasterRoundTrip,
                         testing::Values(RoundTrip{"mono", 4, 1, "", false}, RoundTrip{"rggb", 5, 1, "RGGB", true},
                                         RoundTrip{"grbg", 4, 1, "GRBG", true}, RoundTrip{"gbrg", 5, 1, "GBRG", true},
                                         RoundTrip{"bggr", 4, 1, "BGGR", true}, RoundTrip{"rgb", 3, 3, "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct Foreign {
    const char* name;
    int type;   // cfitsio's image type
    int bitpix;
    double top;             // the largest value
    const char* rowOrder;   // null: no ROWORDER
    const char* bayer;      // null: no BAYERPAT
    int xOffset, yOffset;   // XBAYROFF, YBAYROFF
    const char* upright;    // the pattern from the upright top-left
};

void PrintTo(const Foreign& c, std::ostream* os)
{
    *os << c.name;
}

class FitsMasterForeign : public testing::TestWithParam<Foreign> {};

}   // namespace

// Each storage's values as cfitsio gives them (BZERO and BSCALE applied),
// upright whichever way the rows are stored, and the pattern from the
// upright top-left: beside a ROWORDER as named, moved by the offsets;
// without one, the first stored row's (Siril's reading), here the bottom
// row of an even height. Siril's count and exposure keys.
TEST_P(FitsMasterForeign, ReadsUprightWithTheValuesAndPatternMeant)
{
    const Foreign c = GetParam();
    TempDir dir;
    const std::string path = dir.file("master.fits");
    const bool whole = c.type != FLOAT_IMG && c.type != DOUBLE_IMG;
    std::vector<double> upright;
    for (int i = 0; i < 6 * 4; ++i)
        upright.push_back(whole ? std::round(c.top * i / 23) : c.top * i / 23);
    WriteWithCfitsio(path, c.type, {6, 4}, upright, c.rowOrder && std::string(c.rowOrder) == "TOP-DOWN",
                     [&](fitsfile* f, int* status) {
                         if (c.rowOrder)
                             fits_update_key_str(f, "ROWORDER", c.rowOrder, nullptr, status);
                         if (c.bayer)
                             fits_update_key_str(f, "BAYERPAT", c.bayer, nullptr, status);
                         int offsets[2] = {c.xOffset, c.yOffset};
                         fits_update_key(f, TINT, "XBAYROFF", &offsets[0], nullptr, status);
                         fits_update_key(f, TINT, "YBAYROFF", &offsets[1], nullptr, status);
                         int count = 7;
                         double exposure = 3.5;
                         fits_update_key(f, TINT, "STACKCNT", &count, nullptr, status);
                         fits_update_key(f, TDOUBLE, "EXPOSURE", &exposure, nullptr, status);
                     });
    const FitsMaster r = ReadFitsMaster(path);
    ASSERT_EQ(r.values.size(), upright.size());
    for (std::size_t i = 0; i < upright.size(); ++i)
        EXPECT_EQ(r.values[i], float(upright[i])) << i;
    EXPECT_EQ(r.bitpix, c.bitpix);
    EXPECT_EQ(r.maximum, float(c.top));
    EXPECT_EQ(r.bayer, c.upright);
    EXPECT_EQ(r.combined, 7);
    EXPECT_EQ(r.exposureSeconds, 3.5);
}

INSTANTIATE_TEST_SUITE_P(Storages, FitsMasterForeign,
                         testing::Values(Foreign{"unsigned16", USHORT_IMG, 16, 65535, nullptr, "RGGB", 0, 0, "GBRG"},
                                         Foreign{"normalised32", FLOAT_IMG, -32, 1.0, "TOP-DOWN", "RGGB", 1, 0, "GRBG"},
                                         Foreign{"byte", BYTE_IMG, 8, 255, "BOTTOM-UP", "grbg", 0, 1, "BGGR"},
                                         Foreign{"long32", LONG_IMG, 32, 1e6, nullptr, nullptr, 0, 0, ""},
                                         Foreign{"double", DOUBLE_IMG, -64, 3.0, "BOTTOM-UP", "BGGR", 1, 1, "RGGB"}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct Refusal {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* says;
};

void PrintTo(const Refusal& c, std::ostream* os)
{
    *os << c.name;
}

class FitsMasterRefusal : public testing::TestWithParam<Refusal> {};

}   // namespace

// What cannot be read as a master is refused with the file named and why.
TEST_P(FitsMasterRefusal, SaysWhichFileAndWhy)
{
    TempDir dir;
    const std::string path = dir.file("flat.fits");
    GetParam().make(path);
    try {
        ReadFitsMaster(path);
        ADD_FAILURE() << "read";
    } catch (const StillError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(path), std::string::npos) << what;
        EXPECT_NE(what.find(GetParam().says), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, FitsMasterRefusal,
    testing::Values(Refusal{"missing", [](const std::string&) {}, "there is no such file"},
                    Refusal{"text", [](const std::string& p) { std::ofstream(p) << "SIMPLE? no"; },
                            "it is not a FITS file"},
                    Refusal{"headerOnly", [](const std::string& p) { WriteWithCfitsio(p, FLOAT_IMG, {}, {}, false); },
                            "it holds no image"},
                    Refusal{"fourPlanes",
                            [](const std::string& p) {
                                WriteWithCfitsio(p, FLOAT_IMG, {2, 2, 4}, {}, false);
                            },
                            "its image has 4 planes"},
                    Refusal{"oneAxis", [](const std::string& p) { WriteWithCfitsio(p, FLOAT_IMG, {8}, {}, false); },
                            "its image has 1 axes"},
                    Refusal{"cutShort",
                            [](const std::string& p) {
                                WriteFitsMaster(p, Picture(50, 50, 1));
                                std::filesystem::resize_file(p, 5000);
                            },
                            "it is cut short"}),
    [](const auto& info) { return std::string(info.param.name); });

// A write refused part way (here a file size limit) leaves the older master
// as it was and nothing beside it; a master whose values do not fill its
// size is not written at all.
TEST(FitsMaster, AFailedWriteLeavesTheOlderMasterWhole)
{
    TempDir dir;
    const std::string path = dir.file("flat.fits");
    const FitsMaster older = Picture(4, 4, 1);
    WriteFitsMaster(path, older);
    const std::string error = InChildWithFileSizeLimit(20000, [&] {
        try {
            WriteFitsMaster(path, Picture(200, 200, 1));
            return std::string("written");
        } catch (const StillError& e) {
            return std::string(e.what());
        }
    });
    EXPECT_NE(error.find("Couldn't write the FITS file " + path), std::string::npos) << error;
    FitsMaster unfilled = Picture(4, 4, 1);
    unfilled.values.pop_back();
    EXPECT_THROW(WriteFitsMaster(path, unfilled), StillError);
    EXPECT_EQ(ReadFitsMaster(path).values, older.values);
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"flat.fits"});
}

// The module's two entry points, as a program finds them: a master written
// and read through them, and a failure given as text that fits its buffer,
// the caller's master left as it was.
TEST(FitsMaster, TheModuleReadsAndWritesWithItsErrorsAsText)
{
    const LoadedModule write = LoadModule(ORBICROP_STILLS_MODULE, kWriteMasterSymbol);
    const LoadedModule read = LoadModule(ORBICROP_STILLS_MODULE, kReadMasterSymbol);
    ASSERT_NE(write.entry, nullptr) << write.path << ": " << write.why;
    ASSERT_NE(read.entry, nullptr) << read.path << ": " << read.why;
    const auto writeMaster = reinterpret_cast<decltype(&orbicrop_write_master)>(write.entry);
    const auto readMaster = reinterpret_cast<decltype(&orbicrop_read_master)>(read.entry);
    TempDir dir;
    const FitsMaster m = Picture(3, 2, 3);
    char error[256] = {};
    ASSERT_EQ(writeMaster(dir.file("bias.fits").c_str(), &m, error, sizeof error), 0) << error;
    FitsMaster back;
    ASSERT_EQ(readMaster(dir.file("bias.fits").c_str(), &back, error, sizeof error), 0) << error;
    EXPECT_EQ(back.values, m.values);
    char small[12];
    EXPECT_NE(readMaster(dir.file("none.fits").c_str(), &back, small, sizeof small), 0);
    EXPECT_STREQ(small, "Couldn't re");
    EXPECT_EQ(back.values, m.values);
}

// Siril's own files made from our mosaic stills (6 x 5, an odd height): a
// frame it saved at 16 bits (unsigned, BZERO 32768) and a stack of three it
// saved as floats normalised to [0, 1]. Both read as the frames were:
// upright, the same values (the stack's 65535 times smaller), the same
// pattern; the stack with its count.
TEST(FitsMaster, SirilsFrameAndStackReadAsTheFramesTheyCameFrom)
{
    if (!OnPath("siril-cli"))
        GTEST_SKIP() << "siril-cli is not installed: the check with Siril was skipped";
    TempDir dir;
    std::filesystem::create_directory(dir.file("frames"));
    std::filesystem::create_directory(dir.file("seq"));
    std::vector<std::uint8_t> samples;
    std::vector<float> frame;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const int v = 1000 * y + 37 * x + 5;
            samples.push_back(std::uint8_t(v));
            samples.push_back(std::uint8_t(v >> 8));
            frame.push_back(float(v));
        }
    orbicrop::stills::StillImage still;
    still.samples = samples.data();
    still.width = 6;
    still.height = 5;
    still.bytesPerSample = 2;
    still.depth = 16;
    still.bayer = "GBRG";
    for (int f = 1; f <= 3; ++f)
        orbicrop::stills::WriteFitsStill(dir.file("frames/f_0000" + std::to_string(f) + ".fits"), still);
    std::ofstream(dir.file("make.ssf")) << "requires 1.0.0\ncd frames\nload f_00001\nsave ../saved\n"
                                           "convert seq -out=../seq\ncd ../seq\nstack seq rej 3 3 -nonorm\n";
    const CommandResult r =
        RunCommand("cd " + ShellQuote(dir.path()) + " && " + SirilCli(dir) + " -s make.ssf", dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const FitsMaster saved = ReadFitsMaster(dir.file("saved.fit"));
    EXPECT_EQ(saved.bitpix, 16);
    EXPECT_EQ(saved.values, frame);
    EXPECT_EQ(saved.maximum, 4190.0f);
    EXPECT_EQ(saved.bayer, "GBRG");
    const FitsMaster stacked = ReadFitsMaster(dir.file("seq/seq_stacked.fit"));
    EXPECT_EQ(stacked.bitpix, -32);
    EXPECT_EQ(stacked.combined, 3);
    EXPECT_EQ(stacked.bayer, "GBRG");
    ASSERT_EQ(stacked.values.size(), frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i)
        EXPECT_NEAR(stacked.values[i] * 65535.0f, frame[i], 0.05f) << i;
}
