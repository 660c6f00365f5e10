// SPDX-License-Identifier: GPL-3.0-or-later
// Colour cameras and large fields, end to end through the process action:
// raw mosaics kept in phase or debayered, colour chosen per file, whole-frame
// and large outputs.

#include "run/actions.h"

#include "avi/avi_writer.h"
#include "output/avi_output.h"
#include "output/ser_output.h"
#include "support/decoded_video.h"
#include "support/disc_video.h"
#include "support/recording_host.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <set>

namespace {

// A raw RGGB capture of a colour scene: a white disc (200) with a red patch
// (200, 30, 30) at its middle on a dark sky, moving by odd steps so that the
// planet's centre takes odd and even columns and rows. Samples are scaled by
// scale (16 for 12-bit data).
SerClip RawColourCapture(std::int32_t depth, std::int32_t scale, std::int32_t frames = 6)
{
    SerClip clip;
    clip.colourId = 8;   // RGGB
    clip.depth = depth;
    clip.width = 96;
    clip.height = 80;
    for (std::int32_t f = 0; f < frames; ++f) {
        const double cx = 40.0 + 3 * f, cy = 36.0 + f;
        clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t) {
            const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 14 * 14;
            const bool patch = std::abs(x - cx) <= 3.5 && std::abs(y - cy) <= 3.5;
            const bool redSite = x % 2 == 0 && y % 2 == 0;
            const bool greenSite = (x + y) % 2 == 1;
            const std::int32_t value = !disc ? 10 : !patch ? 200 : redSite ? 200 : greenSite ? 30 : 30;
            return value * scale;
        });
    }
    return clip;
}

struct ColourRun {
    TempDir dir;
    TProcessingState state;
    RecordingHost host;
    TAviWriter writer{0, 0};
    AviOutput avi{writer};
    SerOutput ser{false};

    ColourRun()
    {
        state.blockSize = kBlockSize;
        host.chosen.widthPosition = 3;   // 48 x 32
        host.chosen.heightPosition = 2;
    }
    BatchResult process(std::vector<std::string> inputs, bool serFormat = false)
    {
        host.chosenFiles = std::move(inputs);
        state.autoColorPending = true;
        EXPECT_TRUE(RunTestAction(state, host));
        host.frames.clear();
        return RunProcessAction(state, host, serFormat ? static_cast<BatchOutput&>(ser) : avi);
    }
    bool logged(const std::string& text) const
    {
        return std::any_of(host.log.begin(), host.log.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};

// Every output of a raw capture keeps the mosaic's phase: the sample at the
// crop's centre (an even column and row) is a red site in every frame.
TEST(MosaicRun, EveryOutputFormatKeepsTheBayerPhaseOfAMovingPlanet)
{
    for (const bool serFormat : {false, true}) {
        ColourRun run;
        run.host.chosen.autoColor = false;
        run.host.chosen.grayscale = true;
        SerClip clip;
        clip.colourId = 8;
        clip.width = 96;
        clip.height = 80;
        for (std::int32_t f = 0; f < 8; ++f) {
            const double cx = 37.0 + 3 * f, cy = 35.0 + f;
            clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t) {
                const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 12 * 12;
                return !disc ? 8 : (x % 2 == 0 && y % 2 == 0) ? 240 : 120;
            });
        }
        const std::string input = run.dir.write("jup.ser", clip.bytes());
        ASSERT_EQ(run.process({input}, serFormat).completed, 1);
        EXPECT_TRUE(run.logged("Bayer RGGB: crop kept on even offsets"));

        std::vector<std::string> frames;
        if (serFormat) {
            const SerFileContents out = ReadSerFile(run.dir.file("jup_orbic.ser"));
            EXPECT_EQ(out.colourId, 8);
            for (const auto& f : out.frames)
                frames.emplace_back(f.begin(), f.end());
        } else {
            const std::string all = DecodeWithFfmpeg(run.dir.file("jup_Y8orbic.avi"), "gray", run.dir.path());
            for (std::size_t at = 0; at + 48 * 32 <= all.size(); at += 48 * 32)
                frames.push_back(all.substr(at, 48 * 32));
        }
        ASSERT_EQ(frames.size(), 8u) << (serFormat ? "ser" : "avi");
        for (std::size_t f = 0; f < frames.size(); ++f) {
            EXPECT_EQ(std::uint8_t(frames[f][16 * 48 + 24]), 240) << "frame " << f;
            EXPECT_EQ(std::uint8_t(frames[f][16 * 48 + 25]), 120) << "frame " << f;
        }
        for (const FrameRecord& record : run.host.frames)
            EXPECT_EQ(record.mosaic, 8);
    }
}

