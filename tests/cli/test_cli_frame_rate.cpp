// SPDX-License-Identifier: GPL-3.0-or-later
// The rate an AVI output plays at, end to end: a capture's own from its
// time stamps, one the user gives, and 30 as it always was.

#include "support/decoded_video.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A planet capture at NTSC's 59.94 frames per second as the camera's clock
// stamped it: intervals of 166833 and 166834 ticks, and one frame dropped,
// which an average over the stamps would take for a slower rate.
SerClip NtscCapture()
{
    SerClip clip;
    clip.width = 96;
    clip.height = 80;
    std::int64_t stamp = 638000000000000000;
    for (int f = 0; f < 12; ++f) {
        clip.addFrame(
            [f](int x, int y, int) { return (x - 44 - f) * (x - 44 - f) + (y - 40) * (y - 40) <= 225 ? 200 : 10; });
        clip.timestamps.push_back(stamp);
        stamp += f == 5 ? 333667 : f % 3 == 0 ? 166834 : 166833;
    }
    return clip;
}

// "60000/1001" as a number.
double RateOf(const std::string& ratio)
{
    const std::size_t slash = ratio.find('/');
    return slash == std::string::npos ? 0.0 : std::stod(ratio.substr(0, slash)) / std::stod(ratio.substr(slash + 1));
}

struct RateCase {
    const char* name;
    const char* options;   // besides -W 32 -H 32 and the output folder
    double fps;
    const char* logged;     // the log's line, or nothing
    const char* reported;   // the report's settings' "fps", or null
};

void PrintTo(const RateCase& c, std::ostream* os)
{
    *os << '"' << c.options << '"';
}

class CliFrameRate : public testing::TestWithParam<RateCase> {};

}   // namespace

TEST_P(CliFrameRate, TheAviPlaysAtTheChosenRate)
{
    const RateCase c = GetParam();
    TempDir dir;
    dir.write("ntsc.ser", NtscCapture().bytes());
    WriteWholeFile(dir.file("Orbicrop.ini"), "[Output]\nfps=25\n");
    const std::string cli = "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 32 -H 32 --report r.json ";
    const auto r = RunCommand(cli + c.options + " -o out ntsc.ser", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const ProbedStream probe = Probe(dir.file("out/ntsc_Y8orbic.avi"), dir.path());
    EXPECT_EQ(probe.frames, 12);
    EXPECT_NEAR(RateOf(probe.rate), c.fps, c.fps * 0.001) << probe.rate;
    EXPECT_NEAR(RateOf(probe.averageRate), c.fps, c.fps * 0.001) << probe.averageRate;
    const std::size_t said = r.out.find(" - Output plays at ");
    if (*c.logged == '\0') {
        EXPECT_EQ(said, std::string::npos) << r.out;
    } else {
        EXPECT_NE(r.out.find(std::string(" - Input res 96 x 80\n") + c.logged + "\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(" - Output plays at ", said + 1), std::string::npos) << r.out;
    }
    const auto fps = RunCommand("jq -c '.files[0].settings.fps' " + ShellQuote(dir.file("r.json")), dir.path());
    EXPECT_EQ(fps.out, c.reported ? std::string(c.reported) + "\n" : "null\n");

    // Taken back to 30, the output is the default's byte for byte.
    if (c.fps == 30.0) {
        const auto plain = RunCommand(cli + "-o plain ntsc.ser", dir.path());
        ASSERT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(ReadWholeFile(dir.file("out/ntsc_Y8orbic.avi")), ReadWholeFile(dir.file("plain/ntsc_Y8orbic.avi")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, CliFrameRate,
    testing::Values(RateCase{"Source", "--fps source", 60000.0 / 1001,
                             " - Output plays at 59.94 fps (the capture's time stamps)", "\"source\""},
                    RateCase{"Given", "--fps 25", 25.0, " - Output plays at 25 fps (as chosen)", "\"25\""},
                    RateCase{"FromTheSettings", "--settings Orbicrop.ini", 25.0,
                             " - Output plays at 25 fps (as chosen)", "\"25\""},
                    RateCase{"DefaultGivenOverTheSettings", "--settings Orbicrop.ini --fps 30", 30.0, "", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
