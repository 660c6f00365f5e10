// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_writer.h"
#include "tests/avi/avi_test_support.h"

#include <gtest/gtest.h>

using namespace avitest;

// A real file past 4 GiB at the default RIFF size: every 32-bit field that
// could overflow (RIFF sizes, idx1 and ix00 offsets) is exercised for real.
// About 4.5 GB of disk for a minute; labelled "large", outside the default run.
TEST(LargeAvi, A4GiBPlusColourFileReadsBackCompletely)
{
    constexpr std::int32_t kWidth = 1920;
    constexpr std::int32_t kHeight = 1080;
    constexpr std::int32_t kFrames = 720;   // 720 x 6,220,808 bytes: 4.48 GB
    TempDir dir;
    const std::string path = dir.file("large.avi");
    TAviWriter writer(1920, 1080);
    writer.setFileName(path);
    writer.setWidth(kWidth);
    writer.setHeight(kHeight);
    writeClip(writer, false, kFrames);
    writer.CloseVideo();

    const RiffFile file(path);
    EXPECT_GT(file.fileSize(), 4ull << 30);
    const ContainerFacts facts = checkContainer(file, kWidth, kHeight, false);
    EXPECT_EQ(facts.frames, std::uint32_t(kFrames));
    EXPECT_EQ(facts.odmlIndexedFrames, std::uint32_t(kFrames));
    EXPECT_TRUE(facts.hasIdx1);
    EXPECT_GE(facts.riffs, 5u);
    EXPECT_LE(facts.largestRiff, 1u << 30);

    // The last frame, found through the last RIFF, holds what was added.
    const Chunk& lastMovi = *file.movi(file.riffs().size() - 1);
    const std::uint64_t last =
        lastMovi.firstFrameOffset + std::uint64_t(lastMovi.frameChunks - 1) * (8 + facts.frameBytes);
    const OutputBitmap expectedLast = colourFrame(kWidth, kHeight, kFrames - 1);
    const auto stored = file.read(last + 8, facts.frameBytes);
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), expectedLast.data()));

    auto info = probe(path);
    EXPECT_EQ(info["nb_frames"], std::to_string(kFrames));
    EXPECT_EQ(info["nb_read_packets"], std::to_string(kFrames));
    // Seeking to 23.9 s goes through the OpenDML index to frame 717.
    std::vector<std::uint8_t> expected;
    for (std::int32_t i = 717; i < kFrames; ++i) {
        const auto picture = expectedPicture(kWidth, kHeight, false, i);
        expected.insert(expected.end(), picture.begin(), picture.end());
    }
    EXPECT_TRUE(decodeAll(path, false, {"-ss", "23.9"}) == expected);
}
