// SPDX-License-Identifier: GPL-3.0-or-later
// How the tool comes by FFmpeg: from its module, loaded on the first file
// that needs it and found from the tool's own folder, never for SER files
// or plain uncompressed AVIs.

#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

void MakeSample(const std::string& args, const TempDir& dir)
{
    const auto made = RunCommand(std::string(ORBICROP_MAKE_SAMPLE) + " --frames 3 " + args, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
}

// A sample AVI in a form only FFmpeg reads (MJPEG frames).
void MakeMjpegSample(const std::string& name, const TempDir& dir)
{
    MakeSample(ShellQuote(dir.file("plain-" + name)), dir);
    const auto made = RunCommand("ffmpeg -v error -y -i " + ShellQuote(dir.file("plain-" + name))
                                     + " -c:v mjpeg -q:v 2 " + ShellQuote(dir.file(name)),
                                 dir.path());
    ASSERT_EQ(made.status, 0) << "ffmpeg is needed for this test: " << made.err;
}

}   // namespace

TEST(CliFfmpegModule, LoadedOnceForFilesThatNeedItAndNeverForSerOrVersion)
{
    TempDir dir;
    MakeSample("--ser-depth 8 " + ShellQuote(dir.file("a.ser")), dir);
    MakeMjpegSample("b.avi", dir);
    MakeMjpegSample("c.avi", dir);
    const std::string cli = "LD_DEBUG=files " + std::string(ORBICROP_CLI) + " -q -o " + ShellQuote(dir.path()) + " ";

    for (const std::string& args :
         {std::string("--version"), ShellQuote(dir.file("a.ser")), ShellQuote(dir.file("plain-b.avi"))}) {
        const auto r = RunCommand(cli + args, dir.path());
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(r.err.find("libavcodec"), std::string::npos) << args;
        EXPECT_EQ(r.err.find("orbicrop-ffmpeg"), std::string::npos) << args;
    }
    // Three opens (the test, then each file processed) and one load.
    const auto r = RunCommand(cli + ShellQuote(dir.file("b.avi")) + " " + ShellQuote(dir.file("c.avi")), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.err, "orbicrop-ffmpeg.so [0];  dynamically loaded by"), 1u) << r.err;
}

TEST(CliFfmpegModule, FoundUnderLibOfAnInstallationAndItsAbsenceIsToldNotTakenForABadVideo)
{
    TempDir dir;
    MakeSample("--ser-depth 8 " + ShellQuote(dir.file("a.ser")), dir);
    MakeMjpegSample("b.avi", dir);
    // An installation's layout, without the module at first.
    fs::create_directories(dir.root() / "usr/bin");
    fs::copy_file(ORBICROP_CLI, dir.root() / "usr/bin/orbicrop-cli");
    const std::string cli = ShellQuote(dir.file("usr/bin/orbicrop-cli")) + " -q -o " + ShellQuote(dir.path()) + " ";
    const std::string module = dir.file("usr/lib/orbicrop/orbicrop-ffmpeg.so");

    auto r = RunCommand(cli + ShellQuote(dir.file("a.ser")), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("FFmpeg module"), std::string::npos) << r.err;

    r = RunCommand(cli + ShellQuote(dir.file("b.avi")), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir.file("b.avi") + ": Couldn't load the file! (cannot load the FFmpeg module " + module
                         + ", only SER files and plain uncompressed AVIs can be read: " + module
                         + ": cannot open shared object file"),
              std::string::npos)
        << r.err;

    fs::create_directories(dir.root() / "usr/lib/orbicrop");
    fs::copy_file(ORBICROP_FFMPEG_MODULE, module);
    r = RunCommand(cli + ShellQuote(dir.file("b.avi")), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.root() / "b_orbic.avi"));
}

// OpenCV comes with the demosaicing module, loaded only by a run that
// debayers; without the module such a run says why it writes nothing.
TEST(CliDemosaicModule, LoadedOnlyByARunThatDebayersAndItsAbsenceIsTold)
{
    TempDir dir;
    MakeSample("--ser-depth 8 --bayer RGGB " + ShellQuote(dir.file("raw.ser")), dir);
    const std::string cli = "LD_DEBUG=files " + std::string(ORBICROP_CLI) + " -q -W 32 -H 32";
    auto r = RunCommand(cli + " -o " + ShellQuote(dir.path()) + " " + ShellQuote(dir.file("raw.ser")), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("opencv"), std::string::npos) << r.err;
    r = RunCommand(cli + " --debayer -o " + ShellQuote(dir.file("colour")) + " " + ShellQuote(dir.file("raw.ser")),
                   dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.err, "orbicrop-demosaic.so [0];  dynamically loaded by"), 1u) << r.err;
    EXPECT_TRUE(fs::exists(dir.root() / "colour/raw_orbic.avi"));

    // An installation's layout without the module.
    fs::create_directories(dir.root() / "usr/bin");
    fs::copy_file(ORBICROP_CLI, dir.root() / "usr/bin/orbicrop-cli");
    r = RunCommand(ShellQuote(dir.file("usr/bin/orbicrop-cli")) + " -q -W 32 -H 32 --debayer -o "
                       + ShellQuote(dir.file("none")) + " " + ShellQuote(dir.file("raw.ser")),
                   dir.path());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Cannot debayer: cannot load the module " + dir.file("usr/lib/orbicrop/orbicrop-demosaic.so")),
              std::string::npos)
        << r.err;
}
