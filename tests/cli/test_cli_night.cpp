// SPDX-License-Identifier: GPL-3.0-or-later
// A whole night in one command: folders of targets, a capture split in
// parts, one cut short, one cloudy, one unreadable; a rerun that skips what
// was done; a run killed with SIGKILL and finished by the next; the report
// as a browser shows it.

#include "support/chromium.h"
#include "support/disc_video.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void Sample(const TempDir& dir, const std::string& options, const std::string& file)
{
    const auto r =
        RunCommand(std::string(ORBICROP_MAKE_SAMPLE) + " " + options + " " + ShellQuote(dir.file(file)), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
}

// The night's folder: three targets in folders of their own.
void MakeNight(const TempDir& dir)
{
    for (const char* target : {"night/jupiter", "night/saturn", "night/mars"})
        fs::create_directories(dir.file(target));
    Sample(dir, "--frames 12 --ser-depth 8", "night/jupiter/Jupiter_213500_0001.ser");
    Sample(dir, "--frames 12 --ser-depth 8 --stamps-from 12 --seed 5", "night/jupiter/Jupiter_213500_0002.ser");
    Sample(dir, "--frames 8 --ser-depth 8 --stamps-from 24 --seed 6", "night/jupiter/Jupiter_213500_0003.ser");
    Sample(dir, "--frames 10 --rings --ser-depth 12", "night/saturn/Saturn_221000.ser");
    // Cut short when the disk filled: the header names 16 frames, 9 are there.
    Sample(dir, "--frames 16 --ser-depth 8 --seed 9", "night/mars/Mars_230000.ser");
    fs::resize_file(dir.file("night/mars/Mars_230000.ser"), 178 + 9 * 640 * 480);
    // Cloud over every other frame.
    DiscClip cloudy;
    cloudy.width = 320;
    cloudy.height = 240;
    cloudy.radius = 30;
    WritePaintedAvi(dir.file("night/mars/Mars_231500.avi"), 320, 240, 10, false, [](int f, int x, int y) {
        return f % 2 == 1 ? 12 : (x - 160) * (x - 160) + (y - 120) * (y - 120) < 900 ? 190 : 12;
    });
    std::ofstream(dir.file("night/mars/Mars_232000.avi")) << "the disk filled before this one began";
}

std::string Cli(const TempDir& dir, const std::string& options)
{
    return "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 64 -H 64 " + options;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Jq(const TempDir& dir, const std::string& filter, const std::string& file)
{
    return RunCommand("jq -r " + ShellQuote(filter) + " " + ShellQuote(dir.file(file)), dir.path()).out;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}   // namespace

TEST(CliNight, OneCommandForTheNightThenARerunSkipsIt)
{
    TempDir dir;
    MakeNight(dir);
    const auto r = RunCommand(Cli(dir, "-r --join auto --track t.csv night"), dir.path());
    EXPECT_EQ(r.status, 3) << r.err;   // the unreadable one failed
    EXPECT_NE(r.out.find("Joined as one capture: Jupiter_213500_0001.ser, Jupiter_213500_0002.ser, "
                         "Jupiter_213500_0003.ser\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("Mars_232000.avi: Couldn't load the file!"), std::string::npos) << r.err;
    for (const char* output :
         {"Jupiter_213500_0001_orbic.avi", "Saturn_221000_orbic.avi", "Mars_230000_orbic.avi", "Mars_231500_orbic.avi"})
        EXPECT_TRUE(fs::exists(dir.file(std::string("night/") + output))) << output;
    EXPECT_FALSE(fs::exists(dir.file("night/Jupiter_213500_0002_orbic.avi")));

    // The report adds up to the track: every frame read is a line, written or
    // dropped for its reason.
    const auto track = Lines(ReadWholeFile(dir.file("t.csv")));
    ASSERT_GT(track.size(), 1u);
    std::size_t written = 0;
    for (const std::string& line : track)
        written += line.find(",written") != std::string::npos ? 1 : 0;
    EXPECT_EQ(Jq(dir, ".totals.frames_read", "night/night.json"), std::to_string(track.size() - 1) + "\n");
    EXPECT_EQ(Jq(dir, ".totals.frames_written", "night/night.json"), std::to_string(written) + "\n");
    EXPECT_EQ(Jq(dir, "[.captures[].frames.seen] | add", "night/night.json"), std::to_string(track.size() - 1) + "\n");
    EXPECT_EQ(Jq(dir, ".captures[] | select(.name == \"Mars_231500.avi\") | .frames.dropped[\"no planet\"]",
                 "night/night.json"),
              "5\n");
    EXPECT_EQ(Jq(dir, ".captures[] | select(.name == \"Mars_230000.ser\") | [.frames.seen, .reason] | @tsv",
                 "night/night.json"),
              "9\tthe file ended after 9 of its 16 frames\n");

    // A browser draws the page and finds the totals in it.
    const std::string dom = Chromium({"--dump-dom", "file://" + dir.file("night/night.html")}, dir);
    EXPECT_NE(dom.find("id=\"frames-read\">" + std::to_string(track.size() - 1) + "<"), std::string::npos);
    Chromium(
        {"--screenshot=" + dir.file("page.png"), "--window-size=1366,900", "file://" + dir.file("night/night.html")},
        dir);
    const auto spread = RunCommand(
        "convert " + ShellQuote(dir.file("page.png")) + " -format '%[fx:standard_deviation]' info:", dir.path());
    EXPECT_GT(std::stod(spread.out.empty() ? "0" : spread.out), 0.02) << "a blank page";

    const auto again = RunCommand(Cli(dir, "-r --join auto night"), dir.path());
    // The unreadable one is tried again, and is all the test has to read.
    EXPECT_EQ(again.status, 1) << again.err;
    EXPECT_EQ(Count(again.out, "Skipped "), 4u) << again.out;
    EXPECT_EQ(again.out.find("Opening file Jupiter"), std::string::npos) << again.out;
    EXPECT_NE(again.err.find("4 captures skipped"), std::string::npos) << again.err;
    // The rerun's report is still the whole night, as the first run saw it.
    EXPECT_EQ(Jq(dir, ".totals.frames_read", "night/night.json"), std::to_string(track.size() - 1) + "\n");
    EXPECT_EQ(Jq(dir, ".captures[] | select(.name == \"Mars_232000.avi\") | .reason", "night/night.json"),
              "Couldn't load the file!\n");
}

// Killed with SIGKILL in the middle of the night, then run again: every
// capture is written exactly once, nothing half-written is left, and what
// was done before the kill is not done again.
TEST(CliNight, AKilledRunIsFinishedByTheNextWithNothingLostOrDoneTwice)
{
    TempDir dir;
    fs::create_directories(dir.file("in"));
    for (int i = 1; i <= 6; ++i)
        Sample(dir, "--frames 60 --ser-depth 8 --seed " + std::to_string(i), "in/cap" + std::to_string(i) + ".ser");
    const pid_t child = ::fork();
    if (child == 0) {
        ::chdir(dir.path().c_str());
        std::freopen("/dev/null", "w", stdout);
        ::execl(ORBICROP_CLI, ORBICROP_CLI, "-q", "-W", "64", "-H", "64", "-o", "out", "in", nullptr);
        ::_exit(127);
    }
    const std::string manifest = dir.file("out/orbicrop-night.json");
    for (int wait = 0; wait < 600 && !fs::exists(manifest); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";
    const std::string doneBefore =
        Jq(dir, "[.captures[].inputs[0].path | split(\"/\") | last] | join(\" \")", "out/orbicrop-night.json");

    const auto r =
        RunCommand("cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 64 -H 64 -o out in", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (int i = 1; i <= 6; ++i) {
        const std::string capture = "cap" + std::to_string(i) + ".ser";
        const bool skipped = r.out.find("Skipped " + capture) != std::string::npos;
        const bool opened = r.out.find("Opening file " + capture) != std::string::npos;
        EXPECT_NE(skipped, opened) << capture << "\n" << r.out;
        EXPECT_EQ(skipped, doneBefore.find(capture) != std::string::npos) << capture << " / " << doneBefore;
    }
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir.file("out")))
        if (entry.is_regular_file())
            entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries,
              (std::vector<std::string>{".orbicrop-night.lock", "cap1_orbic.avi", "cap2_orbic.avi", "cap3_orbic.avi",
                                        "cap4_orbic.avi", "cap5_orbic.avi", "cap6_orbic.avi", "night.html",
                                        "night.json", "orbicrop-night.json"}));
    EXPECT_EQ(Jq(dir, ".captures | length", "out/orbicrop-night.json"), "6\n");
}

// Two machines (here two processes) on one folder: each capture is claimed
// by one of them, the other skips it, and every output is written once.
TEST(CliNight, TwoRunsOnOneFolderShareTheCaptures)
{
    TempDir dir;
    fs::create_directories(dir.file("in"));
    for (int i = 1; i <= 6; ++i)
        Sample(dir, "--frames 30 --ser-depth 8 --seed " + std::to_string(i), "in/cap" + std::to_string(i) + ".ser");
    const std::string run = std::string(ORBICROP_CLI) + " -q -W 64 -H 64 -o out in";
    const auto r = RunCommand("cd " + ShellQuote(dir.path()) + " && { " + run + " > a.log 2>&1 & " + run
                                  + " > b.log 2>&1; wait $!; }",
                              dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string logs = ReadWholeFile(dir.file("a.log")) + ReadWholeFile(dir.file("b.log"));
    for (int i = 1; i <= 6; ++i) {
        const std::string output = "Output: " + dir.file("out/cap" + std::to_string(i) + "_orbic.avi") + "\n";
        EXPECT_EQ(Count(logs, output), 1u) << output << logs;
    }
    EXPECT_EQ(Jq(dir, ".captures | length", "out/orbicrop-night.json"), "6\n");
}