// Debayered output is colour at odd and even crop offsets alike: the patch
// stays red and the disc white, whatever site the crop starts on.
TEST(MosaicRun, DebayeredOutputKeepsWhiteWhiteAndRedRed)
{
    for (const bool serFormat : {false, true}) {
        ColourRun run;
        run.host.chosen.colour.debayer = true;
        const std::int32_t scale = serFormat ? 16 : 1;
        const std::string input = run.dir.write("mars.ser", RawColourCapture(serFormat ? 12 : 8, scale).bytes());
        ASSERT_EQ(run.process({input}, serFormat).completed, 1);
        EXPECT_TRUE(run.logged("Bayer RGGB: debayered"));

        std::vector<std::vector<double>> frames;   // blue, green, red per pixel, top-down, 0..1
        if (serFormat) {
            const SerFileContents out = ReadSerFile(run.dir.file("mars_orbic.ser"));
            EXPECT_EQ(out.colourId, 101);   // BGR
            EXPECT_EQ(out.depth, 12);
            for (const auto& f : out.frames) {
                std::vector<double> pixels;
                for (std::size_t i = 0; i + 1 < f.size(); i += 2)
                    pixels.push_back((f[i] | f[i + 1] << 8) / (200.0 * scale));
                frames.push_back(pixels);
            }
        } else {
            const std::string all = DecodeWithFfmpeg(run.dir.file("mars_orbic.avi"), "bgr24", run.dir.path());
            for (std::size_t at = 0; at + 48 * 32 * 3 <= all.size(); at += 48 * 32 * 3) {
                std::vector<double> pixels;
                for (std::size_t i = 0; i < 48 * 32 * 3; ++i)
                    pixels.push_back(std::uint8_t(all[at + i]) / 200.0);
                frames.push_back(pixels);
            }
        }
        ASSERT_EQ(frames.size(), 6u);
        std::set<std::int64_t> offsetParities;
        for (const FrameRecord& record : run.host.frames)
            offsetParities.insert(std::llround(record.centerX) % 2);
        EXPECT_EQ(offsetParities.size(), 2u) << "the crop took odd and even columns";
        for (const auto& f : frames) {
            const auto at = [&](int x, int y, int c) { return f[std::size_t((y * 48 + x) * 3 + c)]; };
            // The patch, at the crop's centre.
            EXPECT_GT(at(24, 16, 2), 0.9);
            EXPECT_LT(at(24, 16, 1), 0.25);
            EXPECT_LT(at(24, 16, 0), 0.25);
            // The disc, between the patch and the limb.
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(at(33, 16, c), 1.0, 0.03) << "channel " << c;
        }
    }
}

// With the automatic choice, each file of a batch gets its own mode: a mono
// capture then a colour video give a greyscale then a colour output.
TEST(ColourPerFile, AMonoCaptureThenAColourVideoGiveY8ThenRgb24)
{
    ColourRun run;
    SerClip mono;
    mono.width = 160;
    mono.height = 120;
    for (std::int32_t f = 0; f < 4; ++f)
        mono.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t) {
            return (x - 60 - f) * (x - 60 - f) + (y - 60) * (y - 60) <= 100 ? 200 : 8;
        });
    DiscClip colour;
    colour.red = 230;
    colour.blue = 90;
    const std::string first = run.dir.write("mono.ser", mono.bytes());
    const std::string second = run.dir.file("colour.avi");
    colour.write(second, 4);

    const BatchResult result = run.process({first, second});
    ASSERT_EQ(result.completed, 2);
    EXPECT_EQ(Probe(run.dir.file("mono_Y8orbic.avi"), run.dir.path()).pixelFormat, "gray");
    EXPECT_EQ(Probe(run.dir.file("colour_orbic.avi"), run.dir.path()).pixelFormat, "bgr24");
    EXPECT_TRUE(run.logged("Output mode from the first frames of colour.avi: colour"));
    EXPECT_TRUE(result.files[0].grayscale);
    EXPECT_FALSE(result.files[1].grayscale);
}

