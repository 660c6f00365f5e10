// SPDX-License-Identifier: GPL-3.0-or-later
// Where a batch's outputs go, end to end: every final name (plain, named
// after the frames' mid-time, a piece, a folder of frames) is given by one
// rule, and a batch that meets what it may not replace says so and goes on.

#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* what;
    std::string setup;      // shell commands in the case's folder; $MAKE and $CLI name the tools
    std::string args;       // the tool's
    int status;             // what the tool must exit with
    std::string said;       // what its standard error must hold
    std::string check;      // a shell command afterwards ...
    std::string expected;   // ... and what it must print
};

CommandResult Shell(const TempDir& dir, const std::string& commands)
{
    return RunCommand("cd " + ShellQuote(dir.path()) + " && MAKE=" + ShellQuote(ORBICROP_MAKE_SAMPLE)
                          + " CLI=" + ShellQuote(std::string(ORBICROP_CLI) + " -q") + " && { " + commands + "; }",
                      dir.path());
}

const std::string kLongStem(234, 'j');

const std::vector<Case> kCases{
    {"a folder of frames is not swapped for one that holds a stacker's results",
     "$MAKE --frames 4 --ser-depth 12 m12.ser && mkdir -p m12_orbic/AS_P25 && echo stack > m12_orbic/AS_P25/stack.tif",
     "--format tiff m12.ser", 3, "its output folder m12_orbic holds AS_P25, which is not one of its frames",
     "cat m12_orbic/AS_P25/stack.tif; ls m12_orbic", "stack\nAS_P25\n"},
    {"a folder of frames never replaces the folder its input is in",
     "mkdir -p inf/m12_orbic && $MAKE --frames 4 --ser-depth 12 inf/m12_orbic/m12.ser",
     "--format tiff -o inf inf/m12_orbic/m12.ser", 3, "its output m12_orbic holds the chosen input file m12.ser",
     "ls -A inf/m12_orbic", "m12.ser\n"},
    {"a name taken from the frames' mid-time does not replace a later input",
     "$MAKE --frames 20 --ser-depth 8 p1.ser && $MAKE --frames 30 --ser-depth 8 --seed 5 "
     "2022-09-28-2213_3-p1_orbic.ser && cp 2022-09-28-2213_3-p1_orbic.ser before.ser",
     "--format ser --winjupos-name p1.ser 2022-09-28-2213_3-p1_orbic.ser", 3,
     "The output 2022-09-28-2213_3-p1_orbic.ser is one of the chosen input files; its 20 frames are kept in "
     "2022-09-28-2213_3-p1_orbic-2.ser",
     "cmp before.ser 2022-09-28-2213_3-p1_orbic.ser && echo unchanged", "unchanged\n"},
    {"a rerun into fewer pieces removes the older run's later pieces",
     "$MAKE --frames 90 --gray x.avi && $CLI --gray -W 32 -H 32 --segment 1 x.avi 2>/dev/null && echo keep > "
     "other_part3.avi",
     "--gray -W 32 -H 32 --segment 2 x.avi", 0, "", "ls x_Y8orbic_part*.avi other*",
     "other_part3.avi\nx_Y8orbic_part1.avi\nx_Y8orbic_part2.avi\n"},
    {"a frame range past the end of the first file fails that file only",
     "$MAKE --frames 30 --gray p1.avi && $MAKE --frames 60 --gray p2.avi",
     "--gray -W 32 -H 32 --frames 40-50 p1.avi p2.avi", 3, "frames 40\u201350 lie past the end of p1.avi (30 frames)",
     "ls *_Y8orbic.avi", "p2_Y8orbic.avi\n"},
    {"an output name of 246 bytes is written", "$MAKE --frames 3 --gray " + kLongStem + ".avi",
     "--gray -W 32 -H 32 " + kLongStem + ".avi", 0, "", "ls *_Y8orbic.avi | wc -c", "247\n"},
    {"every frame rejected tells the reasons counted, not success", "$MAKE --frames 6 --gray x.avi",
     "--gray -W 32 -H 32 --min-size 400 x.avi", 3, "No frame of x.avi was written: 6 rejected as small", "ls",
     "x.avi\n"},
};

}   // namespace

TEST(CliPlacement, EveryFinalNameFollowsTheOneRule)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const CommandResult made = Shell(dir, c.setup);
        ASSERT_EQ(made.status, 0) << made.err;
        const CommandResult run = Shell(dir, "$CLI " + c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_EQ(Shell(dir, c.check).out, c.expected) << run.err;
    }
}

// The log's last word on a file that wrote nothing is not "complete".
TEST(CliPlacement, AFileThatWroteNothingIsNotLoggedComplete)
{
    TempDir dir;
    ASSERT_EQ(Shell(dir, "$MAKE --frames 6 --gray x.avi").status, 0);
    const CommandResult run = Shell(dir, std::string(ORBICROP_CLI) + " -W 32 -H 32 --min-size 400 x.avi");
    EXPECT_EQ(run.out.find("Orbicropping complete!"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Orbicropping failed: no frame was written!"), std::string::npos) << run.out;
}
