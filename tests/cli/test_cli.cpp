// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool end to end: synthetic clips with a known planet path
// in, cropped AVIs out, checked byte for byte with an independent decoder.

#include "analysis/rounding.h"
#include "support/siril.h"
#include "support/decoded_video.h"
#include "support/disc_video.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <tuple>

namespace {

// Every run of the tool here writes a report (its own, or one in a folder
// of the test program's), and every report must account for every frame a
// finished file saw: written plus each reason to drop equals seen.
class EveryFrameAccountedFor : public testing::Environment {
public:
    std::string nextReport() { return m_dir.file("report-" + std::to_string(m_count++) + ".json"); }
    void TearDown() override
    {
        for (int i = 0; i < m_count; ++i) {
            const std::string report = m_dir.file("report-" + std::to_string(i) + ".json");
            if (!std::filesystem::exists(report))
                continue;   // a run that ended before its report (bad usage)
            const auto r = RunCommand("jq -e '[.files[] | select(.status == \"done\") | .frames | .written + "
                                      "([.dropped[]] | add) == .seen] | all' "
                                          + ShellQuote(report),
                                      m_dir.path());
            EXPECT_EQ(r.out, "true\n") << ReadWholeFile(report);
        }
    }

private:
    TempDir m_dir;
    int m_count = 0;
};
EveryFrameAccountedFor* const kReports =
    static_cast<EveryFrameAccountedFor*>(testing::AddGlobalTestEnvironment(new EveryFrameAccountedFor));

std::string Cli(const std::string& args)
{
    const std::string report =
        args.find("--report") == std::string::npos ? " --report " + ShellQuote(kReports->nextReport()) : "";
    return std::string(ORBICROP_CLI) + " -q" + report + " " + args;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// The crop the tool must write for one frame, computed here from the known
// centre: top row first, as the decoder returns it; bgr or grey (blue byte).
std::string ExpectedCrop(const DiscClip& clip, std::int32_t index, int w, int h, bool gray)
{
    const auto frame = clip.frame(index);
    double cx = 0, cy = 0;
    clip.path(index, cx, cy);
    const auto centerX = std::int32_t(RoundHalfEven(cx));
    const auto centerY = std::int32_t(RoundHalfEven(cy));
    std::string out;
    for (int row = h - 1; row >= 0; --row) {   // from the top of the window
        const int y = centerY - h / 2 + row;
        for (int j = 0; j < w; ++j) {
            const int x = centerX - w / 2 + j;
            std::uint8_t px[3] = {0, 0, 0};
            if (x >= 0 && x < clip.width && y >= 0 && y < clip.height)
                std::copy_n(&frame[(std::size_t(y) * clip.width + x) * 3], 3, px);
            if (gray)
                out += char(px[0]);
            else
                out.append(reinterpret_cast<const char*>(px), 3);
        }
    }
    return out;
}

std::string ExpectedVideo(const DiscClip& clip, const std::vector<int>& frames, int w, int h, bool gray)
{
    std::string all;
    for (int i : frames)
        all += ExpectedCrop(clip, i, w, h, gray);
    return all;
}

std::vector<int> Range(int n)
{
    std::vector<int> v;
    for (int i = 0; i < n; ++i)
        v.push_back(i);
    return v;
}

// A track line's outcome: its eighth column.
std::string TrackOutcome(const std::string& line)
{
    std::istringstream fields(line);
    std::string outcome;
    for (int column = 0; column < 8; ++column)
        std::getline(fields, outcome, ',');
    return outcome;
}

}   // namespace

TEST(Cli, ColourClipIsCentredAndCroppedExactly)
{
    TempDir dir;
    DiscClip clip;
    clip.blue = 60;
    clip.green = 180;
    clip.red = 240;
    clip.write(dir.file("jupiter.avi"), 12);

    const auto r = RunCommand(Cli("-W 64 -H 48 " + ShellQuote(dir.file("jupiter.avi"))), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 12u) << r.out;
    EXPECT_EQ(lines[0], "Opening file jupiter.avi");
    EXPECT_EQ(lines[10], "Output: " + dir.file("jupiter_orbic.avi"));
    EXPECT_EQ(lines[11], "Outputs written to " + dir.path() + "/");
    EXPECT_EQ(lines[1], " - 12 frames");
    EXPECT_EQ(lines[2], " - Input res 160 x 120");
    EXPECT_EQ(lines[3], "Opening file jupiter.avi");
    EXPECT_EQ(lines[6], " - Output res 64 x 48");
    EXPECT_EQ(lines[7], "12/12 frames written");
    EXPECT_TRUE(std::regex_match(lines[8], std::regex(" - FPS: [0-9]+"))) << lines[8];
    EXPECT_EQ(lines[9], "Orbicropping complete!");

    const std::string out = dir.file("jupiter_orbic.avi");
    const auto probe = Probe(out, dir.path());
    EXPECT_EQ(probe.width, 64);
    EXPECT_EQ(probe.height, 48);
    EXPECT_EQ(probe.frames, 12);
    EXPECT_EQ(probe.rate, "30/1");
    EXPECT_EQ(DecodeWithFfmpeg(out, "bgr24", dir.path()), ExpectedVideo(clip, Range(12), 64, 48, false));
}

TEST(Cli, GreyClipChoosesGreyscaleAndBlueBytes)
{
    TempDir dir;
    DiscClip clip;
    clip.path = [](std::int32_t f, double& cx, double& cy) {
        cx = 79.5 - 4 * (f % 3);
        cy = 39.5 + 4 * f;
    };
    clip.write(dir.file("moon.avi"), 8);

    const auto r = RunCommand(Cli("-W 32 -H 64 " + ShellQuote(dir.file("moon.avi"))), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = dir.file("moon_Y8orbic.avi");
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(dir.file("moon_orbic.avi")));
    EXPECT_EQ(Probe(out, dir.path()).pixelFormat, "gray");
    EXPECT_EQ(DecodeWithFfmpeg(out, "gray", dir.path()), ExpectedVideo(clip, Range(8), 32, 64, true));
}

TEST(Cli, GreyVideoInputGivesTheSameCropsAsItsColourTwin)
{
    // A Y800 capture reaches the analysis as grey planes, its RGB24 twin as
    // 24-bit frames: the outputs must not differ by a byte.
    TempDir dir;
    DiscClip clip;
    clip.path = [](std::int32_t f, double& cx, double& cy) {
        cx = 61.3 + 3.1 * f;
        cy = 47.8 - 2.2 * f;
    };
    clip.write(dir.file("rgb.avi"), 9);
    clip.writeGray(dir.file("y8.avi"), 9);
    for (const char* mode : {"--gray", "--color"}) {
        ASSERT_EQ(
            RunCommand(Cli(std::string(mode) + " -W 48 -H 32 " + ShellQuote(dir.file("rgb.avi"))), dir.path()).status,
            0);
        ASSERT_EQ(
            RunCommand(Cli(std::string(mode) + " -W 48 -H 32 " + ShellQuote(dir.file("y8.avi"))), dir.path()).status,
            0);
    }
    const std::string format[2] = {"gray", "bgr24"};
    const std::string suffix[2] = {"_Y8orbic.avi", "_orbic.avi"};
    for (int k = 0; k < 2; ++k) {
        const auto fromRgb = DecodeWithFfmpeg(dir.file("rgb" + suffix[k]), format[k], dir.path());
        ASSERT_EQ(fromRgb.size(), std::size_t(9) * 48 * 32 * (k == 0 ? 1 : 3));
        EXPECT_EQ(DecodeWithFfmpeg(dir.file("y8" + suffix[k]), format[k], dir.path()), fromRgb) << suffix[k];
    }
}

TEST(Cli, ExplicitModeOverridesTheAutomaticChoice)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("grey.avi"), 4);
    ASSERT_EQ(RunCommand(Cli("--color -W 32 -H 32 " + ShellQuote(dir.file("grey.avi"))), dir.path()).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("grey_orbic.avi")));

    DiscClip colour;
    colour.red = 90;
    colour.write(dir.file("red.avi"), 4);
    ASSERT_EQ(RunCommand(Cli("--gray -W 32 -H 32 " + ShellQuote(dir.file("red.avi"))), dir.path()).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("red_Y8orbic.avi")));
    EXPECT_EQ(DecodeWithFfmpeg(dir.file("red_Y8orbic.avi"), "gray", dir.path()),
              ExpectedVideo(colour, Range(4), 32, 32, true));
}

TEST(Cli, NoPlanetFailsTheTestAndWritesNothing)
{
    TempDir dir;
    DiscClip clip;
    clip.radius = 0;
    clip.write(dir.file("sky.avi"), 3);
    const auto r = RunCommand(Cli(ShellQuote(dir.file("sky.avi"))), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("COG Threshold Too High!"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("sky_Y8orbic.avi")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("sky_orbic.avi")));
}