// Large fields: a size beyond the sliders, a whole frame that follows the
// planet with black where it uncovers the border, and a word when the
// output is larger than its input.
TEST(LargeField, SizesBeyondTheSlidersAndTheWholeFrame)
{
    // A clip of width x height whose planet moves right, processed at 1024 x 768.
    const auto run = [](ColourRun& r, std::int32_t width, std::int32_t height) {
        r.host.chosen.autoColor = false;
        r.host.chosen.widthPosition = 1024 / 16;
        r.host.chosen.heightPosition = 768 / 16;
        DiscClip clip;
        clip.width = width;
        clip.height = height;
        clip.radius = width / 32.0;
        clip.path = [width](std::int32_t frame, double& cx, double& cy) {
            cx = width / 2 + 8 * frame;
            cy = 300.0;
        };
        const std::string input = r.dir.file("moon.avi");
        clip.write(input, 3);
        return r.process({input}).completed == 1;
    };
    ColourRun hd;
    ASSERT_TRUE(run(hd, 1920, 1080));
    EXPECT_EQ(Probe(hd.dir.file("moon_orbic.avi"), hd.dir.path()).width, 1024);
    EXPECT_FALSE(hd.logged("larger than the input"));

    hd.host.chosen.fullFrame = true;
    hd.host.chosen.centring.surface = true;
    ASSERT_TRUE(run(hd, 1920, 1080));
    const ProbedStream whole = Probe(hd.dir.file("moon_orbic.avi"), hd.dir.path());
    EXPECT_EQ(whole.width, 1920);
    EXPECT_EQ(whole.height, 1080);

    ColourRun sd;
    ASSERT_TRUE(run(sd, 800, 600));
    EXPECT_TRUE(
        sd.logged("The output, 1024 \u00d7 768, is larger than the input, 800 \u00d7 600: its border will be black"));
}

}   // namespace

// Asked to find the mosaic, a SER header that names one is still taken at
// its word, even when the data reads as another phase; the same data in a
// SER saved as mono is read for its own phase.
TEST(MosaicRun, AutoBayerKeepsTheSerHeadersPatternAndReadsMonoOnes)
{
    ColourRun run;
    run.host.chosen.autoColor = false;
    run.host.chosen.grayscale = true;
    run.host.chosen.colour.detectBayer = true;
    SerClip clip;
    clip.width = 96;
    clip.height = 80;
    for (std::int32_t f = 0; f < 6; ++f)
        clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t) {
            const bool disc = (x - 40 - f) * (x - 40 - f) + (y - 36) * (y - 36) <= 14 * 14;
            const char site = NameOf(BayerPattern::Grbg)[std::size_t((y % 2) * 2 + x % 2)];
            return !disc ? 8 : site == 'R' ? 220 : site == 'G' ? 150 : 80;
        });
    const std::string mono = run.dir.write("mono.ser", clip.bytes());
    clip.colourId = 8;   // RGGB
    const std::string named = run.dir.write("named.ser", clip.bytes());
    ASSERT_EQ(run.process({named, mono}).completed, 2);

    std::vector<std::string> said;
    for (const std::string& line : run.host.log)
        if (line.rfind("Opening file", 0) == 0 || line.find("Bayer") != std::string::npos)
            said.push_back(line);
    // The test plays the first file before the batch does.
    ASSERT_GE(said.size(), 5u);
    said.erase(said.begin(), said.end() - 5);
    // The disc's edge cuts cells, so the greens agree a little short of 1;
    // red and blue as 80 to 220.
    EXPECT_TRUE(std::regex_match(said[3],
                                 std::regex(" - Bayer GRBG found in the data \\(green sites agree "
                                            "(0\\.9[5-9]|1\\.00), others 0\\.3[5-8]\\)")))
        << said[3];
    said[3] = "found";
    EXPECT_EQ(said,
              (std::vector<std::string>{"Opening file named.ser", " - Bayer RGGB: crop kept on even offsets",
                                        "Opening file mono.ser", "found", " - Bayer GRBG: crop kept on even offsets"}));
}
