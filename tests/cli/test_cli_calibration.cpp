// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's calibration: masters made from captures, frames calibrated with
// them, hot pixels repaired, masters that do not fit refused.

#include "support/decoded_video.h"
#include "support/disc_video.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <fitsio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 96;
constexpr std::int32_t kHeight = 80;
constexpr std::int32_t kBias = 200;

std::string Cli(const std::string& args)
{
    return std::string(ORBICROP_CLI) + " -q " + args;
}

// Small noise that differs between frames and pixels but repeats between runs.
int Noise(std::int32_t x, std::int32_t y, std::int32_t frame)
{
    std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ std::uint32_t(frame) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return int(h % 7) - 3;
}

// A dust donut: a ring dimmed by 5 %.
double Donut(std::int32_t x, std::int32_t y)
{
    const double r = std::hypot(x - 70.0, y - 20.0);
    return r > 6.0 && r < 12.0 ? 0.95 : 1.0;
}

// Hot pixels at fixed places, each its own level, away from each other.
std::vector<std::pair<std::int32_t, std::int32_t>> HotPlaces()
{
    std::vector<std::pair<std::int32_t, std::int32_t>> places;
    for (std::int32_t i = 0; i < 60; ++i)
        places.emplace_back(3 + (i * 37) % (kWidth - 6), 3 + (i * 23) % (kHeight - 6));
    return places;
}

int Hot(std::int32_t x, std::int32_t y)
{
    static const auto places = HotPlaces();
    for (std::size_t i = 0; i < places.size(); ++i)
        if (places[i] == std::pair{x, y})
            return 2500 + int(i * 21);
    return 0;
}

// A Bayer RGGB site's own gain in the flat: red and blue pass less light.
double SiteGain(std::int32_t x, std::int32_t y)
{
    return x % 2 == 0 && y % 2 == 0 ? 0.6 : x % 2 == 1 && y % 2 == 1 ? 0.8 : 1.0;
}

// A sky of 300 and a disc of 1800 in the middle, through the donut.
double Scene(std::int32_t x, std::int32_t y)
{
    const double disc = std::hypot(x - 47.5, y - 39.5) < 18.0 ? 1500.0 : 0.0;
    return (300.0 + disc) * Donut(x, y);
}

SerClip Clip(int frames, const std::function<int(std::int32_t, std::int32_t, std::int32_t)>& sample)
{
    SerClip clip;
    clip.colourId = 8;   // RGGB
    clip.width = kWidth;
    clip.height = kHeight;
    clip.depth = 12;
    for (std::int32_t f = 0; f < frames; ++f)
        clip.addFrame(
            [&](std::int32_t x, std::int32_t y, std::int32_t) { return std::clamp(sample(x, y, f), 0, 4095); });
    return clip;
}

std::uint16_t At(const std::vector<std::uint8_t>& frame, std::int32_t x, std::int32_t y)
{
    const std::size_t i = (std::size_t(y) * kWidth + std::size_t(x)) * 2;
    return std::uint16_t(frame[i] | frame[i + 1] << 8);
}

// The hot pixels off the disc's edge (where the neighbours' median means
// nothing), and how many of them stand within 30 of the median of their
// neighbours of their own colour, two samples away.
std::pair<std::int32_t, std::int32_t> Repaired(const std::vector<std::uint8_t>& frame)
{
    std::int32_t repaired = 0;
    std::int32_t considered = 0;
    for (const auto& [x, y] : HotPlaces()) {
        if (std::abs(std::hypot(x - 47.5, y - 39.5) - 18.0) < 3.0)
            continue;
        ++considered;
        std::vector<int> around;
        for (const auto& [dx, dy] : {std::pair{-2, 0}, {2, 0}, {0, -2}, {0, 2}})
            around.push_back(At(frame, x + dx, y + dy));
        std::sort(around.begin(), around.end());
        if (std::abs(int(At(frame, x, y)) - (around[1] + around[2]) / 2) <= 30)
            ++repaired;
    }
    return {repaired, considered};
}

