// SPDX-License-Identifier: GPL-3.0-or-later
// A night's folders, resume file and claims.

#include "run/capture_folder.h"
#include "run/night_manifest.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;

TEST(NightFolder, FindsCapturesButNotOurOutputsNotesOrOutputFolders)
{
    TempDir dir;
    for (const char* name : {"jupiter/a_0001.ser", "jupiter/a_0002.SER", "jupiter/a_0001_orbic.avi",
                             "jupiter/a_0001_Y8orbic.avi", "jupiter/a_orbic_part2.ser", "jupiter/a.txt", "saturn.avi",
                             ".hidden/x.avi", "out/old.avi", "out/orbicrop-night.json", "deep/deeper/mars.mp4"}) {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        std::ofstream(dir.file(name)) << "x";
    }
    EXPECT_EQ(CapturesIn(dir.path(), false), std::vector<std::string>{dir.file("saturn.avi")});
    EXPECT_EQ(CapturesIn(dir.path(), true),
              (std::vector<std::string>{dir.file("deep/deeper/mars.mp4"), dir.file("jupiter/a_0001.ser"),
                                        dir.file("jupiter/a_0002.SER"), dir.file("saturn.avi")}));
    std::vector<std::string> notes;
    const auto files = ExpandInputs({dir.file("saturn.avi"), dir.file("jupiter"), dir.file("out")}, false, notes);
    EXPECT_EQ(files,
              (std::vector<std::string>{dir.file("saturn.avi"), dir.file("jupiter/a_0001.ser"),
                                        dir.file("jupiter/a_0002.SER"), dir.file("out/old.avi")}));
    EXPECT_TRUE(notes.empty());
    ExpandInputs({dir.file("deep")}, false, notes);
    EXPECT_EQ(notes,
              std::vector<std::string>{"No captures in " + dir.file("deep") + " (-r looks into its folders too)"});
}

// A folder of numbered frames is a capture of the night, found without -r,
// and taken as one when given itself; our own folders of stills are not.
TEST(NightFolder, AFolderOfFramesIsOneCaptureAndOurStillOutputsAreNone)
{
    TempDir dir;
    for (const char* name : {"jup_2135/f_0001.fits", "jup_2135/f_0002.fits", "jup_2135/f_0003.fits",
                             "jup_orbic/jup_orbic_000000.tif", "jup_orbic/jup_orbic_000001.tif", "sat.ser",
                             "sun/ha_01.png", "sun/ha_02.png", "sun/wl_01.png", "sun/wl_02.png"}) {
        fs::create_directories(fs::path(dir.file(name)).parent_path());
        std::ofstream(dir.file(name)) << "x";
    }
    const std::vector<std::string> captures = CapturesIn(dir.path(), false);
    ASSERT_EQ(captures.size(), 4u);
    EXPECT_EQ(captures[0], dir.file("jup_2135"));
    EXPECT_EQ(captures[1], dir.file("sat.ser"));
    EXPECT_EQ(captures[2], dir.file("sun") + "/ha_[0-9]*.png");
    EXPECT_EQ(captures[3], dir.file("sun") + "/wl_[0-9]*.png");
    EXPECT_TRUE(IsCaptureFolder(dir.file("jup_2135")));
    EXPECT_FALSE(IsNightFolder(dir.file("jup_2135")));
    EXPECT_TRUE(IsNightFolder(dir.file("sun")));
    EXPECT_TRUE(IsNightFolder(dir.path()));
    std::vector<std::string> notes;
    EXPECT_EQ(ExpandInputs({dir.file("jup_2135")}, false, notes), std::vector<std::string>{dir.file("jup_2135")});
}

TEST(NightFolder, OrdersByCaptureTimeWithUnknownTimesLast)
{
    const auto ordered = ByCaptureTime({"c", "a", "b", "d"}, [](const std::string& f) -> std::optional<std::int64_t> {
        if (f == "a")
            return 30;
        if (f == "b")
            return 10;
        return std::nullopt;
    });
    EXPECT_EQ(ordered, (std::vector<std::string>{"b", "a", "c", "d"}));
}

// A capture done before counts as done only with the same inputs, the same
// options and its outputs as they were written.
TEST(NightManifest, DoneOnlyWhileInputsOptionsAndOutputsAreUnchanged)
{
    TempDir dir;
    std::ofstream(dir.file("a.ser")) << "capture";
    std::ofstream(dir.file("a_orbic.avi")) << "output";
    const NightManifest manifest(dir.path());
    const std::vector<FileStamp> inputs{*StampOf(dir.file("a.ser"))};
    manifest.record({inputs, "size=12x12", {*StampOf(dir.file("a_orbic.avi"))}, "done", ""});
    EXPECT_TRUE(manifest.doneBefore(inputs, "size=12x12"));
    EXPECT_FALSE(manifest.doneBefore(inputs, "size=16x16"));
    // A later entry for the same inputs replaces the earlier one.
    manifest.record({inputs, "size=12x12", {*StampOf(dir.file("a_orbic.avi"))}, "failed", "Couldn't load the file!"});
    EXPECT_FALSE(manifest.doneBefore(inputs, "size=12x12"));
    manifest.record({inputs, "size=12x12", {*StampOf(dir.file("a_orbic.avi"))}, "done", ""});
    std::ofstream(dir.file("a_orbic.avi"), std::ios::app) << " changed";
    EXPECT_FALSE(manifest.doneBefore(inputs, "size=12x12"));
    // An unreadable resume file is a night without history, not a failure.
    std::ofstream(manifest.path()) << "{ not json";
    EXPECT_FALSE(manifest.doneBefore(inputs, "size=12x12"));
    EXPECT_NO_THROW(manifest.record({inputs, "o", {}, "failed", "x"}));
}

TEST(CaptureClaim, HeldOnceAndTakenOverFromADeadProcess)
{
    TempDir dir;
    std::ofstream(dir.file("a.ser")) << "capture";
    std::string holder;
    {
        auto first = CaptureClaim::Take(dir.path(), dir.file("a.ser"), holder);
        ASSERT_TRUE(first);
        EXPECT_FALSE(CaptureClaim::Take(dir.path(), dir.file("a.ser"), holder));
        EXPECT_NE(holder.find("(process " + std::to_string(::getpid()) + ")"), std::string::npos) << holder;
    }
    EXPECT_TRUE(CaptureClaim::Take(dir.path(), dir.file("a.ser"), holder));
    // A claim left by a killed run of this host.
    const auto claims = fs::path(dir.path()) / ".orbicrop-claims";
    ASSERT_TRUE(fs::exists(claims));
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    for (const auto& entry : fs::directory_iterator(claims))
        fs::remove(entry.path());
    auto again = CaptureClaim::Take(dir.path(), dir.file("a.ser"), holder);
    ASSERT_TRUE(again);
    const auto file = fs::directory_iterator(claims)->path();
    std::ofstream(file) << host << " 999999999";
    EXPECT_TRUE(CaptureClaim::Take(dir.path(), dir.file("a.ser"), holder));
}