TEST(Cli, PlanetDriftingOffTheEdge)
{
    TempDir dir;
    DiscClip clip;
    // From the middle to past the right edge in steps of 8 pixels.
    clip.path = [](std::int32_t f, double& cx, double& cy) {
        cx = 79.5 + 8 * f;
        cy = 59.5;
    };
    clip.write(dir.file("drift.avi"), 14);

    // Kept: every frame in which some of the planet is seen (frames 0..11),
    // black beyond the edge; frames 12 and 13 show no planet and are dropped.
    auto r = RunCommand(Cli("-W 32 -H 32 --color " + ShellQuote(dir.file("drift.avi"))), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Probe(dir.file("drift_orbic.avi"), dir.path()).frames, 12);
    EXPECT_NE(r.out.find("12/14 frames written"), std::string::npos) << r.out;

    // Removed: only frames whose 32 x 32 window stays one pixel inside.
    r = RunCommand(Cli("-W 32 -H 32 --color --remove-incomplete " + ShellQuote(dir.file("drift.avi"))), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    // centre + 16 >= 159 refuses: 79.5 + 8f rounds to 80 + 8f, so f >= 8 are dropped.
    EXPECT_EQ(Probe(dir.file("drift_orbic.avi"), dir.path()).frames, 8);
    EXPECT_EQ(DecodeWithFfmpeg(dir.file("drift_orbic.avi"), "bgr24", dir.path()),
              ExpectedVideo(clip, Range(8), 32, 32, false));
    EXPECT_NE(r.out.find("8/14 frames written"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;

    // With a 96-pixel window, centre + 48 >= 159 refuses from f = 4 on: 4 of
    // 14 written is no success a zero status should hide.
    r = RunCommand(Cli("-W 96 -H 96 --color --remove-incomplete " + ShellQuote(dir.file("drift.avi"))), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("orbicrop-cli: " + dir.file("drift.avi")
                         + ": warning: only 4 of 14 frames were written "
                           "(2 without a planet, 8 incomplete, 0 refused by the output)"),
              std::string::npos)
        << r.err;
}

TEST(Cli, AnOutputThatWouldReplaceAnInputIsSkipped)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("jup.avi"), 3);
    clip.write(dir.file("jup_Y8orbic.avi"), 5);
    const std::string before = ReadWholeFile(dir.file("jup_Y8orbic.avi"));

    const auto r = RunCommand(
        Cli("-W 32 -H 32 " + ShellQuote(dir.file("jup.avi")) + " " + ShellQuote(dir.file("jup_Y8orbic.avi"))),
        dir.path());
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("orbicrop-cli: " + dir.file("jup.avi") + ": Skipped jup.avi"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(dir.file("jup_Y8orbic.avi")), before);
    EXPECT_EQ(Probe(dir.file("jup_Y8orbic_Y8orbic.avi"), dir.path()).frames, 5);
}

TEST(Cli, AFailedFileDoesNotStopTheBatchAndTheSummaryAndReportTellEachFile)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("a.avi"), 3);
    // A name JSON must escape.
    const std::string odd = dir.file("c \"night\\2\".avi");
    clip.write(odd, 4);
    const std::string report = dir.file("run.json");
    const auto r = RunCommand(Cli("-W 32 -H 32 --report " + ShellQuote(report) + " " + ShellQuote(dir.file("a.avi"))
                                  + " " + ShellQuote(dir.file("missing.avi")) + " " + ShellQuote(odd)),
                              dir.path());
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("orbicrop-cli: " + dir.file("missing.avi") + ": The file does not exist!\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Probe(dir.file("a_Y8orbic.avi"), dir.path()).frames, 3);
    EXPECT_EQ(Probe(dir.file("c \"night\\2\"_Y8orbic.avi"), dir.path()).frames, 4);

    const std::string summary = r.err.substr(r.err.find("orbicrop-cli: 2 files done"));
    EXPECT_EQ(Lines(summary),
              (std::vector<std::string>{
                  "orbicrop-cli: 2 files done, 1 failed; 7 frames written",
                  "  done     " + dir.file("a.avi") + " -> " + dir.file("a_Y8orbic.avi") + " (3 of 3 frames)",
                  "  failed   " + dir.file("missing.avi")
                      + ": The file does not exist!; Nothing was written for missing.avi.",
                  "  done     " + odd + " -> " + dir.file("c \"night\\2\"_Y8orbic.avi") + " (4 of 4 frames)"}));
    EXPECT_NE(r.out.find("Outputs written to " + dir.path() + "/"), std::string::npos) << r.out;

    // Read back by an independent parser.
    const auto field = [&](const std::string& filter) {
        return RunCommand("jq -r " + ShellQuote(filter) + " " + ShellQuote(report), dir.path()).out;
    };
    EXPECT_EQ(field(".test_passed, .stopped, (.files | length)"), "true\nfalse\n3\n");
    EXPECT_EQ(field(".files[2] | .input, .output, .status"),
              odd + "\n" + dir.file("c \"night\\2\"_Y8orbic.avi") + "\ndone\n");
    EXPECT_EQ(field(".files[0].frames | .seen, .written, .dropped.no_planet, .dropped.incomplete"), "3\n3\n0\n0\n");
    EXPECT_EQ(field(".files[0].settings | .width, .mode, .threshold_percent"), "32\nY800\n5\n");
    EXPECT_EQ(field(".files[1] | .status, .output, .first_frame_time"), "failed\nnull\nnull\n");
    EXPECT_EQ(field(".files[0] | .first_frame_time, .input_video.samples"), "0\nnull\n");
}

// A capture cut short (a full card, a capture program that died) keeps the
// frame count its header was written with: 12 here, of which 7 frames and a
// part remain.
TEST(Cli, AFileCutShortIsDoneAndTheSummaryAndReportSayItEndedBeforeItsHeadersCount)
{
    TempDir dir;
    DiscClip clip;
    // Frames 0 to 6 are kept whole, and `extra` bytes of frame 7 (the frames'
    // chunks follow the movie list's type).
    const std::uint64_t aviFrame = 8 + std::uint64_t(clip.width) * std::uint64_t(clip.height) * 3;
    const auto cutAvi = [&](const std::string& path, std::uint64_t extra) {
        clip.write(path, 12);
        std::filesystem::resize_file(path, ReadWholeFile(path).find("movi") + 4 + 7 * aviFrame + extra);
    };
    const struct {
        std::string name;
        std::function<void(const std::string& path)> make;
    } cuts[] = {
        // Inside a frame, and without its index.
        {"inside.avi", [&](const std::string& p) { cutAvi(p, aviFrame / 2); }},
        // Right after a whole frame.
        {"between.avi", [&](const std::string& p) { cutAvi(p, 0); }},
        {"capture.ser",
         [&](const std::string& p) {
             const auto made = RunCommand(
                 std::string(ORBICROP_MAKE_SAMPLE) + " --frames 12 --ser-depth 8 " + ShellQuote(p), dir.path());
             ASSERT_EQ(made.status, 0) << made.err;
             std::filesystem::resize_file(p, 178 + 7 * 640 * 480 + 100);   // its default size
         }},
    };
    for (const auto& cut : cuts) {
        const std::string input = dir.file(cut.name);
        cut.make(input);
        const std::string report = dir.file(cut.name + ".json");
        const auto r = RunCommand(Cli("--report " + ShellQuote(report) + " " + ShellQuote(input)), dir.path());
        EXPECT_EQ(r.status, 0) << cut.name << "\n" << r.err;
        EXPECT_EQ(
            RunCommand("jq -c '.files[0].frames | [.seen, .declared, .ended_early]' " + ShellQuote(report), dir.path())
                .out,
            "[7,12,true]\n")
            << cut.name;
        const std::string output = input.substr(0, input.size() - 4) + "_Y8orbic.avi";
        EXPECT_NE(r.err.find("  done     " + input + " -> " + output
                             + " (7 of 7 frames; the file ended after 7 of its 12 frames)\n"),
                  std::string::npos)
            << r.err;
    }
}