// A master as Siril writes it: 16-bit unsigned (BZERO 32768), or 32-bit
// floats normalised to [0, 1] by the 16-bit container's range (a 12-bit
// camera's 4095 is 0.0625 there); rows bottom-up.
void WriteSirilStyle(const std::string& path, const std::vector<float>& values, bool normalised)
{
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_file(&f, ("!" + path).c_str(), &status);
    long axes[2] = {kWidth, kHeight};
    fits_create_img(f, normalised ? FLOAT_IMG : USHORT_IMG, 2, axes, &status);
    char pattern[] = "RGGB";
    fits_update_key(f, TSTRING, "BAYERPAT", pattern, nullptr, &status);
    char order[] = "BOTTOM-UP";
    fits_update_key(f, TSTRING, "ROWORDER", order, nullptr, &status);
    std::vector<float> rows(values.size());
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            rows[std::size_t(kHeight - 1 - y) * kWidth + std::size_t(x)] = normalised
                ? values[std::size_t(y) * kWidth + std::size_t(x)] / 65535.0f
                : values[std::size_t(y) * kWidth + std::size_t(x)];
    fits_write_img(f, TFLOAT, 1, long(rows.size()), rows.data(), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << path;
}

class Calibration : public testing::Test {
protected:
    void SetUp() override
    {
        dir.write("jupiter.ser", Clip(8, [](std::int32_t x, std::int32_t y, std::int32_t f) {
                                     return kBias + int(std::lround(Scene(x, y))) + Hot(x, y) + Noise(x, y, f);
                                 }).bytes());
        dir.write("dark.ser", Clip(20, [](std::int32_t x, std::int32_t y, std::int32_t f) {
                                  return kBias + Hot(x, y) + Noise(x, y, f + 100);
                              }).bytes());
        dir.write("bias.ser", Clip(20, [](std::int32_t x, std::int32_t y, std::int32_t f) {
                                  return kBias + Noise(x, y, f + 200);
                              }).bytes());
        dir.write("flat.ser", Clip(20, [](std::int32_t x, std::int32_t y, std::int32_t f) {
                                  return kBias + int(std::lround(3000.0 * Donut(x, y) * SiteGain(x, y)))
                                      + Noise(x, y, f + 300);
                              }).bytes());
    }

    CommandResult run(const std::string& args) { return RunCommand(Cli(args), dir.path()); }
    std::string q(const std::string& name) { return ShellQuote(dir.file(name)); }
    void makeMasters()
    {
        for (const std::string& args :
             {"--make-master dark " + q("dark.fits") + " " + q("dark.ser"),
              "--make-master bias " + q("bias.fits") + " " + q("bias.ser"),
              "--make-master flat " + q("flat.fits") + " --bias " + q("bias.fits") + " " + q("flat.ser")}) {
            const auto r = run(args);
            ASSERT_EQ(r.status, 0) << args << "\n" << r.err << r.out;
        }
    }
    // The whole frame as SER, not moved: the disc stands in the middle.
    SerFileContents process(const std::string& calibration, const std::string& output)
    {
        const auto r = run("--format ser --full-frame -o " + q(output) + " " + calibration + " " + q("jupiter.ser"));
        EXPECT_EQ(r.status, 0) << r.err << r.out;
        return ReadSerFile(dir.file(output + "/jupiter_orbic.ser"));
    }

    TempDir dir;
};

TEST_F(Calibration, DarkFlatAndHotPixelsLeaveTheSceneWithoutDefectsOrDonut)
{
    makeMasters();

    const SerFileContents out = process("--track " + q("track.csv") + " --dark " + q("dark.fits") + " --flat "
                                            + q("flat.fits") + " --hot-pixels",
                                        "cal");
    ASSERT_EQ(out.frames.size(), 8u);
    // The disc was found in the middle, so the whole frame was not moved and
    // its places are the input's.
    const std::string track = ReadWholeFile(dir.file("track.csv"));
    const std::size_t line = track.find('\n') + 1;
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(track.c_str() + track.find(',', track.find(',', line) + 1) + 1, "%*[^,],%lf,%lf", &x, &y), 2)
        << track;
    ASSERT_NEAR(x, 47.5, 0.4) << track;
    ASSERT_NEAR(y, 39.5, 0.4) << track;
    EXPECT_EQ(out.depth, 12);
    const auto& frame = out.frames[0];
    const auto [repaired, considered] = Repaired(frame);
    EXPECT_GE(considered, 50);
    EXPECT_EQ(repaired, considered);
    // The donut's ring against the sky around it, on the green sites.
    double ring = 0, ringCount = 0, sky = 0, skyCount = 0;
    for (std::int32_t y = 2; y < 40; ++y)
        for (std::int32_t x = 52; x < 90; ++x) {
            if ((x + y) % 2 == 0 || Hot(x, y) != 0 || std::hypot(x - 47.5, y - 39.5) < 20.0)
                continue;
            const double r = std::hypot(x - 70.0, y - 20.0);
            if (r > 7.0 && r < 11.0)
                ring += At(frame, x, y), ++ringCount;
            else if (r > 14.0)
                sky += At(frame, x, y), ++skyCount;
        }
    const double residual = std::abs(ring / ringCount / (sky / skyCount) - 1.0);
    std::printf("donut residual %.3f %%\n", residual * 100.0);
    EXPECT_LT(residual, 0.005);
}

