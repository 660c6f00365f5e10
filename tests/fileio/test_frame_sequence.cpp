// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/frame_sequence.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

std::vector<std::string> Names(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    for (const std::string& path : paths)
        names.push_back(fs::path(path).filename().string());
    return names;
}

}   // namespace

// Frames come in the order of their numbers, not of their names: an unpadded
// counter sorts 10 before 9 by name, which would shuffle the capture.
TEST(FrameSequence, AFolderOfOneSeriesIsOneCaptureInNumberOrder)
{
    TempDir dir;
    const std::string folder = dir.file("2026-12-09-2135_1-Jupiter");
    fs::create_directory(folder);
    for (const char* name :
         {"Jup_10.fits", "Jup_9.fits", "Jup_100.fits", "Jup_1.FITS", ".Jup_2.fits", "notes.txt", "preview.png"})
        Touch(folder + "/" + name);

    const auto frames = FrameSequenceFiles(folder + "/");
    ASSERT_TRUE(frames.has_value());
    EXPECT_EQ(Names(*frames), (std::vector<std::string>{"Jup_1.FITS", "Jup_9.fits", "Jup_10.fits", "Jup_100.fits"}));
    EXPECT_TRUE(IsFrameSequence(folder));
    EXPECT_EQ(FrameSequenceName(folder + "/"), "2026-12-09-2135_1-Jupiter");
    EXPECT_EQ(SequenceCapturesIn(folder), std::vector<std::string>{folder});

    // Neither a file nor a folder without numbered stills is a sequence.
    EXPECT_FALSE(IsFrameSequence(*frames->begin()));
    EXPECT_FALSE(IsFrameSequence(dir.path()));
}

// Two series in one folder are two captures, each named by a glob that reads
// its own frames back and no others.
TEST(FrameSequence, SeveralSeriesAreCapturesEachAndGlobsReadThemBack)
{
    TempDir dir;
    const std::string folder = dir.file("sun [Ha]");
    fs::create_directory(folder);
    for (const char* name : {"Sun_001.tif", "Sun_002.tif", "Sun_003.tif", "Prom_01.png", "Prom_02.png"})
        Touch(folder + "/" + name);

    EXPECT_FALSE(FrameSequenceFiles(folder).has_value());
    EXPECT_FALSE(IsFrameSequence(folder));
    const std::vector<std::string> captures = SequenceCapturesIn(folder);
    ASSERT_EQ(captures.size(), 2u);
    std::vector<std::vector<std::string>> read;
    for (const std::string& capture : captures) {
        const auto frames = FrameSequenceFiles(capture);
        ASSERT_TRUE(frames.has_value()) << capture;
        read.push_back(Names(*frames));
    }
    EXPECT_EQ(read[0], (std::vector<std::string>{"Prom_01.png", "Prom_02.png"}));
    EXPECT_EQ(read[1], (std::vector<std::string>{"Sun_001.tif", "Sun_002.tif", "Sun_003.tif"}));
    EXPECT_EQ(FrameSequenceName(captures[1]), "Sun");

    // A user's glob (its bracket escaped, as glob(7) wants): every still it
    // matches, in number order; named by what comes before its wildcard,
    // else by its folder.
    const std::string escaped = dir.file("sun \\[Ha]");
    const auto globbed = FrameSequenceFiles(escaped + "/*.tif");
    ASSERT_TRUE(globbed.has_value());
    EXPECT_EQ(globbed->size(), 3u);
    EXPECT_EQ(FrameSequenceName(escaped + "/*.tif"), "sun [Ha]");
    EXPECT_FALSE(FrameSequenceFiles(escaped + "/*.fits").has_value());
}