TEST(Cli, ReportGivesTheDetectedLayoutOfASerInput)
{
    TempDir dir;
    const auto made = RunCommand(
        std::string(ORBICROP_MAKE_SAMPLE) + " --frames 4 --ser-depth 12 " + ShellQuote(dir.file("m.ser")), dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const auto r =
        RunCommand(Cli("--report " + ShellQuote(dir.file("r.json")) + " " + ShellQuote(dir.file("m.ser"))), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto layout =
        RunCommand("jq -c '.files[0].input_video.samples' " + ShellQuote(dir.file("r.json")), dir.path());
    EXPECT_EQ(layout.out, "{\"depth\":12,\"bytes_per_sample\":2,\"byte_order\":\"little-endian\"}\n");
}

TEST(Cli, TestOnlyPreviewTrackAndOutputDirectory)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("sat.avi"), 6);

    auto r = RunCommand(Cli("--test-only --preview " + ShellQuote(dir.file("p.png")) + " -W 48 -H 32 "
                            + ShellQuote(dir.file("sat.avi"))),
                        dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("sat_Y8orbic.avi")));
    const std::string png = ReadWholeFile(dir.file("p.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(std::uint8_t(png[19]), 48);   // IHDR width
    EXPECT_EQ(std::uint8_t(png[23]), 32);   // IHDR height

    // A missing output directory is made.
    r = RunCommand(Cli("-o " + ShellQuote(dir.file("out")) + " --track " + ShellQuote(dir.file("t.csv"))
                       + " -W 32 -H 32 " + ShellQuote(dir.file("sat.avi"))),
                   dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/sat_Y8orbic.avi")));
    const auto track = Lines(ReadWholeFile(dir.file("t.csv")));
    ASSERT_EQ(track.size(), 7u);
    EXPECT_EQ(track[0], "file,frame,time,center_x,center_y,radius_x,radius_y,outcome");
    // Frame 2: centre (59.5, 59.5) from the bottom, 120 - 1 - 59.5 = 59.5 from
    // the top; the outermost planet blocks lie 10 pixels from it.
    const std::string expected = "\"sat.avi\",2,0.066667,59.5000,59.5000,10.0000,10.0000,written";
    EXPECT_EQ(track[3], expected);
}

TEST(Cli, SettingsFileGivesTheDefaultsAndOptionsWin)
{
    TempDir dir;
    DiscClip clip;   // grey
    clip.write(dir.file("m.avi"), 4);
    std::ofstream(dir.file("Orbicrop.ini")) << "; the window's file\n[Size]\nwidth=3\nheight=0x4\n"
                                               "[Output]\nautocolor=0\n[COG]\nthreshold=250\n";
    const std::string settings = "--settings " + ShellQuote(dir.file("Orbicrop.ini")) + " ";
    auto pngSize = [&](const std::string& png) {
        const std::string bytes = ReadWholeFile(png);
        return bytes.size() < 24 ? std::pair<int, int>{0, 0}
                                 : std::pair<int, int>{std::uint8_t(bytes[19]), std::uint8_t(bytes[23])};
    };

    // threshold 250 loads as 100, at which no planet can be found.
    auto r = RunCommand(Cli(settings + "--test-only " + ShellQuote(dir.file("m.avi"))), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("COG Threshold Too High!"), std::string::npos);

    r = RunCommand(Cli(settings + "-t 5 --test-only --preview " + ShellQuote(dir.file("a.png")) + " "
                       + ShellQuote(dir.file("m.avi"))),
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(dir.file("a.png")), (std::pair<int, int>{48, 64}));

    r = RunCommand(
        Cli(settings + "-t 5 -W 32 --preview " + ShellQuote(dir.file("b.png")) + " " + ShellQuote(dir.file("m.avi"))),
        dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(dir.file("b.png")), (std::pair<int, int>{32, 64}));
    // The automatic choice is off in the file: a grey clip still gives colour output.
    EXPECT_TRUE(std::filesystem::exists(dir.file("m_orbic.avi")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("m_Y8orbic.avi")));
}

TEST(Cli, CapturesOfTheSameNameFromSeveralNights)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("night1"));
    std::filesystem::create_directory(dir.file("night2"));
    DiscClip clip;
    clip.write(dir.file("night1/capture.avi"), 3);
    clip.write(dir.file("night2/capture.avi"), 5);
    const std::string inputs =
        ShellQuote(dir.file("night1/capture.avi")) + " " + ShellQuote(dir.file("night2/capture.avi"));

    // Into one folder the second would overwrite the first: it is refused.
    auto r = RunCommand(Cli("-W 32 -H 32 " + inputs), dir.path());
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("is already the output of " + dir.file("night1/capture.avi")), std::string::npos) << r.err;
    EXPECT_EQ(Probe(dir.file("night1/capture_Y8orbic.avi"), dir.path()).frames, 3);
    EXPECT_FALSE(std::filesystem::exists(dir.file("night2/capture_Y8orbic.avi")));

    r = RunCommand(Cli("-W 32 -H 32 --beside-input " + inputs), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Probe(dir.file("night1/capture_Y8orbic.avi"), dir.path()).frames, 3);
    EXPECT_EQ(Probe(dir.file("night2/capture_Y8orbic.avi"), dir.path()).frames, 5);
}

TEST(Cli, StreamOfUnknownLengthIsTestedOnTwoFramesWithItsPreview)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("clip.avi"), 30);
    // A raw MJPEG stream carries no length: its frame count reads as 0.
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -i " + ShellQuote(dir.file("clip.avi")) + " -c:v mjpeg -q:v 2 -f mjpeg "
                             + ShellQuote(dir.file("clip.mjpeg")),
                         dir.path())
                  .status,
              0);
    const auto r = RunCommand(Cli("--test-only -W 32 -H 32 --preview " + ShellQuote(dir.file("p.png")) + " "
                                  + ShellQuote(dir.file("clip.mjpeg"))),
                              dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).at(1), " - 0 frames");
    ASSERT_TRUE(std::filesystem::exists(dir.file("p.png")));
    EXPECT_EQ(ReadWholeFile(dir.file("p.png")).substr(1, 3), "PNG");
}

// SER output from the terminal: the crops the AVI would hold, dated from
// --start-time, the track's UTC column, and a WinJUPOS name from the frames'
// mid-time; without a time the name stays plain and the log says why.
TEST(Cli, SerFormatWithStartTimeTrackAndWinJuposName)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("sat.avi"), 6);

    auto r =
        RunCommand(Cli("--format ser --color --start-time 2024-03-01T20:10:24Z --winjupos-name -W 32 -H 32 --track "
                       + ShellQuote(dir.file("t.csv")) + " " + ShellQuote(dir.file("sat.avi"))),
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // Six frames at 30 a second from 20:10:24: the middle is 20:10:24.083.
    const std::string out = dir.file("2024-03-01-2010_4-sat_orbic.ser");
    ASSERT_TRUE(std::filesystem::exists(out)) << r.out;
    const auto probe = Probe(out, dir.path());
    EXPECT_EQ(probe.width, 32);
    EXPECT_EQ(probe.frames, 6);
    EXPECT_EQ(DecodeWithFfmpeg(out, "bgr24", dir.path()), ExpectedVideo(clip, Range(6), 32, 32, false));
    const auto track = Lines(ReadWholeFile(dir.file("t.csv")));
    ASSERT_EQ(track.size(), 7u);
    EXPECT_EQ(track[0], "file,frame,time,center_x,center_y,radius_x,radius_y,outcome,utc");
    EXPECT_EQ(track[2], "\"sat.avi\",1,0.033333,55.5000,59.5000,10.0000,10.0000,written,2024-03-01T20:10:24.0333333Z");

    r = RunCommand(Cli("--format ser --winjupos-name -W 32 -H 32 " + ShellQuote(dir.file("sat.avi"))), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("sat_orbic.ser")));
    EXPECT_NE(r.out.find("keeps its plain name"), std::string::npos) << r.out;

    r = RunCommand(Cli("--winjupos-name " + ShellQuote(dir.file("sat.avi"))), dir.path());
    EXPECT_EQ(r.status, 2);
    r = RunCommand(Cli("--format ser --start-time 2024-03-01T20:10:24+01:00 " + ShellQuote(dir.file("sat.avi"))),
                   dir.path());
    EXPECT_EQ(r.status, 2);
}

