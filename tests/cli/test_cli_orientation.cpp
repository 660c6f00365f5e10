// SPDX-License-Identifier: GPL-3.0-or-later
// --meridian-flip and --rotate end to end: of two identical captures, the
// one stamped after the flip's time comes out turned by 180 degrees; a
// quarter turn swaps the output's sides.

#include "support/decoded_video.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A disc with a bright spot on its upper left, so every turn shows.
void WriteCapture(const TempDir& dir, const std::string& name, const std::string& start)
{
    SerClip clip;
    clip.width = 96;
    clip.height = 64;
    for (std::int32_t f = 0; f < 3; ++f) {
        clip.addFrame([](std::int32_t x, std::int32_t y, std::int32_t) {
            const std::int32_t d = (x - 48) * (x - 48) + (y - 32) * (y - 32);
            const std::int32_t spot = (x - 44) * (x - 44) + (y - 29) * (y - 29);
            return spot < 6 ? 250 : d < 144 ? 80 + x + 2 * y : 10;
        });
        clip.timestamps.push_back(*ParseIsoUtc(start) + f * kTicksPerSecond / 50);
    }
    dir.write(name, clip.bytes());
}

}   // namespace

TEST(CliOrientation, TheMeridianFlipTurnsTheCapturesAfterItAndRotateSwapsTheSides)
{
    TempDir dir;
    WriteCapture(dir, "evening.ser", "2024-03-01T21:00:00Z");
    WriteCapture(dir, "morning.ser", "2024-03-02T00:30:00Z");
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 32 -H 48 --format ser ";
    const auto flipped =
        RunCommand(cli + "--meridian-flip 23:40 --report r.json -o flip evening.ser morning.ser", dir.path());
    ASSERT_EQ(flipped.status, 0) << flipped.err;
    EXPECT_NE(flipped.out.find(" - Turned by 180\u00b0 (after the meridian flip at 23:40 UT)\n"), std::string::npos)
        << flipped.out;
    EXPECT_NE(flipped.out.find(" - Not turned (before the meridian flip at 23:40 UT)\n"), std::string::npos);
    const auto plain = RunCommand(cli + "-o plain evening.ser morning.ser", dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("turned"), std::string::npos) << plain.out;
    const auto rotated = RunCommand(cli + "--rotate 90 -o rot evening.ser", dir.path());
    ASSERT_EQ(rotated.status, 0) << rotated.err;
    // The 8-bit path: a greyscale AVI of the same turn.
    const auto avi = RunCommand("cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI
                                    + " -q -W 32 -H 48 --gray --rotate 90 --preview prev.png -o avi evening.ser",
                                dir.path());
    ASSERT_EQ(avi.status, 0) << avi.err;

    // Without the option, and before the flip, nothing changes.
    EXPECT_EQ(ReadWholeFile(dir.file("flip/evening_orbic.ser")), ReadWholeFile(dir.file("plain/evening_orbic.ser")));
    const SerFileContents upright = ReadSerFile(dir.file("plain/morning_orbic.ser"));
    const SerFileContents turned = ReadSerFile(dir.file("flip/morning_orbic.ser"));
    const SerFileContents quarter = ReadSerFile(dir.file("rot/evening_orbic.ser"));
    ASSERT_EQ(upright.width, 32);
    ASSERT_EQ(upright.height, 48);
    ASSERT_EQ(turned.width, 32);
    ASSERT_EQ(quarter.width, 48);
    ASSERT_EQ(quarter.height, 32);
    ASSERT_EQ(turned.frameCount, upright.frameCount);
    ASSERT_GT(upright.frameCount, 0);
    const auto& a = upright.frames[0];
    std::int32_t bright = 0;
    for (std::int32_t y = 0; y < 48; ++y)
        for (std::int32_t x = 0; x < 32; ++x) {
            const std::uint8_t v = a[std::size_t(y * 32 + x)];
            bright += v == 250 ? 1 : 0;
            ASSERT_EQ(turned.frames[0][std::size_t((47 - y) * 32 + (31 - x))], v) << x << "," << y;
            // 90 degrees clockwise: the source's (x, y) lands at (47 - y, x).
            ASSERT_EQ(quarter.frames[0][std::size_t(x * 48 + (47 - y))], v) << x << "," << y;
        }
    EXPECT_GT(bright, 0);
    const std::string decoded = DecodeWithFfmpeg(dir.file("avi/evening_Y8orbic.avi"), "gray", dir.path());
    ASSERT_GE(decoded.size(), quarter.frames[0].size());
    EXPECT_EQ(decoded.substr(0, quarter.frames[0].size()),
              std::string(quarter.frames[0].begin(), quarter.frames[0].end()));
    // The test's preview is turned as the output is: 48 wide, 32 high.
    const std::string preview = ReadWholeFile(dir.file("prev.png"));
    ASSERT_GE(preview.size(), 24u);
    const auto field = [&preview](std::size_t at) {
        return std::uint32_t(std::uint8_t(preview[at])) << 24 | std::uint32_t(std::uint8_t(preview[at + 1])) << 16
            | std::uint32_t(std::uint8_t(preview[at + 2])) << 8 | std::uint32_t(std::uint8_t(preview[at + 3]));
    };
    EXPECT_EQ(field(16), 48u);
    EXPECT_EQ(field(20), 32u);

    const auto report = RunCommand("jq -c '[.files[] | [.input, .settings.meridian_flip, .orientation]]' "
                                       + ShellQuote(dir.file("r.json")),
                                   dir.path());
    EXPECT_EQ(report.out, "[[\"evening.ser\",\"23:40\",null],[\"morning.ser\",\"23:40\",\"meridian flip 180\"]]\n")
        << report.err;
}
