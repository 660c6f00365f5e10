// SPDX-License-Identifier: GPL-3.0-or-later
// Option errors and exit statuses of the command-line tool.

#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

CommandResult Cli(const std::string& args, const TempDir& dir)
{
    return RunCommand(std::string(ORBICROP_CLI) + " " + args, dir.path());
}

}   // namespace

TEST(CliUsage, BadOptionsExitWithStatusTwoAndNameTheOption)
{
    TempDir dir;
    struct Case {
        const char* args;
        const char* mentions;
    };
    for (Case c :
         {Case{"-W 100 x.avi", "--width"}, Case{"-H 16 x.avi", "--height"},
          Case{"-W 4112 x.avi", "multiple of 16 from 32 to 4096"}, Case{"-t 101 x.avi", "--threshold"},
          Case{"-t abc x.avi", "-100 to 100"}, Case{"--color --gray x.avi", "--gray"},
          Case{"--frobnicate x.avi", "--frobnicate"}, Case{"", "FILE"},
          Case{"--settings /no/such/Orbicrop.ini x.avi", "--settings"},
          Case{"--make-master sky m.fits x.avi", "dark, flat or bias, not 'sky'"},
          Case{"--make-master dark m.fits --bias /dev/null x.avi", "only when making a flat"},
          Case{"--hot-pixels hot x.avi", "--hot-pixels"}, Case{"--fps 0 x.avi", "--fps"},
          Case{"--fps 1001 x.avi", "up to 1000"}, Case{"--fps 25 --format ser x.avi", "--fps needs --format avi"}}) {
        const auto r = Cli(c.args, dir);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << c.args;
    }
}

TEST(CliUsage, HelpAndVersion)
{
    TempDir dir;
    auto r = Cli("--help", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--remove-incomplete"), std::string::npos);
    // Words for people, not the parser's generated type and range notes.
    for (const char* noise : {"FILE:FILE", "INT", ":N", "Excludes", "REQUIRED", "TEXT", ":{", "TIME:"})
        EXPECT_EQ(r.out.find(noise), std::string::npos) << noise << "\n" << r.out;
    EXPECT_NE(r.out.find("histogram peak"), std::string::npos);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
    EXPECT_NE(r.out.find("130"), std::string::npos);
    r = Cli("--version", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "orbicrop-cli " ORBICROP_PROJECT_VERSION "\n");
}

TEST(CliUsage, MissingOnlyFileFailsTheTest)
{
    TempDir dir;
    auto r = Cli(ShellQuote(dir.file("nothing-here.avi")), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("orbicrop-cli: " + dir.file("nothing-here.avi") + ": The file does not exist!"),
              std::string::npos)
        << r.err;
}

TEST(CliUsage, OutputDirectoryThatCannotBeMadeIsToldBeforeTheTest)
{
    TempDir dir;
    std::ofstream(dir.file("plain")) << "a file, not a directory";
    const std::string wanted = dir.file("plain/out");
    const auto r = Cli("-o " + ShellQuote(wanted) + " " + ShellQuote(dir.file("x.avi")), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot create the output directory " + wanted + ": "), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;   // no test ran
}