// Without a dark the hot pixels are found in the frames themselves: they
// stand out in the same place in every frame.
TEST_F(Calibration, HotPixelsFoundInTheFramesAreRepairedWithoutMasters)
{
    const SerFileContents out = process("--hot-pixels auto", "auto");
    ASSERT_EQ(out.frames.size(), 8u);
    const auto [repaired, considered] = Repaired(out.frames[0]);
    EXPECT_GE(considered, 50);
    EXPECT_EQ(repaired, considered);
}

// Siril's masters are taken as they are written, 16-bit integers or floats
// normalised to [0, 1]: the output is the one our own masters give.
TEST_F(Calibration, SirilStyleMastersGiveTheOutputOfOurOwn)
{
    const auto level = [](std::int32_t x, std::int32_t y) { return kBias + Hot(x, y); };
    dir.write("exact.ser", Clip(3, [&](std::int32_t x, std::int32_t y, std::int32_t) { return level(x, y); }).bytes());
    ASSERT_EQ(run("--make-master dark " + q("own.fits") + " " + q("exact.ser")).status, 0);
    std::vector<float> dark(std::size_t(kWidth) * kHeight);
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            dark[std::size_t(y) * kWidth + std::size_t(x)] = float(level(x, y));
    WriteSirilStyle(dir.file("dark16.fits"), dark, false);
    WriteSirilStyle(dir.file("dark32.fits"), dark, true);
    const SerFileContents own = process("--dark " + q("own.fits"), "own");
    ASSERT_EQ(own.frames.size(), 8u);
    EXPECT_EQ(process("--dark " + q("dark16.fits"), "sixteen").frames, own.frames);
    EXPECT_EQ(process("--dark " + q("dark32.fits"), "normalised").frames, own.frames);
    // And the calibration did something: the dark's level is gone.
    EXPECT_NE(own.frames, ReadSerFile(dir.file("jupiter.ser")).frames);
}

