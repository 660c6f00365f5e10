// SPDX-License-Identifier: GPL-3.0-or-later
// --align-rgb end to end: a colour clip whose red and blue lie off green is
// measured, told and corrected; "--align-rgb measure" only tells.

#include "support/decoded_video.h"
#include "support/dispersed_planet.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <string>

TEST(CliAlignRgb, DispersionIsToldCorrectedAndMeasureChangesNoByte)
{
    TempDir dir;
    const DispersedPlanet planet;
    planet.writeAvi(dir.file("mars.avi"), 6);
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 128 -H 128 ";
    const auto corrected = RunCommand(cli + "--align-rgb --report r.json -o corrected mars.avi", dir.path());
    ASSERT_EQ(corrected.status, 0) << corrected.err;
    // "measure" before the file name is the option's value, not a file.
    const auto measured = RunCommand(cli + "--align-rgb measure -o measured mars.avi", dir.path());
    ASSERT_EQ(measured.status, 0) << measured.err;
    const auto plain = RunCommand(cli + "-o plain mars.avi", dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;

    const std::string number = "((?:\\+|\u2212)\\d+\\.\\d\\d)";
    const std::regex line("Dispersion: R " + number + ", " + number + " px; B " + number + ", " + number
                          + " px against G\n");
    std::smatch told;
    ASSERT_TRUE(std::regex_search(corrected.out, told, line)) << corrected.out;
    const auto value = [&](std::size_t i) {
        const std::string text = told[i].str();
        const bool minus = text.starts_with("\u2212");
        const double size = std::stod(text.substr(minus ? std::string("\u2212").size() : 1));
        return minus ? -size : size;
    };
    std::printf("told: %s", told[0].str().c_str());
    EXPECT_NEAR(value(1), 2.4, 0.05);
    EXPECT_NEAR(value(2), -1.3, 0.05);
    EXPECT_NEAR(value(3), -1.7, 0.05);
    EXPECT_NEAR(value(4), 0.6, 0.05);
    EXPECT_NE(measured.out.find(told[0].str()), std::string::npos) << measured.out;
    EXPECT_EQ(plain.out.find("Dispersion"), std::string::npos) << plain.out;

    const std::string all = DecodeWithFfmpeg(dir.file("corrected/mars_orbic.avi"), "bgr24", dir.path());
    const std::size_t bytes = 128 * 128 * 3;
    ASSERT_EQ(all.size(), 6 * bytes);
    for (std::size_t at = 0; at < all.size(); at += bytes) {
        std::vector<double> levels(bytes);
        for (std::size_t i = 0; i < bytes; ++i)
            levels[i] = std::uint8_t(all[at + i]);
        const auto left = CentroidOffsets(levels, 128, 128, 48.0, DispersedPlanet::kSky);
        std::printf("frame %zu residual: R %+.3f, %+.3f; B %+.3f, %+.3f\n", at / bytes, left[0], left[1], left[2],
                    left[3]);
        for (const double residual : left)
            EXPECT_LE(std::fabs(residual), 0.1);
    }
    EXPECT_EQ(ReadWholeFile(dir.file("measured/mars_orbic.avi")), ReadWholeFile(dir.file("plain/mars_orbic.avi")));
    EXPECT_NE(ReadWholeFile(dir.file("corrected/mars_orbic.avi")), ReadWholeFile(dir.file("plain/mars_orbic.avi")));

    const auto report =
        RunCommand("jq -c '[.files[0].settings.align_rgb, (.files[0].dispersion | .r + .b | map(. * 10 | round))]' "
                       + ShellQuote(dir.file("r.json")),
                   dir.path());
    EXPECT_EQ(report.out, "[\"correct\",[24,-13,-17,6]]\n") << report.err;
}