// Keeping the best half from the terminal, into SER: the track's optional
// columns in their documented order, as many frames written as kept, each
// with the input's stamp of that very frame (not of the frame whose place it
// takes in the output), and the summary and report counting those left out.
TEST(Cli, KeepBestHalfIntoSerKeepsEachFramesOwnTime)
{
    TempDir dir;
    const auto made = RunCommand(
        std::string(ORBICROP_MAKE_SAMPLE) + " --frames 10 --ser-depth 12 " + ShellQuote(dir.file("m.ser")), dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const auto r =
        RunCommand(Cli("--format ser --keep-best 50% -W 64 -H 64 --track " + ShellQuote(dir.file("t.csv"))
                       + " --report " + ShellQuote(dir.file("r.json")) + " " + ShellQuote(dir.file("m.ser"))),
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;

    const auto track = Lines(ReadWholeFile(dir.file("t.csv")));
    ASSERT_EQ(track.size(), 11u);
    EXPECT_EQ(track[0], "file,frame,time,center_x,center_y,radius_x,radius_y,outcome,utc,quality");
    // The output's stamps are the input's own stamps of the frames written.
    const std::vector<std::uint64_t> inputStamps = ReadSerFile(dir.file("m.ser")).trailer();
    ASSERT_EQ(inputStamps.size(), 10u);
    std::vector<std::uint64_t> expected;
    for (std::size_t i = 1; i < track.size(); ++i) {
        const std::regex row(R"("m\.ser",([0-9]+),.*,(written|not kept),([0-9T:.Z-]+),([01]\.[0-9]{4})$)");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(track[i], m, row)) << track[i];
        const std::uint64_t own = inputStamps.at(std::stoul(m[1]));
        EXPECT_EQ(m[3], IsoUtc(std::int64_t(own)));
        if (m[2] == "written")
            expected.push_back(own);
    }
    EXPECT_EQ(expected.size(), 5u);
    const SerFileContents ser = ReadSerFile(dir.file("m_orbic.ser"));
    EXPECT_EQ(ser.frameCount, 5);
    EXPECT_EQ(ser.trailer(), expected);

    EXPECT_NE(r.err.find(" (5 of 10 frames, 5 not kept)"), std::string::npos) << r.err;
    const auto dropped = RunCommand("jq -c '.files[0].frames' " + ShellQuote(dir.file("r.json")), dir.path());
    EXPECT_EQ(dropped.out,
              "{\"declared\":10,\"seen\":10,\"written\":5,\"dropped\":{\"no_planet\":0,\"incomplete\":0,"
              "\"not_written\":0,\"not_kept\":5}}\n");
}

// --frames 10-19 writes exactly those frames: into SER each with its own
// stamp, and in every reader (SER and straight-read AVI by offset, H.264 by a
// seek to the key frame before) measured as a full read measures them.
TEST(Cli, FrameRangeWritesExactlyThoseFramesAsAFullReadSeesThem)
{
    TempDir dir;
    const std::string avi = ShellQuote(dir.file("p.avi"));
    const auto made =
        RunCommand(std::string(ORBICROP_MAKE_SAMPLE) + " --frames 40 --ser-depth 12 " + ShellQuote(dir.file("m.ser"))
                       + " && " + ORBICROP_MAKE_SAMPLE + " --frames 40 " + avi + " && ffmpeg -nostdin -v error -i "
                       + avi + " -c:v libx264 -g 8 -pix_fmt yuv420p " + ShellQuote(dir.file("p.mp4")),
                   dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    // The track's rows without the file name, which differs between runs.
    const auto rows = [&](const std::string& input, const std::string& options) {
        const std::string track = dir.file("t.csv");
        const auto r = RunCommand(Cli(options + " --format ser -W 64 -H 64 --track " + ShellQuote(track) + " -o "
                                      + ShellQuote(dir.file(options.empty() ? "full" : "range")) + " "
                                      + ShellQuote(dir.file(input))),
                                  dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        auto lines = Lines(ReadWholeFile(track));
        lines.erase(lines.begin());
        return lines;
    };
    for (const std::string input : {"m.ser", "p.avi", "p.mp4"}) {
        const auto full = rows(input, "");
        const auto range = rows(input, "--frames 10-19");
        ASSERT_EQ(full.size(), 40u) << input;
        EXPECT_EQ(range, std::vector<std::string>(full.begin() + 10, full.begin() + 20)) << input;
    }
    const std::vector<std::uint64_t> stamps = ReadSerFile(dir.file("m.ser")).trailer();
    const SerFileContents ser = ReadSerFile(dir.file("range/m_orbic.ser"));
    EXPECT_EQ(ser.frameCount, 10);
    EXPECT_EQ(ser.trailer(), std::vector<std::uint64_t>(stamps.begin() + 10, stamps.begin() + 20));
    EXPECT_EQ(rows("m.ser", "--frames 38-").size(), 2u);
}

// A raw colour AVI names no pattern: once the user does, the crop keeps it
// in every frame and the track and report name it; debayered, it is colour.
TEST(Cli, DeclaredBayerPatternOfARawAviIsKeptNamedOrDebayered)
{
    TempDir dir;
    const std::string raw = dir.file("raw.avi");
    WritePaintedAvi(raw, 96, 80, 6, true, [](int f, int x, int y) {
        const double cx = 37.0 + 3 * f, cy = 35.0 + f;
        const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 144;
        return !disc ? 8 : (x % 2 == 0 && y % 2 == 0) ? 240 : 120;
    });
    const std::string track = dir.file("t.csv"), report = dir.file("r.json");
    const auto r = RunCommand(Cli("-W 48 -H 32 --bayer RGGB --track " + ShellQuote(track) + " --report "
                                  + ShellQuote(report) + " " + ShellQuote(raw)),
                              dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" - Bayer RGGB: crop kept on even offsets"), std::string::npos) << r.out;
    const auto lines = Lines(ReadWholeFile(track));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].substr(lines[0].rfind(',')), ",bayer");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].substr(lines[i].rfind(',')), ",RGGB") << lines[i];
    const auto mosaic = RunCommand("jq -c '.files[0].mosaic' " + ShellQuote(report), dir.path());
    EXPECT_EQ(mosaic.out, "{\"pattern\":\"RGGB\",\"debayered\":false,\"written_pattern\":\"RGGB\"}\n");

    const auto d = RunCommand(
        Cli("-W 48 -H 32 --bayer rggb --debayer -o " + ShellQuote(dir.file("colour")) + " " + ShellQuote(raw)),
        dir.path());
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(Probe(dir.file("colour/raw_orbic.avi"), dir.path()).pixelFormat, "bgr24");
}

// A raw AVI of an orange planet names no pattern: --bayer auto finds its
// phase, says so, and the debayered planet is orange, not magenta.
TEST(Cli, AutoBayerFindsTheMosaicOfARawAviAndDebayersItToItsColour)
{
    TempDir dir;
    const std::string raw = dir.file("raw.avi");
    WritePaintedAvi(raw, 96, 80, 6, true, [](int f, int x, int y) {
        const double cx = 37.0 + 3 * f, cy = 35.0 + f;
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) > 16 * 16)
            return 8;
        const char site = "GBRG"[(y % 2) * 2 + x % 2];
        return site == 'R' ? 230 : site == 'G' ? 140 : 60;
    });
    const auto r =
        RunCommand(Cli("-W 48 -H 32 --bayer auto --debayer -o " + ShellQuote(dir.file("out")) + " " + ShellQuote(raw)),
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" - Bayer GBRG found in the data (green sites agree 1.00, others 0.26)\n"
                         " - Bayer GBRG: debayered (edge-aware)"),
              std::string::npos)
        << r.out;
    const std::string bgr = DecodeWithFfmpeg(dir.file("out/raw_orbic.avi"), "bgr24", dir.path());
    ASSERT_EQ(bgr.size(), std::size_t(48 * 32 * 3 * 6));
    for (std::size_t frame = 0; frame < 6; ++frame) {
        const std::size_t centre = frame * 48 * 32 * 3 + (16 * 48 + 24) * 3;
        const int b = std::uint8_t(bgr[centre]), g = std::uint8_t(bgr[centre + 1]), rd = std::uint8_t(bgr[centre + 2]);
        EXPECT_TRUE(std::abs(rd - 230) <= 4 && std::abs(g - 140) <= 4 && std::abs(b - 60) <= 4)
            << "frame " << frame << ": " << rd << " " << g << " " << b;
    }
}

