// SPDX-License-Identifier: GPL-3.0-or-later
// Red and blue moved back onto green against the atmosphere's dispersion,
// through the process action: measured on each file's first frames,
// corrected in the 8-bit and the sample outputs, left alone where there is
// nothing to correct.

#include "run/actions.h"

#include "avi/avi_writer.h"
#include "output/avi_output.h"
#include "output/ser_output.h"
#include "support/decoded_video.h"
#include "support/dispersed_planet.h"
#include "support/recording_host.h"
#include "support/ser_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int32_t kFrames = 8;
constexpr std::int32_t kSide = 128;   // the output, 8 steps of 16

struct AlignRun {
    TempDir dir;
    TProcessingState state;
    RecordingHost host;
    TAviWriter writer{0, 0};
    AviOutput avi{writer};
    SerOutput ser{false};

    explicit AlignRun(AlignRgb align)
    {
        state.blockSize = kBlockSize;
        host.chosen.widthPosition = kSide / 16;
        host.chosen.heightPosition = kSide / 16;
        host.chosen.colour.alignRgb = align;
    }
    BatchResult process(const std::string& input, bool serFormat)
    {
        host.chosenFiles = {input};
        state.autoColorPending = true;
        EXPECT_TRUE(RunTestAction(state, host));
        host.frames.clear();
        return RunProcessAction(state, host, serFormat ? static_cast<BatchOutput&>(ser) : avi);
    }
    std::size_t logged(const std::string& text) const
    {
        return std::size_t(std::count_if(host.log.begin(), host.log.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
    }
    // The written frames as blue, green, red levels (of 255), rows top-down.
    std::vector<std::vector<double>> frames(const std::string& name, bool serFormat) const
    {
        std::vector<std::vector<double>> out;
        if (serFormat) {
            const SerFileContents ser = ReadSerFile(dir.file(name + "_orbic.ser"));
            const bool rgb = ser.colourId == 100;
            for (const auto& f : ser.frames) {
                std::vector<double> pixels(f.size() / 2);
                for (std::size_t i = 0; i < pixels.size(); ++i) {
                    const std::size_t c = i % 3, from = rgb ? i - c + (2 - c) : i;
                    pixels[i] = (f[2 * from] | f[2 * from + 1] << 8) / 16.0;
                }
                out.push_back(std::move(pixels));
            }
            return out;
        }
        const std::string all = DecodeWithFfmpeg(dir.file(name + "_orbic.avi"), "bgr24", dir.path());
        const std::size_t bytes = std::size_t(kSide) * kSide * 3;
        for (std::size_t at = 0; at + bytes <= all.size(); at += bytes) {
            std::vector<double> pixels(bytes);
            for (std::size_t i = 0; i < bytes; ++i)
                pixels[i] = std::uint8_t(all[at + i]);
            out.push_back(std::move(pixels));
        }
        return out;
    }
};

// Red and blue against green by centroids, averaged over the frames.
std::array<double, 4> MeanOffsets(const std::vector<std::vector<double>>& frames, std::int32_t width,
                                  std::int32_t height)
{
    std::array<double, 4> mean{};
    for (const auto& f : frames) {
        const auto o = CentroidOffsets(f, width, height, 48.0, DispersedPlanet::kSky);
        for (std::size_t i = 0; i < 4; ++i)
            mean[i] += o[i] / double(frames.size());
    }
    return mean;
}

std::vector<double> Levels(const std::vector<std::uint8_t>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

}   // namespace

// The measured dispersion is the one drawn, and after the correction red
// and blue lie on green within a tenth of a pixel, as their centroids tell,
// in an RGB24 AVI and a 12-bit RGB SER alike.
TEST(AlignRgbRun, DispersionIsMeasuredAndCorrectedInEveryColourOutput)
{
    const DispersedPlanet planet;
    std::vector<std::vector<double>> input;
    for (std::int32_t f = 0; f < kFrames; ++f)
        input.push_back(Levels(planet.frame(f)));
    const auto drawn = MeanOffsets(input, planet.width, planet.height);
    std::printf("input by centroids: R %+.3f, %+.3f; B %+.3f, %+.3f\n", drawn[0], drawn[1], drawn[2], drawn[3]);
    for (const bool serFormat : {false, true}) {
        AlignRun run(AlignRgb::Correct);
        const std::string input =
            serFormat ? run.dir.write("mars.ser", planet.ser(kFrames).bytes()) : run.dir.file("mars.avi");
        if (!serFormat)
            planet.writeAvi(input, kFrames);
        const BatchResult result = run.process(input, serFormat);
        ASSERT_EQ(result.completed, 1);
        ASSERT_TRUE(result.files[0].dispersion);
        const Dispersion& d = *result.files[0].dispersion;
        std::printf("%s measured: R %+.3f, %+.3f; B %+.3f, %+.3f\n", serFormat ? "ser" : "avi", d.red.x, d.red.y,
                    d.blue.x, d.blue.y);
        EXPECT_EQ(run.logged(DispersionLine(d)), 1u);
        const auto frames = run.frames("mars", serFormat);
        ASSERT_EQ(frames.size(), std::size_t(kFrames));
        const auto left = MeanOffsets(frames, kSide, kSide);
        std::printf("%s residual by centroids: R %+.3f, %+.3f; B %+.3f, %+.3f\n", serFormat ? "ser" : "avi", left[0],
                    left[1], left[2], left[3]);
        for (const double residual : left)
            EXPECT_LE(std::fabs(residual), 0.1) << (serFormat ? "ser" : "avi");
    }
}

// Without dispersion the measurement finds next to nothing and the
// correction changes no pixel by more than a level; a mono capture is only
// told that there is nothing to align.
TEST(AlignRgbRun, APlanetWithoutDispersionOrColourIsLeftAsItIs)
{
    DispersedPlanet planet;
    planet.red = planet.blue = {0.0, 0.0};
    AlignRun aligned(AlignRgb::Correct), plain(AlignRgb::Off);
    planet.writeAvi(aligned.dir.file("jup.avi"), kFrames);
    planet.writeAvi(plain.dir.file("jup.avi"), kFrames);
    const BatchResult result = aligned.process(aligned.dir.file("jup.avi"), false);
    ASSERT_EQ(result.completed, 1);
    ASSERT_EQ(plain.process(plain.dir.file("jup.avi"), false).completed, 1);
    ASSERT_TRUE(result.files[0].dispersion);
    const Dispersion& d = *result.files[0].dispersion;
    std::printf("measured without dispersion: R %+.3f, %+.3f; B %+.3f, %+.3f\n", d.red.x, d.red.y, d.blue.x, d.blue.y);
    for (const double shift : {d.red.x, d.red.y, d.blue.x, d.blue.y})
        EXPECT_LE(std::fabs(shift), 0.05);
    const auto corrected = aligned.frames("jup", false), unchanged = plain.frames("jup", false);
    ASSERT_EQ(corrected.size(), unchanged.size());
    double most = 0.0;
    for (std::size_t f = 0; f < corrected.size(); ++f)
        for (std::size_t i = 0; i < corrected[f].size(); ++i)
            most = std::max(most, std::fabs(corrected[f][i] - unchanged[f][i]));
    std::printf("largest change of a level: %.0f\n", most);
    EXPECT_LE(most, 1.0);

    AlignRun mono(AlignRgb::Correct);
    DiscClip disc;
    disc.writeGray(mono.dir.file("moon.avi"), 4);
    ASSERT_EQ(mono.process(mono.dir.file("moon.avi"), false).completed, 1);
    EXPECT_EQ(mono.logged("Align R, B: moon.avi has no colours; nothing to align"), 1u);
    EXPECT_EQ(mono.logged("Dispersion:"), 0u);
}
