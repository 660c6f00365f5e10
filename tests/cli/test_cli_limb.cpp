// SPDX-License-Identifier: GPL-3.0-or-later
// Centring on the limb and sizing from the planet, end to end: a moving
// crescent followed by its disc's centre, large planets and rings that get
// an output holding them, and the word before a planet is cut.

#include "support/crescent.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kDiscRadius = 50.0;

// The true disc centre of frame f, picture coordinates (y from the top).
double TrueX(int f)
{
    return 96.3 + 0.37 * f;
}
double TrueY(int f)
{
    return 81.6 - 0.21 * f;
}

// A 120-degree crescent drifting by sub-pixel steps; frame 5 is a soft glow
// without an edge, as cloud over the limb leaves it.
SerClip CrescentCapture()
{
    SerClip clip;
    clip.width = 200;
    clip.height = 160;
    for (int f = 0; f < 10; ++f) {
        const auto light = [f](double x, double y) {
            if (f == 5)
                return std::max(0.0, 0.8 - std::hypot(x - TrueX(f), y - TrueY(f)) / 60.0);
            return CrescentShade(x - TrueX(f), y - TrueY(f), kDiscRadius, 120.0);
        };
        const auto picture = SeeingPicture(clip.width, clip.height, light, 1.5, 100u + std::uint32_t(f));
        clip.addFrame([&](int x, int y, int) { return picture[std::size_t(y) * 200 + std::size_t(x)]; });
    }
    return clip;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');)
        fields.push_back(field);
    return fields;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A capture of three frames of one painted object on a 640 x 480 sky.
template <class Paint>
SerClip Still(Paint paint)
{
    SerClip clip;
    clip.width = 640;
    clip.height = 480;
    for (int f = 0; f < 3; ++f)
        clip.addFrame([&](int x, int y, int) { return paint(x - 320 - f, y - 240); });
    return clip;
}

bool Inside(double x, double y, double rx, double ry)
{
    return (x * x) / (rx * rx) + (y * y) / (ry * ry) <= 1.0;
}

}   // namespace

// The written frames' centres are the disc's, not the light's; the cloudy
// frame is dropped as "no limb" and the others keep one radius.
TEST(CliLimb, CrescentIsCentredOnItsDisc)
{
    TempDir dir;
    dir.write("venus.ser", CrescentCapture().bytes());
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 128 -H 128 ";
    const auto r =
        RunCommand(cli + "--centre limb --format ser --track t.csv --report r.json -o out venus.ser", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Limb radius from the first frames: 5"), std::string::npos) << r.out;
    std::stringstream track(ReadWholeFile(dir.file("t.csv")));
    std::string line;
    std::getline(track, line);
    ASSERT_EQ(Fields(line).back(), "limb_radius");
    for (int f = 0; std::getline(track, line); ++f) {
        const auto fields = Fields(line);
        ASSERT_GE(fields.size(), 8u) << line;
        if (f == 5) {
            EXPECT_EQ(fields[7], "no limb");
            continue;
        }
        ASSERT_EQ(fields.size(), 10u) << line;   // utc before the limb's radius
        EXPECT_EQ(fields[7], "written") << line;
        EXPECT_NEAR(std::stod(fields[3]), TrueX(f), 0.5) << line;
        EXPECT_NEAR(std::stod(fields[4]), TrueY(f), 0.5) << line;
        EXPECT_NEAR(std::stod(fields[9]), kDiscRadius, 1.5) << line;
    }
    const auto dropped =
        RunCommand("jq -c '.files[0].frames.dropped.no_limb' " + ShellQuote(dir.file("r.json")), dir.path());
    EXPECT_EQ(dropped.out, "1\n");
}

// Jupiter 240 pixels wide and Saturn with its rings get outputs that hold
// them with --size auto and the warning at the default size; a small planet
// gets none.
TEST(CliSize, AutoHoldsLargePlanetsAndTheDefaultSaysItCuts)
{
    TempDir dir;
    dir.write("jupiter.ser", Still([](int x, int y) { return Inside(x, y, 120, 112) ? 180 : 10; }).bytes());
    dir.write("saturn.ser", Still([](int x, int y) {
                                const bool ring = Inside(x, y, 150, 45) && !Inside(x, y, 100, 30);
                                return Inside(x, y, 60, 54) ? 180 : ring ? 140 : 10;
                            }).bytes());
    dir.write("mars.ser", Still([](int x, int y) { return Inside(x, y, 30, 30) ? 180 : 10; }).bytes());
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q --report r.json ";
    const auto fixed = RunCommand(cli + "-o fixed jupiter.ser saturn.ser mars.ser", dir.path());
    ASSERT_EQ(fixed.status, 0) << fixed.err;
    EXPECT_EQ(Count(fixed.out,
                    " px, is larger than the 192 \u00d7 192 output: its edge will be cut. Choose a larger "
                    "size or --size auto\n"),
              2u)
        << fixed.out;
    EXPECT_NE(fixed.out.find("The planet, 24"), std::string::npos) << fixed.out;

    const auto sized = RunCommand(cli + "--size auto -o auto jupiter.ser saturn.ser mars.ser", dir.path());
    ASSERT_EQ(sized.status, 0) << sized.err;
    EXPECT_EQ(sized.out.find("is larger than"), std::string::npos) << sized.out;
    const auto sizes = RunCommand("jq -c '[.files[].output_size]' " + ShellQuote(dir.file("r.json")), dir.path());
    // Objects of 241 x 225, 301 x 109 (the rings' width, the globe's height)
    // and 61 x 61 pixels, measured by the blocks that reach them (up to a
    // block beyond the edge), a quarter more, up to a multiple of 16.
    EXPECT_EQ(sizes.out, "[[320,288],[384,144],[96,96]]\n") << ReadWholeFile(dir.file("r.json"));
    EXPECT_EQ(Count(sized.out, "Output size from the planet: "), 3u) << sized.out;
    EXPECT_NE(sized.out.find("Output size from the planet: 384 \u00d7 144\n"), std::string::npos) << sized.out;
}
