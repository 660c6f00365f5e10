// SPDX-License-Identifier: GPL-3.0-or-later
// --levels end to end: a dim 12-bit capture stretched over the 8-bit
// output, the full span equal to the top 8 bits, and the samples of a SER
// output left as the source holds them.

#include "support/decoded_video.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

constexpr int kSide = 96;
constexpr double kRadius = 34.0;

// A disc darkened towards its limb on a faint sky, exposed to a quarter of 12 bits
// (sky 100, centre 1100 of 4095), moving by whole pixels; a hot pixel
// shows the source the samples' depth, as it would on a real sensor, and
// must not set the span of auto levels.
SerClip DimCapture()
{
    SerClip clip;
    clip.width = 160;
    clip.height = 120;
    clip.depth = 12;
    for (int f = 0; f < 4; ++f)
        clip.addFrame([f](int x, int y, int) {
            if (x == 3 && y == 3)
                return 4000;
            const double r = std::hypot(x - 80.0 - f, y - 60.0) / kRadius;
            return 100 + (r < 1.0 ? int(std::lround(1000.0 * (1.0 - r * r))) : 0);
        });
    return clip;
}

// The distinct values inside the disc of the first frame of a grey output,
// the disc centred in it.
std::size_t LevelsOnDisc(const std::string& grey)
{
    std::set<unsigned char> seen;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            if (std::hypot(x - kSide / 2.0, y - kSide / 2.0) < kRadius - 2.0)
                seen.insert(static_cast<unsigned char>(grey[std::size_t(y) * kSide + std::size_t(x)]));
    return seen.size();
}

}   // namespace

TEST(CliLevels, AutoStretchesADimCaptureAndTheFullSpanIsTheTopEightBits)
{
    TempDir dir;
    dir.write("dim.ser", DimCapture().bytes());
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 96 -H 96 ";
    const auto plain = RunCommand(cli + "-o plain dim.ser", dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto stretched = RunCommand(cli + "--levels auto --report r.json -o auto dim.ser", dir.path());
    ASSERT_EQ(stretched.status, 0) << stretched.err;
    const auto full = RunCommand(cli + "--levels 0:4095 -o full dim.ser", dir.path());
    ASSERT_EQ(full.status, 0) << full.err;

    EXPECT_NE(stretched.out.find(" - Levels 100 to "), std::string::npos) << stretched.out;
    EXPECT_NE(stretched.out.find(" of 4095 (auto) for 8-bit output"), std::string::npos) << stretched.out;
    std::ifstream report(dir.file("r.json"));
    const std::string json((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"levels\": \"auto\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"levels\": {\"black\": 100, "), std::string::npos) << json;
    const std::string before = DecodeWithFfmpeg(dir.file("plain/dim_Y8orbic.avi"), "gray", dir.path());
    const std::string after = DecodeWithFfmpeg(dir.file("auto/dim_Y8orbic.avi"), "gray", dir.path());
    ASSERT_EQ(before.size(), 4u * kSide * kSide);
    ASSERT_EQ(after.size(), before.size());
    std::printf("levels on the disc: %zu of the top 8 bits, %zu with auto levels\n", LevelsOnDisc(before),
                LevelsOnDisc(after));
    EXPECT_GE(LevelsOnDisc(after), 200u);
    EXPECT_EQ(DecodeWithFfmpeg(dir.file("full/dim_Y8orbic.avi"), "gray", dir.path()), before);
}

TEST(CliLevels, SerOutputKeepsTheSourceSamples)
{
    TempDir dir;
    dir.write("dim.ser", DimCapture().bytes());
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 96 -H 96 --format ser ";
    const auto plain = RunCommand(cli + "-o plain dim.ser", dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto levelled = RunCommand(cli + "--levels 300:700:2 -o levelled dim.ser", dir.path());
    ASSERT_EQ(levelled.status, 0) << levelled.err;
    const SerFileContents before = ReadSerFile(dir.file("plain/dim_orbic.ser"));
    const SerFileContents after = ReadSerFile(dir.file("levelled/dim_orbic.ser"));
    EXPECT_EQ(after.depth, 12);
    ASSERT_EQ(after.frameCount, 4);
    EXPECT_EQ(after.frames, before.frames);
}

// Colour sources too: a dim raw mosaic debayered and a dim RGB capture come
// out bright under auto levels, where their top 8 bits leave them dark.
TEST(CliLevels, AutoBrightensDimMosaicAndRgbCaptures)
{
    TempDir dir;
    for (const std::int32_t colourId : {8, 100}) {
        SerClip clip = DimCapture();
        clip.colourId = colourId;
        clip.frames.clear();
        for (int f = 0; f < 4; ++f)
            clip.addFrame([f, colourId](int x, int y, int plane) {
                if (x == 3 && y == 3)
                    return 4000;   // the hot pixel that shows the depth, as above
                const double r = std::hypot(x - 80.0 - f, y - 60.0) / kRadius;
                // Red, green and blue (RGGB sites, or samples) at levels of their own.
                const int colour = colourId == 8 ? (x % 2) + (y % 2) : plane;
                return 100 + (r < 1.0 ? int(std::lround((700.0 + 200.0 * colour) * (1.0 - r * r))) : 0);
            });
        dir.write(colourId == 8 ? "raw.ser" : "rgb.ser", clip.bytes());
    }
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 96 -H 96 --debayer ";
    const auto plain = RunCommand(cli + "-o plain raw.ser rgb.ser", dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto levelled = RunCommand(cli + "--levels auto -o auto raw.ser rgb.ser", dir.path());
    ASSERT_EQ(levelled.status, 0) << levelled.err;
    const auto brightest = [&dir](const std::string& video) {
        const std::string rgb = DecodeWithFfmpeg(dir.file(video), "rgb24", dir.path());
        unsigned char most = 0;
        for (const char c : rgb)
            most = std::max(most, static_cast<unsigned char>(c));
        return int(most);
    };
    for (const char* name : {"raw_orbic.avi", "rgb_orbic.avi"}) {
        EXPECT_LT(brightest(std::string("plain/") + name), 90) << name;
        EXPECT_GT(brightest(std::string("auto/") + name), 230) << name;
    }
}
