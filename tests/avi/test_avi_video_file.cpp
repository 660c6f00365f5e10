// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_writer.h"
#include "tests/avi/avi_test_support.h"

#include <gtest/gtest.h>

using namespace avitest;

namespace {

struct OpenDmlCase {
    bool grey;
    std::int32_t width;
    std::int32_t height;
    std::uint64_t riffLimit;
    std::int32_t frames;
};

void PrintTo(const OpenDmlCase& c, std::ostream* os)
{
    *os << (c.grey ? "grey " : "colour ") << c.width << " x " << c.height << ", RIFF limit " << c.riffLimit;
}

class OpenDml : public testing::TestWithParam<OpenDmlCase> {};

// A small switch size stands in for the default of 1 GiB.
TEST_P(OpenDml, ContinuesInAvixRiffsPastTheSizeLimit)
{
    const OpenDmlCase c = GetParam();
    TempDir dir;
    const std::string path = dir.file("o.avi");
    TAviWriter writer(1920, 1080);
    writer.setFileName(path);
    writer.setWidth(c.width);
    writer.setHeight(c.height);
    writer.setRiffSizeLimit(c.riffLimit);
    writeClip(writer, c.grey, c.frames);
    writer.CloseVideo();

    const ContainerFacts facts = checkContainer(RiffFile(path), c.width, c.height, c.grey);
    EXPECT_TRUE(facts.openDml);
    EXPECT_GE(facts.riffs, 4u);
    EXPECT_EQ(facts.frames, std::uint32_t(c.frames));
    EXPECT_EQ(facts.odmlIndexedFrames, std::uint32_t(c.frames));
    EXPECT_TRUE(facts.hasIdx1);
    EXPECT_LT(facts.firstRiffFrames, facts.frames);
    EXPECT_LE(facts.largestRiff, c.riffLimit);

    expectReadsBack(path, c.width, c.height, c.grey, c.frames);
}

INSTANTIATE_TEST_SUITE_P(Formats, OpenDml,
                         testing::Values(OpenDmlCase{false, 64, 48, 40000, 23},
                                         OpenDmlCase{true, 240, 160, 160000, 17}),
                         [](const auto& info) { return info.param.grey ? "Grey" : "Colour"; });

// The limit counts the whole RIFF: the 8 KiB header, the frame chunks, the
// idx1 and the ix00 that a switch would add. One byte less than eight
// frames need moves the eighth frame into an AVIX RIFF.
TEST(OpenDml, TheLimitIsTheSizeOfTheWholeRiff)
{
    constexpr std::uint64_t kEightFrames = 8192 + 8 * (8 + 64 * 48 * 3) + (8 + 16 * 8) + (32 + 8 * 8);
    for (const std::uint64_t limit : {kEightFrames, kEightFrames - 1}) {
        TempDir dir;
        TAviWriter writer(1920, 1080);
        writer.setFileName(dir.file("p.avi"));
        writer.setWidth(64);
        writer.setHeight(48);
        writer.setRiffSizeLimit(limit);
        writeClip(writer, false, 8);
        writer.CloseVideo();
        const RiffFile file(dir.file("p.avi"));
        const ContainerFacts facts = checkContainer(file, 64, 48, false);
        EXPECT_EQ(facts.frames, 8u);
        EXPECT_TRUE(facts.hasIdx1);
        if (limit == kEightFrames) {
            EXPECT_EQ(facts.riffs, 1u);
            // The room for the OpenDML records stays JUNK: plain AVI 1.0.
            EXPECT_NE(file.strl()->find("JUNK"), nullptr);
        } else {
            EXPECT_EQ(facts.riffs, 2u);
            EXPECT_EQ(facts.firstRiffFrames, 7u);
        }
    }
}

// The super index has room for 256 RIFFs; one frame per RIFF reaches that
// quickly. The frame that would need one more is refused and nothing is lost.
TEST(OpenDml, RefusesTheFrameThatWouldNeedA257thRiff)
{
    TempDir dir;
    const std::string path = dir.file("s.avi");
    TAviWriter writer(1920, 1080);
    writer.setFileName(path);
    writer.setWidth(16);
    writer.setHeight(16);
    writer.setRiffSizeLimit(0);
    writer.OpenVideo(true);
    const OutputBitmap bitmap = colourFrame(16, 16, 0);
    std::string error;
    std::int32_t i = 0;
    try {
        for (; i < 300; ++i)
            writer.AddGrayFrame(bitmap, greyPlane(16, 16, i).data(), i);
    } catch (const AviError& e) {
        error = e.what();
    }
    EXPECT_EQ(i, 256);
    EXPECT_EQ(error, "Failed to add frame to AVI file " + path + ": File too large");
    writer.CloseVideo();

    const ContainerFacts facts = checkContainer(RiffFile(path), 16, 16, true);
    EXPECT_EQ(facts.riffs, 256u);
    EXPECT_EQ(facts.frames, 256u);
    EXPECT_EQ(facts.odmlIndexedFrames, 256u);
    EXPECT_EQ(probe(path)["nb_read_packets"], "256");
}

}   // namespace