// The mono sample captures, planets and surfaces, AVI and SER, are never
// taken for a mosaic.
TEST(Cli, AutoBayerTakesNoMonoSampleForAMosaic)
{
    TempDir dir;
    // Options and the name of each sample.
    const std::vector<std::pair<std::string, std::string>> samples = {{"--gray", "planet.avi"},
                                                                      {"--gray --rings", "saturn.avi"},
                                                                      {"--gray --surface", "moon.avi"},
                                                                      {"--gray --phase 120", "venus.avi"},
                                                                      {"--ser-depth 8", "planet-8.ser"},
                                                                      {"--ser-depth 12 --surface", "moon-12.ser"},
                                                                      {"--ser-depth 16 --rings", "saturn-16.ser"}};
    std::string inputs;
    for (const auto& [options, name] : samples) {
        const std::string path = ShellQuote(dir.file(name));
        const auto made =
            RunCommand(std::string(ORBICROP_MAKE_SAMPLE) + " --frames 8 " + options + " " + path, dir.path());
        ASSERT_EQ(made.status, 0) << made.err;
        inputs += " " + path;
    }
    const auto r = RunCommand(Cli("-W 64 -H 64 --bayer auto -o " + ShellQuote(dir.file("out")) + inputs), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto count = [&](const char* pattern) {
        const std::regex line(pattern);
        return std::size_t(
            std::distance(std::sregex_iterator(r.out.begin(), r.out.end(), line), std::sregex_iterator()));
    };
    const std::size_t mosaics = count(" - Bayer [RGB]{4} found in the data");
    std::cout << "mono samples taken for a mosaic: " << mosaics << " of " << samples.size() << "\n";
    EXPECT_EQ(mosaics, 0u) << r.out;
    // Once a file, and once more for the first, which the test plays before.
    EXPECT_EQ(
        count(
            " - No Bayer mosaic found in the data \\(green sites agree (0\\.99|1\\.00), others (0\\.9[5-9]|1\\.00)\\): "
            "processed as mono"),
        samples.size() + 1)
        << r.out;
}

// Among good frames, one of each kind a night brings: each is dropped for
// its own reason, in the order the reasons are tried, and every other frame
// is written; the report counts what the track says.
TEST(Cli, BadFramesAreDroppedEachForItsReason)
{
    TempDir dir;
    const std::string clip = dir.file("night.avi");
    // frame -> what is wrong with it
    const std::map<int, std::string> bad = {{2, "cut"}, {5, "small"}, {8, "saturated"}, {10, "dim"}};
    WritePaintedAvi(clip, 96, 80, 12, false, [&bad](int f, int x, int y) {
        const auto it = bad.find(f);
        const std::string kind = it == bad.end() ? "" : it->second;
        const double cx = kind == "cut" ? 3.0 : 46.0 + f % 3, cy = 40.0;
        const bool disc = kind != "small" && (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 15 * 15;
        const bool hot = kind == "small" && x >= 60 && x < 62 && y >= 20 && y < 22;
        if (hot || (disc && kind == "saturated"))
            return 255;
        if (disc)
            return kind == "dim" ? 40 + (x * 7 + y * 3) % 40 / 4 : 150 + (x * 7 + y * 3) % 40;
        return 8;
    });
    const std::string track = dir.file("t.csv"), report = dir.file("r.json");
    const auto r = RunCommand(Cli("-W 32 -H 32 --reject-cut --min-size 10 --max-saturated 5 --reject-dim 60 --track "
                                  + ShellQuote(track) + " --report " + ShellQuote(report) + " " + ShellQuote(clip)),
                              dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(ReadWholeFile(track));
    ASSERT_EQ(lines.size(), 13u);
    std::map<std::string, int> counted;
    for (int f = 0; f < 12; ++f) {
        const std::string& line = lines[std::size_t(f) + 1];
        const auto it = bad.find(f);
        const std::string want = it == bad.end() ? "written" : it->second;
        const std::string outcome = TrackOutcome(line);
        EXPECT_EQ(outcome, want) << "frame " << f;
        ++counted[outcome];
    }
    const auto dropped = RunCommand("jq -c '.files[0].frames | [.written, .dropped.cut, .dropped.small, "
                                    ".dropped.saturated, .dropped.dim]' "
                                        + ShellQuote(report),
                                    dir.path());
    EXPECT_EQ(dropped.out, "[" + std::to_string(counted["written"]) + ",1,1,1,1]\n");
}

TEST(Cli, PlotsOfEachFileGoIntoAFolderMadeForThem)
{
    TempDir dir;
    DiscClip().write(dir.file("jupiter.avi"), 12);
    std::ofstream(dir.file("broken.avi")) << "not a video";
    const std::string plots = dir.file("plots/night");
    const auto r =
        RunCommand(Cli("-W 32 -H 32 --plots " + ShellQuote(plots) + " --quality-plot " + ShellQuote(dir.file("q.png"))
                       + " " + ShellQuote(dir.file("jupiter.avi")) + " " + ShellQuote(dir.file("broken.avi"))),
                   dir.path());
    EXPECT_EQ(r.status, 3) << r.err;   // the broken file failed
    // A PNG's signature, then its header chunk: width and height, big-endian.
    const auto pngSize = [](const std::string& file) {
        const std::string bytes = ReadWholeFile(file);
        if (bytes.size() < 24 || bytes.substr(0, 8) != "\x89PNG\r\n\x1a\n" || bytes.substr(12, 4) != "IHDR")
            return std::pair<int, int>{0, 0};
        const auto number = [&](std::size_t at) {
            return int(std::uint8_t(bytes[at])) << 24 | int(std::uint8_t(bytes[at + 1])) << 16
                | int(std::uint8_t(bytes[at + 2])) << 8 | int(std::uint8_t(bytes[at + 3]));
        };
        return std::pair<int, int>{number(16), number(20)};
    };
    EXPECT_EQ(pngSize(plots + "/jupiter_drift.png"), (std::pair<int, int>{640, 360}));
    EXPECT_EQ(pngSize(plots + "/jupiter_quality.png"), (std::pair<int, int>{640, 360}));
    // --quality-plot draws the same picture.
    EXPECT_EQ(ReadWholeFile(plots + "/jupiter_quality.png"), ReadWholeFile(dir.file("q-jupiter.png")));
    // A file without frames has no plots.
    EXPECT_FALSE(std::filesystem::exists(plots + "/broken_drift.png"));
    EXPECT_FALSE(std::filesystem::exists(plots + "/broken_quality.png"));
}

// Runs command in dir, where the tests below name their files.
CommandResult RunIn(const TempDir& dir, const std::string& command, const std::string& scratch)
{
    return RunCommand("cd " + ShellQuote(dir.path()) + " && { " + command + "; }", scratch);
}

// A capture the camera program split in three: joined it is one SER whose
// stamps run on, with each part counted; a part of another size stops the
// join before anything is written; pieces cut by time are named by their
// own mid-times.
TEST(Cli, SplitCaptureIsJoinedRefusedWhenAPartDiffersAndCutIntoPieces)
{
    TempDir dir;
    std::string make;
    for (int part = 0; part < 3; ++part)
        make += std::string(ORBICROP_MAKE_SAMPLE) + " --frames 40 --ser-depth 8 --seed " + std::to_string(part)
            + " --stamps-from " + std::to_string(40 * part) + " p" + std::to_string(part + 1) + ".ser && ";
    const auto made =
        RunIn(dir, make + ORBICROP_MAKE_SAMPLE + " --frames 40 --size 320x240 --ser-depth 8 odd.ser", dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    std::vector<std::uint64_t> stamps;
    for (const char* part : {"p1.ser", "p2.ser", "p3.ser"}) {
        const auto own = ReadSerFile(dir.file(part)).trailer();
        stamps.insert(stamps.end(), own.begin(), own.end());
    }

    const auto refused = RunIn(dir, Cli("--join --format ser p1.ser odd.ser p3.ser"), dir.path());
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("Cannot join odd.ser: its frames are 320 \u00d7 240, those of p1.ser 640 \u00d7 480"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(RunIn(dir, "ls -A | grep -v '^[.]std'", dir.path()).out, "odd.ser\np1.ser\np2.ser\np3.ser\n");

    const auto joined = RunIn(
        dir, Cli("--join --format ser -W 64 -H 64 --track t.csv --report r.json p1.ser p2.ser p3.ser"), dir.path());
    ASSERT_EQ(joined.status, 0) << joined.err;
    const SerFileContents ser = ReadSerFile(dir.file("p1_orbic.ser"));
    EXPECT_EQ(ser.frameCount, 120);
    EXPECT_EQ(ser.trailer(), stamps);
    const auto parts =
        RunIn(dir, "jq -c '[.files[0].joined[] | [.input, .first_frame, .seen, .written]]' r.json", dir.path());
    EXPECT_EQ(parts.out, "[[\"p1.ser\",0,40,40],[\"p2.ser\",40,40,40],[\"p3.ser\",80,40,40]]\n");
    const auto track = Lines(ReadWholeFile(dir.file("t.csv")));
    ASSERT_EQ(track.size(), 121u);
    EXPECT_EQ(track[40].substr(0, 12), "\"p1.ser\",39,");
    EXPECT_EQ(track[41].substr(0, 12), "\"p2.ser\",40,");

    // 120 frames at 30 a second: two pieces of 2 s, each named by its own
    // frames' mid-time (22:13:21 and 22:13:23 to a tenth of a minute).
    const auto cut =
        RunIn(dir, Cli("--join --format ser -W 64 -H 64 --segment 2 --winjupos-name -o cut p1.ser p2.ser p3.ser"),
              dir.path());
    ASSERT_EQ(cut.status, 0) << cut.err;
    const SerFileContents first = ReadSerFile(dir.file("cut/2022-09-28-2213_3-p1_orbic_part1.ser"));
    const SerFileContents second = ReadSerFile(dir.file("cut/2022-09-28-2213_4-p1_orbic_part2.ser"));
    EXPECT_EQ(first.trailer(), std::vector<std::uint64_t>(stamps.begin(), stamps.begin() + 60));
    EXPECT_EQ(second.trailer(), std::vector<std::uint64_t>(stamps.begin() + 60, stamps.end()));
    EXPECT_EQ(RunIn(dir, "ls -A cut", dir.path()).out,
              "2022-09-28-2213_3-p1_orbic_part1.ser\n2022-09-28-2213_4-p1_orbic_part2.ser\n");
}

// Frames chosen by their capture time, over the joined parts; a file whose
// frames have no time is refused by name.
TEST(Cli, TimeRangeKeepsTheFramesCapturedWithinItAndRefusesFilesWithoutTimes)
{
    TempDir dir;
    const auto made = RunIn(dir,
                            std::string(ORBICROP_MAKE_SAMPLE) + " --frames 60 --ser-depth 8 a.ser && "
                                + ORBICROP_MAKE_SAMPLE + " --frames 60 --ser-depth 8 --stamps-from 60 b.ser && "
                                + ORBICROP_MAKE_SAMPLE + " --frames 10 p.avi",
                            dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    auto stamps = ReadSerFile(dir.file("a.ser")).trailer();
    const auto more = ReadSerFile(dir.file("b.ser")).trailer();
    stamps.insert(stamps.end(), more.begin(), more.end());

    // Frame k is stamped k x 333333 ticks after 22:13:20: 31 is the first at
    // or after 22:13:21, 90 the last before 22:13:23.
    const auto r =
        RunIn(dir, Cli("--join --format ser -W 64 -H 64 --time-range 22:13:21-22:13:23 a.ser b.ser"), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadSerFile(dir.file("a_orbic.ser")).trailer(),
              std::vector<std::uint64_t>(stamps.begin() + 31, stamps.begin() + 91));

    const auto timeless = RunIn(dir, Cli("--time-range 22:13:21-22:13:23 a.ser p.avi"), dir.path());
    EXPECT_EQ(timeless.status, 2);
    EXPECT_NE(timeless.err.find("The frames of p.avi carry no capture time"), std::string::npos) << timeless.err;
}

// Three parts of one stamped capture, as the camera program split it.
void MakeStampedParts(const TempDir& dir)
{
    std::string make;
    for (int part = 0; part < 3; ++part)
        make += std::string(ORBICROP_MAKE_SAMPLE) + " --frames 40 --ser-depth 8 --seed " + std::to_string(part)
            + " --stamps-from " + std::to_string(40 * part) + " p" + std::to_string(part + 1) + ".ser && ";
    const auto made = RunIn(dir, make + "true", dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
}

// A part that lost its trailer makes the SER output's trailer impossible:
// the output has none, and the log names the part, not the first one; a
// part whose trailer was cut short is named in the notice. An output that
// keeps no stamps (AVI) says nothing of them.
TEST(Cli, JoinWithAPartWithoutStampsNamesItAndWritesNoTrailer)
{
    TempDir dir;
    MakeStampedParts(dir);
    const std::uintmax_t whole = std::filesystem::file_size(dir.file("p2.ser"));
    std::filesystem::copy_file(dir.file("p2.ser"), dir.file("cut.ser"));
    std::filesystem::resize_file(dir.file("p2.ser"), whole - 40 * 8);   // no trailer at all
    std::filesystem::resize_file(dir.file("cut.ser"), whole - 100);     // half a trailer

    const std::string kNote = "p2.ser carries no time stamps, so the joined output has none";
    const auto r = RunIn(dir, Cli("--join --format ser -W 64 -H 64 p1.ser p2.ser p3.ser"), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nJoined 3 files: 120 frames read, 120 written\n" + kNote + "\n"), std::string::npos)
        << r.out;
    const SerFileContents ser = ReadSerFile(dir.file("p1_orbic.ser"));
    EXPECT_EQ(ser.frameCount, 120);
    EXPECT_TRUE(ser.tail.empty());

    const auto pieces =
        RunIn(dir, Cli("--join --format ser -W 64 -H 64 --segment 1 -o pieces p1.ser p2.ser p3.ser"), dir.path());
    ASSERT_EQ(pieces.status, 0) << pieces.err;
    EXPECT_NE(pieces.out.find("p2.ser carries no time stamps, so the pieces that hold its frames have none"),
              std::string::npos)
        << pieces.out;

    const auto cut = RunIn(dir, Cli("--join --format ser -W 64 -H 64 -o cut p1.ser cut.ser p3.ser"), dir.path());
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(cut.out.find("Opening file p1.ser\n - 120 frames\n - Input res 640 x 480\n - cut.ser: The frames' time "
                           "stamps are incomplete; the file is read as having none\n"),
              std::string::npos)
        << cut.out;
    EXPECT_NE(cut.out.find("cut.ser carries no time stamps, so the joined output has none"), std::string::npos)
        << cut.out;

    const auto avi = RunIn(dir, Cli("--join -W 64 -H 64 -o avi p1.ser p2.ser p3.ser"), dir.path());
    ASSERT_EQ(avi.status, 0) << avi.err;
    EXPECT_EQ(avi.out.find("time stamps"), std::string::npos) << avi.out;
}

// The same file twice, however it is named, would be written twice with
// its stamps repeated: refused by name, nothing written.
TEST(Cli, JoinRefusesTheSameFileTwice)
{
    TempDir dir;
    MakeStampedParts(dir);
    std::filesystem::create_symlink("p1.ser", dir.file("link.ser"));
    std::filesystem::create_hard_link(dir.file("p2.ser"), dir.file("hard.ser"));
    const std::pair<const char*, const char*> cases[] = {
        {"p1.ser p2.ser p1.ser", "Cannot join p1.ser: it is given twice"},
        {"p1.ser ./p1.ser", "Cannot join p1.ser: it is given twice"},
        {"p1.ser link.ser", "Cannot join link.ser: it is the same file as p1.ser"},
        {"p1.ser p2.ser hard.ser p3.ser", "Cannot join hard.ser: it is the same file as p2.ser"},
    };
    for (const auto& [files, message] : cases) {
        const auto r = RunIn(dir, Cli(std::string("--join --format ser -W 64 -H 64 ") + files), dir.path());
        EXPECT_EQ(r.status, 2) << files;
        EXPECT_NE(r.err.find(message), std::string::npos) << files << ": " << r.err;
    }
    EXPECT_EQ(RunIn(dir, "ls -A | grep -v '^[.]std'", dir.path()).out, "hard.ser\nlink.ser\np1.ser\np2.ser\np3.ser\n");
}

// Parts whose frames carry their capture times must come in that order;
// a part without times cannot be placed and is taken as given.
TEST(Cli, JoinRefusesPartsOutOfTheirCaptureOrder)
{
    TempDir dir;
    MakeStampedParts(dir);
    const auto swapped = RunIn(dir, Cli("--join --format ser -W 64 -H 64 p2.ser p1.ser p3.ser"), dir.path());
    EXPECT_EQ(swapped.status, 2);
    EXPECT_NE(swapped.err.find("p1.ser starts before p2.ser ends: give the parts in the order they were captured"),
              std::string::npos)
        << swapped.err;
    const auto late = RunIn(dir, Cli("--join --format ser -W 64 -H 64 p1.ser p3.ser p2.ser"), dir.path());
    EXPECT_EQ(late.status, 2);
    EXPECT_NE(late.err.find("p2.ser starts before p3.ser ends"), std::string::npos) << late.err;
    EXPECT_EQ(RunIn(dir, "ls -A | grep -v '^[.]std'", dir.path()).out, "p1.ser\np2.ser\np3.ser\n");

    // Without its trailer p2 tells no time: p1 before p3 is the only order known.
    std::filesystem::resize_file(dir.file("p2.ser"), std::filesystem::file_size(dir.file("p2.ser")) - 40 * 8);
    const auto untimed = RunIn(dir, Cli("--join --format ser -W 64 -H 64 p2.ser p1.ser p3.ser"), dir.path());
    EXPECT_EQ(untimed.status, 0) << untimed.err;
}

// Two parts of one 12-bit capture, the second of which never reaches the
// 12th bit, are one capture: joined they give what the capture read as one
// file gives, in 8 bits (AVI) and in its own samples (SER), whichever part
// comes first. Parts whose headers declare other depths are refused.
TEST(Cli, JoinTakesPartsOfOneDepthWhoseSamplesUseFewerBits)
{
    TempDir dir;
    for (const std::int32_t colourId : {0, 100}) {   // mono (grey pictures), RGB (24-bit pictures)
        SerClip parts[2];
        SerClip whole;
        for (SerClip* clip : {&parts[0], &parts[1], &whole}) {
            clip->colourId = colourId;
            clip->width = 96;
            clip->height = 80;
            clip->depth = 12;
        }
        // Frames 0-3 reach 3000 (12 bits), frames 4-7 stay below 2048 (11 bits).
        for (int f = 0; f < 8; ++f) {
            const auto make = [f](int x, int y, int plane) {
                const bool disc = (x - 40 - 2 * f) * (x - 40 - 2 * f) + (y - 38 - f) * (y - 38 - f) <= 15 * 15;
                return disc ? (f < 4 ? 3000 : 2000) - 100 * plane : 100 + 7 * ((x + y + f) % 5);
            };
            parts[f / 4].addFrame(make);
            whole.addFrame(make);
        }
        for (const bool deepFirst : {true, false}) {
            const std::string first = deepFirst ? "deep.ser" : "shallow.ser";
            const std::string second = deepFirst ? "shallow.ser" : "deep.ser";
            SerClip joined = whole;
            if (!deepFirst)
                std::rotate(joined.frames.begin(), joined.frames.begin() + 4, joined.frames.end());
            dir.write("deep.ser", parts[0].bytes());
            dir.write("shallow.ser", parts[1].bytes());
            dir.write("whole.ser", joined.bytes());
            const std::string what = "colour " + std::to_string(colourId) + ", " + first + " first";
            for (const char* format : {"avi", "ser"}) {
                const std::string common = std::string("-W 32 -H 32 --format ") + format;
                const auto one = RunIn(dir, Cli(common + " -o one whole.ser"), dir.path());
                ASSERT_EQ(one.status, 0) << what << ": " << one.err;
                const auto two = RunIn(dir, Cli(common + " --join -o two " + first + " " + second), dir.path());
                ASSERT_EQ(two.status, 0) << what << ": " << two.err;
                const std::string stem = first.substr(0, first.size() - 4);
                if (std::string(format) == "ser") {
                    const SerFileContents a = ReadSerFile(dir.file("one/whole_orbic.ser"));
                    const SerFileContents b = ReadSerFile(dir.file("two/" + stem + "_orbic.ser"));
                    EXPECT_EQ(b.depth, 12) << what;
                    EXPECT_EQ(a.depth, b.depth) << what;
                    EXPECT_EQ(a.frames, b.frames) << what;
                } else {
                    const std::string name = colourId == 0 ? "_Y8orbic.avi" : "_orbic.avi";
                    const std::string a = DecodeWithFfmpeg(dir.file("one/whole" + name), "bgr24", dir.path());
                    const std::string b = DecodeWithFfmpeg(dir.file("two/" + stem + name), "bgr24", dir.path());
                    EXPECT_FALSE(a.empty()) << what;
                    EXPECT_TRUE(a == b) << what << ": the joined AVI differs from the whole capture's";
                }
            }
        }
    }

    SerClip other;
    other.width = 96;
    other.height = 80;
    other.depth = 16;   // the same 12-bit data, declared 16 bits deep
    for (int f = 0; f < 4; ++f)
        other.addFrame([](int x, int y, int) { return (x - 40) * (x - 40) + (y - 38) * (y - 38) <= 225 ? 3000 : 100; });
    SerClip deep = other;
    deep.depth = 12;
    dir.write("a.ser", deep.bytes());
    dir.write("b.ser", other.bytes());
    const auto refused = RunIn(dir, Cli("--join -W 32 -H 32 a.ser b.ser"), dir.path());
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("Cannot join b.ser: its frames are 16-bit mono, those of a.ser 12-bit mono"),
              std::string::npos)
        << refused.err;
}

// Every file the tool reads can be joined: H.264, MJPEG, uncompressed frames
// that FFmpeg's module reads (an AVI with a sound track), and a plain AVI
// before one of them. The joined output holds, frame for frame, what each
// part gives alone.
TEST(Cli, JoinOfPartsReadThroughFfmpegWritesWhatEachPartWritesAlone)
{
    TempDir dir;
    const auto made = RunIn(dir, std::string(ORBICROP_MAKE_SAMPLE) + " --frames 60 whole.avi", dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    // How ffmpeg makes a part of whole.avi: its inputs beside it, its output arguments, its file's extension.
    struct Part {
        std::string inputs;
        std::string output;
        std::string extension;
    };
    const Part h264{"", "-c:v libx264 -g 8", ".mp4"};
    const Part mjpeg{"", "-c:v mjpeg -q:v 3", ".avi"};
    const Part sound{"-f lavfi -i anullsrc=r=8000:cl=mono",
                     "-map 0:v -map 1:a -shortest -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le", ".avi"};
    const Part plain{"", "", ".avi"};   // our own writer's: read without FFmpeg
    const std::tuple<const char*, Part, Part> kinds[] = {
        {"h264", h264, h264},
        {"mjpeg", mjpeg, mjpeg},
        {"raw with sound", sound, sound},
        {"plain, then h264", plain, h264},
    };
    int n = 0;
    for (const auto& [kind, first, second] : kinds) {
        const std::string sub = dir.file("k" + std::to_string(n++));
        std::filesystem::create_directory(sub);
        std::filesystem::copy_file(dir.file("whole.avi"), sub + "/whole.avi");
        const std::string names[2] = {"p1" + first.extension, "p2" + second.extension};
        for (int part = 0; part < 2; ++part) {
            const Part& how = part == 0 ? first : second;
            const std::string frames = part == 0 ? "-frames:v 30" : "-vf trim=start_frame=30,setpts=PTS-STARTPTS";
            const std::string make = how.output.empty()
                ? std::string(ORBICROP_MAKE_SAMPLE) + " --frames 30 " + names[part]
                : "ffmpeg -nostdin -v error -y -i whole.avi " + how.inputs + " " + frames + " " + how.output + " "
                    + names[part];
            const auto cut = RunCommand("cd " + ShellQuote(sub) + " && " + make, dir.path());
            ASSERT_EQ(cut.status, 0) << kind << ": " << cut.err;
        }
        const std::string inputs = names[0] + " " + names[1];
        const auto joined = RunCommand(
            "cd " + ShellQuote(sub) + " && " + Cli("--join -W 64 -H 64 --report r.json -o j " + inputs), dir.path());
        ASSERT_EQ(joined.status, 0) << kind << ": " << joined.err;
        const auto apart = RunCommand("cd " + ShellQuote(sub) + " && " + Cli("-W 64 -H 64 -o s " + inputs), dir.path());
        ASSERT_EQ(apart.status, 0) << kind << ": " << apart.err;
        const auto parts = RunCommand("jq -c '[.files[0].joined[] | [.input, .first_frame, .seen, .written]]' "
                                          + ShellQuote(sub + "/r.json"),
                                      dir.path());
        EXPECT_EQ(parts.out, "[[\"" + names[0] + "\",0,30,30],[\"" + names[1] + "\",30,30,30]]\n") << kind;
        const std::string whole = DecodeWithFfmpeg(sub + "/j/p1_orbic.avi", "bgr24", dir.path());
        const std::string each = DecodeWithFfmpeg(sub + "/s/p1_orbic.avi", "bgr24", dir.path())
            + DecodeWithFfmpeg(sub + "/s/p2_orbic.avi", "bgr24", dir.path());
        EXPECT_EQ(whole.size(), std::size_t(60 * 64 * 64 * 3)) << kind;
        EXPECT_TRUE(whole == each) << kind << ": the joined output differs from the parts' own";
    }
}

// A 12-bit disc at 4080 is white in the 8-bit picture but four levels short
// of its own top: the saturation check reads the samples, whichever way the
// capture's frames are read for the output (8-bit AVI or samples to SER).
TEST(Cli, ADeepCaptureIsSaturatedOnlyAtTheTopOfItsOwnDepth)
{
    TempDir dir;
    SerClip clip;
    clip.width = 96;
    clip.height = 80;
    clip.depth = 12;
    for (int f = 0; f < 4; ++f)
        clip.addFrame([f](int x, int y, int) {
            const bool disc = (x - 46 - f) * (x - 46 - f) + (y - 40) * (y - 40) <= 15 * 15;
            return disc ? (f == 2 ? 4095 : 4080) : 100;
        });
    dir.write("deep.ser", clip.bytes());
    for (const char* format : {"avi", "ser"}) {
        const std::string track = dir.file(std::string("t-") + format + ".csv");
        const auto r = RunIn(dir,
                             Cli(std::string("-W 32 -H 32 --max-saturated 5 --format ") + format + " --track "
                                 + ShellQuote(track) + " -o " + format + " deep.ser"),
                             dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto lines = Lines(ReadWholeFile(track));
        ASSERT_EQ(lines.size(), 5u) << format;
        for (int f = 0; f < 4; ++f) {
            EXPECT_EQ(TrackOutcome(lines[std::size_t(f) + 1]), f == 2 ? "saturated" : "written")
                << format << " frame " << f;
        }
    }
}

// Siril reads each still format as it reads our SER output: the same size
// and depth, the same pixels the same way up, and, from FITS, the Bayer
// pattern as the header names it.
TEST(Cli, StillSequencesOpenInSirilAsTheSerDoes)
{
    if (!OnPath("siril-cli"))
        GTEST_SKIP() << "siril-cli is not installed: the check with Siril was skipped";
    TempDir dir;
    // A raw 12-bit RGGB capture whose frames are not the same upside down: a
    // disc with a bright square up and left of it.
    SerClip clip;
    clip.colourId = 8;
    clip.width = 96;
    clip.height = 80;
    clip.depth = 12;
    for (int f = 0; f < 4; ++f)
        clip.addFrame([](int x, int y, int) {
            if (x >= 20 && x < 34 && y >= 14 && y < 26)
                return 4000;
            return (x - 48) * (x - 48) + (y - 40) * (y - 40) <= 196 ? 2500 : 200 + (x * 7 + y * 3) % 50;
        });
    dir.write("bay.ser", clip.bytes());
    std::string run = "true";
    for (const char* format : {"ser", "tiff", "fits", "png"})
        run += std::string(" && ") + Cli(std::string("-W 64 -H 64 --format ") + format + " -o " + format + " bay.ser");
    ASSERT_EQ(RunIn(dir, run, dir.path()).status, 0);
    const auto siril = [&](const std::string& script) {
        std::ofstream(dir.file("check.ssf")) << "requires 0.99.10\n" << script;
        const auto r = RunIn(dir, SirilCli(dir) + " -s check.ssf", dir.path());
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        return r.out;
    };
    // The top and the bottom 32 rows of frame 2 as Siril shows the SER.
    const auto serMean = [&](int y) {
        siril("cd ser\nseqcrop bay_orbic 0 " + std::to_string(y) + " 64 32\nseqstat cropped_bay_orbic stats.csv\n");
        const auto rows = Lines(ReadWholeFile(dir.file("ser/stats.csv")));
        EXPECT_GE(rows.size(), 4u);
        const std::string& row = rows.at(3);   // the header, then frames 0, 1, 2
        return std::stod(row.substr(row.find('\t', row.find('\t') + 1) + 1)) * 65535.0;
    };
    const double top = serMean(0);
    EXPECT_GT(std::abs(top - serMean(32)), 20.0);   // a frame upside down would show

    for (const std::string file : {"tiff/bay_orbic/bay_orbic_000002.tif", "fits/bay_orbic/bay_orbic_000002.fits",
                                   "png/bay_orbic/bay_orbic_000002.png"}) {
        const std::string log = siril("load " + file + "\ncrop 0 0 64 32\nstat\n");
        EXPECT_NE(log.find(file.find(".fits") != std::string::npos ? "1 layer(s), 64x64 pixels"
                                                                   : "16-bit file bay_orbic_000002"),
                  std::string::npos)
            << log;
        const std::size_t mean = log.find("B&W layer: Mean: ");
        ASSERT_NE(mean, std::string::npos) << log;
        EXPECT_NEAR(std::stod(log.substr(mean + 17)), top, 0.1) << file;
    }
    // Cropped on even offsets, the RGGB mosaic is RGGB from the top, and
    // beside ROWORDER the header names it from the top.
    const std::string debayered = siril("cd fits/bay_orbic\nconvert deb -debayer -out=../deb\n");
    EXPECT_NE(debayered.find("Filter Pattern: RGGB"), std::string::npos) << debayered;
}

// A night's files spread over processes by GNU parallel give the outputs
// one batch gives: each file is independent.
TEST(Cli, FilesRunByGnuParallelGiveTheOutputsOfOneBatch)
{
    if (!OnPath("parallel"))
        GTEST_SKIP() << "GNU parallel is not installed: the check was skipped";
    TempDir dir;
    std::string make = "true";
    for (int part = 0; part < 3; ++part)
        make += std::string(" && ") + ORBICROP_MAKE_SAMPLE + " --frames 12 --ser-depth 12 --seed "
            + std::to_string(part) + " n" + std::to_string(part) + ".ser";
    ASSERT_EQ(RunIn(dir, make, dir.path()).status, 0);
    const auto batch = RunIn(dir, Cli("--format ser -o one n0.ser n1.ser n2.ser"), dir.path());
    ASSERT_EQ(batch.status, 0) << batch.err;
    const auto spread = RunIn(dir,
                              "parallel -j 3 --halt now,fail=1 " + Cli("--format ser --report many-{.}.json -o many {}")
                                  + " ::: n0.ser n1.ser n2.ser",
                              dir.path());
    ASSERT_EQ(spread.status, 0) << spread.err;
    for (const char* name : {"n0_orbic.ser", "n1_orbic.ser", "n2_orbic.ser"})
        EXPECT_EQ(ReadWholeFile(dir.file(std::string("many/") + name)),
                  ReadWholeFile(dir.file(std::string("one/") + name)))
            << name;
}

// Four files at once write and tell what one file at a time does: the same
// outputs, track, report, messages and log (but for its speeds), over an
// AVI, a SER, an H.264 file, a file that cannot be read and two whose outputs
// clash; the later files are shorter, so that they end first.
TEST(Cli, JobsGiveTheOutcomeOfOneFileAtATime)
{
    TempDir dir;
    const std::string make = ORBICROP_MAKE_SAMPLE;
    ASSERT_EQ(RunIn(dir,
                    make + " --frames 30 a.avi && " + make + " --frames 24 --ser-depth 12 --seed 2 b.ser && " + make
                        + " --frames 20 --seed 3 p.avi && ffmpeg -nostdin -v error -i p.avi -c:v libx264 -g 8 "
                          "-pix_fmt yuv420p c.mp4 && printf 'not a video' > broken.avi && mkdir d1 d2 && "
                        + make + " --frames 12 --seed 4 d1/x.avi && " + make + " --frames 9 --seed 5 d2/x.avi",
                    dir.path())
                  .status,
              0);
    // Each run writes into out, renamed after it, so that both tell the same paths.
    std::map<int, CommandResult> runs;
    for (const int jobs : {1, 4}) {
        const std::string name = "jobs" + std::to_string(jobs);
        runs[jobs] = RunIn(dir,
                           Cli("--jobs " + std::to_string(jobs)
                               + " --color -W 64 -H 64 -o out --track out/t.csv --report out/r.json a.avi "
                                 "broken.avi b.ser c.mp4 d1/x.avi d2/x.avi")
                               + "; status=$?; mv out " + name + "; exit $status",
                           dir.path());
        EXPECT_EQ(runs[jobs].status, 3) << runs[jobs].err;
    }
    EXPECT_NE(runs[1].err.find("d2/x.avi: Skipped d2/x.avi: its output out/x_orbic.avi is already the output of "
                               "d1/x.avi"),
              std::string::npos)
        << runs[1].err;
    EXPECT_EQ(runs[4].err, runs[1].err);
    const auto withoutSpeeds = [](const std::string& log) {
        return std::regex_replace(log, std::regex(" - FPS: [0-9]+\n"), "");
    };
    EXPECT_EQ(withoutSpeeds(runs[4].out), withoutSpeeds(runs[1].out));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("jobs1")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(
        names,
        (std::vector<std::string>{"a_orbic.avi", "b_orbic.avi", "c_orbic.avi", "r.json", "t.csv", "x_orbic.avi"}));
    for (const std::string& name : names)
        EXPECT_EQ(ReadWholeFile(dir.file("jobs4/" + name)), ReadWholeFile(dir.file("jobs1/" + name))) << name;
}

// The window's output folder is the tool's too, unless -o says otherwise; a
// capture already named by its time is named by its frames' time once.
TEST(Cli, SettingsFileGivesTheOutputFolderAndAWinJuposTimeIsNotDoubled)
{
    TempDir dir;
    DiscClip().write(dir.file("m.avi"), 3);
    std::ofstream(dir.file("Orbicrop.ini")) << "[Output]\nfolder=" << dir.file("saved") << "\n";
    const std::string settings = "--settings " + ShellQuote(dir.file("Orbicrop.ini")) + " -W 32 -H 32 ";
    auto r = RunCommand(Cli(settings + ShellQuote(dir.file("m.avi"))), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunCommand("ls " + ShellQuote(dir.file("saved")), dir.path()).out, "m_Y8orbic.avi\n");
    r = RunCommand(Cli(settings + "-o " + ShellQuote(dir.file("given")) + " " + ShellQuote(dir.file("m.avi"))),
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunCommand("ls " + ShellQuote(dir.file("given")), dir.path()).out, "m_Y8orbic.avi\n");

    const std::string named = "2022-09-28-2213_3-p1.ser";
    ASSERT_EQ(RunIn(dir, std::string(ORBICROP_MAKE_SAMPLE) + " --frames 20 --ser-depth 8 " + named, dir.path()).status,
              0);
    r = RunIn(dir, Cli("--format ser --winjupos-name -o wj " + named), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunIn(dir, "ls wj", dir.path()).out, "2022-09-28-2213_3-p1_orbic.ser\n");
}