TEST_F(Calibration, AMasterOfAnotherSizeIsRefusedBeforeAnyOutput)
{
    // Frames of another kind do not go into one master.
    SerClip mono = Clip(2, [](std::int32_t, std::int32_t, std::int32_t) { return kBias; });
    mono.colourId = 0;
    dir.write("mono-dark.ser", mono.bytes());
    const auto mixed = run("--make-master dark " + q("mixed.fits") + " " + q("dark.ser") + " " + q("mono-dark.ser"));
    EXPECT_EQ(mixed.status, 3);
    EXPECT_NE(mixed.err.find("the frames of mono-dark.ser are 96 x 80, mono, 12-bit, those of dark.ser 96 x 80, a "
                             "RGGB mosaic, 12-bit"),
              std::string::npos)
        << mixed.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("mixed.fits")));
    // A master never takes the name of what it is made from.
    const std::string before = ReadWholeFile(dir.file("dark.ser"));
    const auto over = run("--make-master dark " + q("dark.ser") + " " + q("dark.ser"));
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("it is dark.ser, which the master is made from"), std::string::npos) << over.err;
    EXPECT_EQ(ReadWholeFile(dir.file("dark.ser")), before);

    SerClip small = Clip(3, [](std::int32_t, std::int32_t, std::int32_t) { return kBias; });
    small.width = 64;
    small.frames.clear();
    small.addFrame([](std::int32_t, std::int32_t, std::int32_t) { return kBias; });
    dir.write("small-dark.ser", small.bytes());
    ASSERT_EQ(run("--make-master dark " + q("small.fits") + " " + q("small-dark.ser")).status, 0);
    const auto r = run("--format ser -o " + q("out") + " --dark " + q("small.fits") + " " + q("jupiter.ser"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("small.fits is 64 x 80, jupiter.ser 96 x 80"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/jupiter_orbic.ser")));
}

// Masters of zeros and of one level change nothing: the calibrated output is
// the plain one, byte for byte.
TEST_F(Calibration, NeutralMastersLeaveTheOutputAsItWas)
{
    dir.write("zero.ser", Clip(4, [](std::int32_t, std::int32_t, std::int32_t) { return 0; }).bytes());
    dir.write("level.ser", Clip(4, [](std::int32_t, std::int32_t, std::int32_t) { return 1000; }).bytes());
    ASSERT_EQ(run("--make-master dark " + q("zero.fits") + " " + q("zero.ser")).status, 0);
    ASSERT_EQ(run("--make-master flat " + q("level.fits") + " " + q("level.ser")).status, 0);
    const SerFileContents plain = process("", "plain");
    const SerFileContents neutral = process("--dark " + q("zero.fits") + " --flat " + q("level.fits"), "neutral");
    EXPECT_EQ(plain.frames, neutral.frames);
    const auto avi =
        run("-o " + q("avi") + " --dark " + q("zero.fits") + " --flat " + q("level.fits") + " " + q("jupiter.ser"));
    const auto plainAvi = run("-o " + q("plainavi") + " " + q("jupiter.ser"));
    ASSERT_EQ(avi.status, 0) << avi.err;
    ASSERT_EQ(plainAvi.status, 0) << plainAvi.err;
    EXPECT_EQ(ReadWholeFile(dir.file("avi/jupiter_orbic.avi")), ReadWholeFile(dir.file("plainavi/jupiter_orbic.avi")));
}

// 8-bit videos hand over only their picture: a grey AVI is calibrated on its
// one plane, a colour one on its three; either way the hot pixels of the
// dark leave the output, which is otherwise the sky and the disc less the dark.
TEST_F(Calibration, EightBitVideosAreCalibratedOnTheirPicture)
{
    const auto hot = [](std::int32_t x, std::int32_t y) { return (x == 10 && y == 12) || (x == 80 && y == 60); };
    for (const bool gray : {true, false}) {
        SCOPED_TRACE(gray ? "grey" : "colour");
        const std::string kind = gray ? "grey" : "colour";
        WritePaintedAvi(dir.file(kind + "-dark.avi"), kWidth, kHeight, 4, gray,
                        [&](std::int32_t, std::int32_t x, std::int32_t y) { return hot(x, y) ? 250 : 20; });
        WritePaintedAvi(dir.file(kind + ".avi"), kWidth, kHeight, 4, gray,
                        [&](std::int32_t, std::int32_t x, std::int32_t y) {
                            const bool disc = std::hypot(x - 47.5, y - 39.5) < 18.0;
                            return hot(x, y) ? 250 : disc ? 200 : 20;
                        });
        ASSERT_EQ(run("--make-master dark " + q(kind + "-dark.fits") + " " + q(kind + "-dark.avi")).status, 0);
        const auto r = run(std::string(gray ? "" : "--color ") + "--format ser --full-frame -o " + q(kind) + " --dark "
                           + q(kind + "-dark.fits") + " --hot-pixels " + q(kind + ".avi"));
        ASSERT_EQ(r.status, 0) << r.err;
        const SerFileContents out = ReadSerFile(dir.file(kind + "/" + kind + "_orbic.ser"));
        ASSERT_EQ(out.frames.size(), 4u);
        const std::size_t planes = gray ? 1 : 3;
        ASSERT_EQ(out.colourId >= 100, !gray);
        const auto at = [&](std::int32_t x, std::int32_t y) {
            return out.frames[0][(std::size_t(y) * kWidth + std::size_t(x)) * planes];
        };
        EXPECT_EQ(at(10, 12), 0);   // a hot pixel on the sky: the sky less the dark
        EXPECT_EQ(at(80, 60), 0);
        EXPECT_EQ(at(47, 39), 180);   // the disc less the dark
        EXPECT_EQ(at(2, 2), 0);
    }
}

}   // namespace
