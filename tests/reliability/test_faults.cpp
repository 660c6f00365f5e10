// SPDX-License-Identifier: GPL-3.0-or-later
// Faults around the files: an output folder that cannot be written, a file
// size limit, an interrupt. Inputs stay as they were; outputs stay readable.

#include "support/bad_inputs.h"
#include "support/decoded_video.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Cli()
{
    return "timeout 120 " + std::string(ORBICROP_CLI) + " -q ";
}

}   // namespace

// Root writes into any folder: the tool then runs as nobody.
TEST(Faults, UnwritableOutputFolderEndsTheBatchWithTheWriterMessageAndTellsEveryFile)
{
    TempDir dir;
    std::string as;
    if (geteuid() == 0) {
        if (std::system("setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null") != 0)
            GTEST_SKIP() << "cannot run as another user here";
        as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        fs::permissions(dir.path(), fs::perms::all);
    }
    SmallClip().write(dir.file("a.avi"), 3);
    SmallClip().write(dir.file("b.avi"), 3);
    fs::create_directory(dir.file("locked"));
    fs::permissions(dir.file("locked"),
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    const auto r = RunCommand(as + Cli() + "-W 32 -H 32 --report " + ShellQuote(dir.file("report.json")) + " -o "
                                  + ShellQuote(dir.file("locked")) + " " + ShellQuote(dir.file("a.avi")) + " "
                                  + ShellQuote(dir.file("b.avi")),
                              dir.path());
    EXPECT_EQ(r.status, 3);
    // The work file is the output's temporary name in the folder.
    EXPECT_NE(r.err.find("orbicrop-cli: " + dir.file("a.avi") + ": Failed to create AVI video work file "
                         + dir.file("locked/.a_Y8orbic.avi.partial-")),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(": Permission denied\n"), std::string::npos) << r.err;
    // Every file is accounted for, in the summary and in the report.
    EXPECT_NE(r.err.find("0 files done, 1 failed, 0 stopped, 1 not processed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  skipped  " + dir.file("b.avi")), std::string::npos) << r.err;
    const std::string report = ReadWholeFile(dir.file("report.json"));
    EXPECT_NE(report.find(dir.file("b.avi")), std::string::npos) << report;
}

// A missing output folder is made before the test, not found missing by the writer.
TEST(Faults, MissingOutputFolderIsMadeBeforeTheBatch)
{
    TempDir dir;
    SmallClip().write(dir.file("a.avi"), 3);
    SmallClip().write(dir.file("b.avi"), 3);
    const auto before = FileBytes(dir.file("a.avi"));
    const auto r = RunCommand(Cli() + "-W 32 -H 32 -o " + ShellQuote(dir.file("gone/deeper")) + " "
                                  + ShellQuote(dir.file("a.avi")) + " " + ShellQuote(dir.file("b.avi")),
                              dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Probe(dir.file("gone/deeper/b_Y8orbic.avi"), dir.path()).frames, 3);
    EXPECT_EQ(FileBytes(dir.file("a.avi")), before);
}

TEST(Faults, FileSizeLimitClosesTheOutputValidAndGoesOn)
{
    TempDir dir;
    DiscClip clip = SmallClip();
    clip.write(dir.file("long.avi"), 120);
    clip.write(dir.file("short.avi"), 3);
    const auto before = FileBytes(dir.file("long.avi"));
    // 1.2 MB: the inputs were written already; the 120-frame colour output
    // (3 KiB a frame at 32 x 32) does not fit, the 3-frame one does.
    const auto r = RunCommand("ulimit -f 300; " + Cli() + "--color -W 32 -H 32 " + ShellQuote(dir.file("long.avi"))
                                  + " " + ShellQuote(dir.file("short.avi")),
                              dir.path());
    EXPECT_EQ(r.status, 3) << r.err;
    std::size_t count = 0;
    // The output is written under its temporary name, which the message gives.
    const std::string said = "orbicrop-cli: " + dir.file("long.avi") + ": Failed to add frame to AVI file "
        + dir.file(".long_orbic.avi.partial-");
    for (std::size_t at = 0; (at = r.err.find(said, at)) != std::string::npos; ++at) {
        ++count;
        const std::string line = r.err.substr(at, r.err.find('\n', at) - at);
        EXPECT_TRUE(line.ends_with(": File too large")) << line;
    }
    EXPECT_EQ(count, 1u) << r.err;   // said once, not once per frame (the summary repeats it once more)
    const auto longOut = Probe(dir.file("long_orbic.avi"), dir.path());
    EXPECT_GT(longOut.frames, 10);
    EXPECT_LT(longOut.frames, 120);
    EXPECT_EQ(DecodeWithFfmpeg(dir.file("long_orbic.avi"), "bgr24", dir.path()).size(),
              std::size_t(longOut.frames) * 32 * 32 * 3);
    EXPECT_EQ(Probe(dir.file("short_orbic.avi"), dir.path()).frames, 3);
    EXPECT_EQ(FileBytes(dir.file("long.avi")), before);
}

TEST(Faults, InterruptClosesTheOutputWithItsFramesAndExits130)
{
    TempDir dir;
    DiscClip clip = SmallClip(320, 240);
    clip.write(dir.file("night.avi"), 3000);
    StartedCommand tool(std::string(ORBICROP_CLI) + " -q --color -W 64 -H 64 " + ShellQuote(dir.file("night.avi")),
                        dir.path());
    // Wait until frames are being written (under the temporary name the
    // tool's process id makes), then interrupt.
    const std::string output = dir.file("night_orbic.avi");
    const std::string partial = dir.file(".night_orbic.avi.partial-" + std::to_string(tool.pid()));
    for (int i = 0; i < 200 && (!fs::exists(partial) || fs::file_size(partial) < 200000); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    tool.signal(SIGINT);
    const CommandResult r = tool.wait();
    EXPECT_EQ(r.status, 130);
    EXPECT_NE(r.err.find("interrupted"), std::string::npos);
    EXPECT_FALSE(fs::exists(partial));
    const auto probe = Probe(output, dir.path());
    EXPECT_GT(probe.frames, 0);
    EXPECT_LT(probe.frames, 3000);
    EXPECT_EQ(DecodeWithFfmpeg(output, "bgr24", dir.path()).size(), std::size_t(probe.frames) * 64 * 64 * 3);
}

// Cut into pieces of one second (30 frames of the stream), interrupted in
// the third: the pieces before it are whole, the third holds its frames,
// and no piece is left under a temporary name.
TEST(Faults, InterruptedPiecesAreEachCompleteUnderTheirNames)
{
    TempDir dir;
    SmallClip(320, 240).write(dir.file("night.avi"), 3000);
    StartedCommand tool(std::string(ORBICROP_CLI) + " -q --color -W 64 -H 64 --segment 1 "
                            + ShellQuote(dir.file("night.avi")),
                        dir.path());
    const std::string third = dir.file(".night_orbic_part3.avi.partial-" + std::to_string(tool.pid()));
    for (int i = 0; i < 5000 && !fs::exists(third); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    tool.signal(SIGINT);
    const CommandResult r = tool.wait();
    EXPECT_EQ(r.status, 130) << r.err;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
    for (int piece = 1; piece <= 3; ++piece) {
        const std::string path = dir.file("night_orbic_part" + std::to_string(piece) + ".avi");
        const auto probe = Probe(path, dir.path());
        if (piece < 3) {
            EXPECT_EQ(probe.frames, 30) << path;
        }
        EXPECT_GT(probe.frames, 0) << path;
        EXPECT_EQ(DecodeWithFfmpeg(path, "bgr24", dir.path()).size(), std::size_t(probe.frames) * 64 * 64 * 3) << path;
    }
    EXPECT_FALSE(fs::exists(dir.file("night_orbic_part5.avi")));
}

TEST(Faults, FileSizeLimitLeavesASerOutputWhoseCountAndStampsMatchItsFrames)
{
    TempDir dir;
    SerClip clip;
    clip.width = 64;
    clip.height = 64;
    clip.depth = 16;
    for (std::int32_t f = 0; f < 120; ++f) {
        clip.addFrame([f](std::int32_t x, std::int32_t y, std::int32_t) {
            const bool disc = (x - 32) * (x - 32) + (y - 31 - f % 3) * (y - 31 - f % 3) <= 100;
            return disc ? 60000 - x * 7 : 300 + y * 5;
        });
        clip.timestamps.push_back(638400000000000000 + f * 100000);
    }
    const std::string input = dir.write("long.ser", clip.bytes());
    // 300 KiB: the 120 crops of 48 x 48 two-byte samples (4.5 KiB each) do not fit.
    const auto r = RunCommand("ulimit -f 300; " + Cli() + "--format ser -W 48 -H 48 " + ShellQuote(input), dir.path());
    EXPECT_EQ(r.status, 3) << r.err;
    const SerFileContents out = ReadSerFile(dir.file("long_orbic.ser"));
    EXPECT_GT(out.frameCount, 10);
    EXPECT_LT(out.frameCount, 120);
    if (!out.tail.empty()) {
        ASSERT_EQ(out.trailer().size(), std::size_t(out.frameCount));
        EXPECT_EQ(out.trailer().back(), std::uint64_t(clip.timestamps[std::size_t(out.frameCount - 1)]));
    }
}

// Interrupted while two files run at once: each stops after its frame in
// hand with its output complete under its name, and the file after them is
// not started.
TEST(Faults, InterruptStopsEveryFileRunningAtOnce)
{
    TempDir dir;
    SmallClip(320, 240).writeGray(dir.file("one.avi"), 3000);
    fs::create_hard_link(dir.file("one.avi"), dir.file("two.avi"));
    SmallClip().writeGray(dir.file("three.avi"), 3);
    const std::string command = std::string(ORBICROP_CLI) + " -q --jobs 2 --gray -W 64 -H 64 "
        + ShellQuote(dir.file("one.avi")) + " " + ShellQuote(dir.file("two.avi")) + " "
        + ShellQuote(dir.file("three.avi"));
    // A busy machine may run one file to its end before the other starts:
    // the case is tried again until both were seen writing at once (under
    // the temporary names the tool's process id makes).
    for (int attempt = 0; attempt < 8; ++attempt) {
        for (const std::string name : {"one", "two", "three"})
            fs::remove(dir.file(name + "_Y8orbic.avi"));
        StartedCommand tool(command, dir.path());
        // Writing, and far enough from its end that the stop reaches it first.
        const auto writing = [&](const std::string& name) {
            const std::string partial = dir.file("." + name + "_Y8orbic.avi.partial-" + std::to_string(tool.pid()));
            std::error_code ec;
            const auto size = fs::exists(partial, ec) ? fs::file_size(partial, ec) : 0;
            return size >= 100000 && size < 3000 * 64 * 64 / 2;
        };
        const auto finished = [&] {
            return fs::exists(dir.file("one_Y8orbic.avi")) || fs::exists(dir.file("two_Y8orbic.avi"));
        };
        for (int i = 0; i < 30000 && !(writing("one") && writing("two")) && !finished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (finished() || !(writing("one") && writing("two"))) {
            tool.signal(SIGKILL);
            tool.wait();
            continue;
        }
        tool.signal(SIGINT);
        const CommandResult r = tool.wait();
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_NE(r.out.find("Stopped by the user; 1 file was not processed"), std::string::npos) << r.out;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
        for (const std::string name : {"one", "two"}) {
            const std::string output = dir.file(name + "_Y8orbic.avi");
            const auto probe = Probe(output, dir.path());
            EXPECT_GT(probe.frames, 0) << name;
            EXPECT_LT(probe.frames, 3000) << name;
            EXPECT_EQ(DecodeWithFfmpeg(output, "gray", dir.path()).size(), std::size_t(probe.frames) * 64 * 64) << name;
        }
        EXPECT_FALSE(fs::exists(dir.file("three_Y8orbic.avi")));
        return;
    }
    GTEST_SKIP() << "the machine never ran both files at once";
}

// Two runs in two process-id namespaces (two containers or cluster nodes on
// one shared folder) share a process id and so a temporary name: the later
// one must neither remove nor write over the earlier one's file while it
// writes, and the earlier one's frames end up where it says they are.
TEST(Faults, RunsOfTheSameProcessIdInTwoNamespacesKeepEachOthersFrames)
{
    if (std::system("unshare --pid --fork true 2>/dev/null") != 0)
        GTEST_SKIP() << "no process-id namespaces here";
    TempDir dir;
    fs::create_directories(dir.file("a"));
    fs::create_directories(dir.file("b"));
    fs::create_directories(dir.file("ra"));
    fs::create_directories(dir.file("rb"));
    SmallClip(320, 240).writeGray(dir.file("a/night.avi"), 3000);
    SmallClip().writeGray(dir.file("b/night.avi"), 3);
    const auto run = [&](const std::string& input) {
        return "timeout 120 unshare --pid --fork " + std::string(ORBICROP_CLI) + " -q --gray -W 64 -H 64 -o "
            + ShellQuote(dir.file("out")) + " " + ShellQuote(dir.file(input));
    };
    fs::create_directories(dir.file("out"));
    StartedCommand first(run("a/night.avi"), dir.file("ra"));
    // The tool is the first process of its namespace: process id 1 there.
    const std::string partial = dir.file("out/.night_Y8orbic.avi.partial-1");
    std::error_code ec;
    for (int i = 0; i < 3000 && !(fs::exists(partial, ec) && fs::file_size(partial, ec) >= 100000); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // Held still while the second run comes and goes.
    const auto child = [](pid_t parent) {
        const std::string id = std::to_string(parent);
        return pid_t(std::atoi(ReadWholeFile("/proc/" + id + "/task/" + id + "/children").c_str()));
    };
    const pid_t tool = child(child(first.pid()));   // timeout, unshare, the tool
    ASSERT_GT(tool, 0);
    ASSERT_EQ(::kill(tool, SIGSTOP), 0);
    const CommandResult second = RunCommand(run("b/night.avi"), dir.file("rb"));
    ::kill(tool, SIGCONT);
    const CommandResult firstResult = first.wait();
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Probe(dir.file("out/night_Y8orbic.avi"), dir.path()).frames, 3);
    // The first found the name taken when it finished: its frames are beside it.
    EXPECT_EQ(firstResult.status, 3) << firstResult.err;
    EXPECT_NE(firstResult.err.find("Another run wrote night_Y8orbic.avi while this one ran, and keeps it; its 3000 "
                                   "frames are kept in night_Y8orbic-2.avi"),
              std::string::npos)
        << firstResult.err;
    EXPECT_EQ(Probe(dir.file("out/night_Y8orbic-2.avi"), dir.path()).frames, 3000);
    for (const auto& entry : fs::directory_iterator(dir.file("out")))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}
