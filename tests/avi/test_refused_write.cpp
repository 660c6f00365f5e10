// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_writer.h"
#include "tests/avi/avi_test_support.h"
#include "support/subprocess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

using namespace avitest;

namespace {

constexpr std::int32_t kWidth = 64;
constexpr std::int32_t kHeight = 48;
constexpr std::int32_t kFramesTried = 40;
constexpr std::uint64_t kRiffLimit = 40000;   // about four frames per RIFF in the OpenDML cases

struct Clip {
    std::int32_t width = kWidth;
    std::int32_t height = kHeight;
    std::int32_t frames = kFramesTried;
    std::uint64_t riffLimit = 1u << 30;
};

// Writes the clip and closes it, telling what happened; for a child process
// whose writes are refused.
std::string clipOutcome(const std::string& path, const Clip& clip)
{
    WriteOutcome o;
    TAviWriter writer(1920, 1080);
    writer.setFileName(path);
    writer.setWidth(clip.width);
    writer.setHeight(clip.height);
    writer.setRiffSizeLimit(clip.riffLimit);
    try {
        writer.OpenVideo(false);
        for (o.accepted = 0; o.accepted < clip.frames; ++o.accepted)
            writer.AddFrame(colourFrame(clip.width, clip.height, o.accepted), o.accepted);
    } catch (const AviError& e) {
        (writer.isOpen() ? o.addError : o.openError) = e.what();
    }
    try {
        if (writer.isOpen())
            writer.CloseVideo();
    } catch (const AviError& e) {
        o.closeError = e.what();
    }
    return o.serialised();
}

// Writes frames in a child process under a file size limit (a quota) and
// reads back what happened.
WriteOutcome writeUnderFileSizeLimit(const std::string& path, const Clip& clip, std::uint64_t fileSizeLimit)
{
    return WriteOutcome::parse(InChildWithFileSizeLimit(fileSizeLimit, [&] { return clipOutcome(path, clip); }));
}

// Where the limit falls is chosen from a file written without one.
struct Reference {
    const RiffFile& file;
    std::uint64_t frameChunk(std::size_t riff, std::uint32_t i) const
    {
        return file.movi(riff)->firstFrameOffset + std::uint64_t(i) * (8 + kWidth * kHeight * 3);
    }
    std::uint32_t framesIn(std::size_t riff) const { return file.movi(riff)->frameChunks; }
};

struct LimitCase {
    const char* name;
    bool openDml;   // with a small RIFF size limit
    std::function<std::uint64_t(const Reference&)> fileSizeLimit;
    std::function<std::int32_t(const Reference&)> accepted;
    bool idx1Fits;            // room for the idx1 after the last frame
    std::int32_t unindexed;   // frames no ix00 lists; -1: the result is AVI 1.0
};

void PrintTo(const LimitCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusedWrite : public testing::TestWithParam<LimitCase> {};

TEST_P(RefusedWrite, TheFileClosesValidWithEveryFrameAddedBeforeTheFailure)
{
    const LimitCase c = GetParam();
    const std::uint64_t riffLimit = c.openDml ? kRiffLimit : 1u << 30;
    TempDir dir;
    TAviWriter reference(1920, 1080);
    reference.setFileName(dir.file("reference.avi"));
    reference.setWidth(kWidth);
    reference.setHeight(kHeight);
    reference.setRiffSizeLimit(riffLimit);
    writeClip(reference, false, kFramesTried);
    reference.CloseVideo();
    const RiffFile referenceFile(dir.file("reference.avi"));
    const Reference ref{referenceFile};

    const std::string path = dir.file("limited.avi");
    const WriteOutcome o =
        writeUnderFileSizeLimit(path, Clip{kWidth, kHeight, kFramesTried, riffLimit}, c.fileSizeLimit(ref));
    EXPECT_EQ(o.openError, "");
    EXPECT_EQ(o.accepted, c.accepted(ref));
    EXPECT_EQ(o.addError, "Failed to add frame to AVI file " + path + ": File too large");
    EXPECT_EQ(o.closeError, "");

    const ContainerFacts facts = checkContainer(RiffFile(path), kWidth, kHeight, false);
    EXPECT_EQ(facts.frames, std::uint32_t(o.accepted));
    EXPECT_EQ(facts.hasIdx1, c.idx1Fits);
    EXPECT_EQ(facts.openDml, c.unindexed >= 0);
    if (facts.openDml) {
        EXPECT_EQ(facts.odmlIndexedFrames, std::uint32_t(o.accepted - c.unindexed));
    }

    expectReadsBack(path, kWidth, kHeight, false, o.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, RefusedWrite,
    testing::Values(
        // Part of frame 5 gets in; cut back, there is still room for an idx1 of 5 entries (88 bytes).
        LimitCase{"MidFrameWithRoomForTheIndex", false, [](const Reference& r) { return r.frameChunk(0, 5) + 100; },
                  [](const Reference&) { return 5; }, true, -1},
        // No room for the idx1: the file closes without it.
        LimitCase{"MidFrameWithoutRoomForTheIndex", false, [](const Reference& r) { return r.frameChunk(0, 5) + 20; },
                  [](const Reference&) { return 5; }, false, -1},
        LimitCase{"RightAfterAFrame", false, [](const Reference& r) { return r.frameChunk(0, 5); },
                  [](const Reference&) { return 5; }, false, -1},
        // The switch to a second RIFF cannot write the first RIFF's ix00: the file stays AVI 1.0.
        LimitCase{"AtTheRiffSwitch", true, [](const Reference& r) { return r.frameChunk(0, r.framesIn(0)) + 30; },
                  [](const Reference& r) { return std::int32_t(r.framesIn(0)); }, false, -1},
        // In the third RIFF, with no room left for its ix00: readers that scan
        // still find the frame that no index lists.
        LimitCase{"InALaterRiff", true, [](const Reference& r) { return r.frameChunk(2, 1) + 30; },
                  [](const Reference& r) { return std::int32_t(r.framesIn(0) + r.framesIn(1) + 1); }, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A full disk says so in words, and which file it refused.
TEST(RefusedWrite, AFullDiskIsNamedWithItsFile)
{
    TempDir dir;
    const std::string path = dir.file("full.avi");
    const auto report = InChildOnAFullDisk(dir.path(), 64 * 1024, [&] { return clipOutcome(path, Clip{}); });
    if (!report)
        GTEST_SKIP() << "this machine lets the test mount no small file system: the full disk was skipped";
    const WriteOutcome o = WriteOutcome::parse(*report);
    EXPECT_EQ(o.openError, "");
    EXPECT_GT(o.accepted, 0);
    EXPECT_LT(o.accepted, kFramesTried);
    EXPECT_EQ(o.addError, "Failed to add frame to AVI file " + path + ": No space left on device");
    EXPECT_EQ(o.closeError, "");
}

TEST(RefusedWrite, AHeaderThatDoesNotFitFailsOpenVideoAndLeavesNoFile)
{
    TempDir dir;
    const std::string path = dir.file("h.avi");
    const WriteOutcome o = writeUnderFileSizeLimit(path, Clip{}, 4000);
    EXPECT_EQ(o.openError, "Failed to create AVI video stream in " + path + ": File too large");
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Every frame fits, but the idx1 of 5000 entries does not: it leaves in
// more than one write, and the part that got in must not stay behind.
TEST(RefusedWrite, AnIndexCutShortAtCloseIsDroppedWhole)
{
    const Clip clip{16, 16, 5000};
    TempDir dir;
    TAviWriter reference(1920, 1080);
    reference.setFileName(dir.file("reference.avi"));
    reference.setWidth(clip.width);
    reference.setHeight(clip.height);
    writeClip(reference, false, clip.frames);
    reference.CloseVideo();
    const RiffFile referenceFile(dir.file("reference.avi"));
    const std::uint64_t framesEnd =
        referenceFile.movi(0)->firstFrameOffset + std::uint64_t(clip.frames) * (8 + 16 * 16 * 3);
    ASSERT_GT(referenceFile.fileSize() - framesEnd, 70000u);

    const std::string path = dir.file("limited.avi");
    const WriteOutcome o = writeUnderFileSizeLimit(path, clip, framesEnd + 70000);
    EXPECT_EQ(o.accepted, clip.frames);
    EXPECT_EQ(o.addError, "");
    EXPECT_EQ(o.closeError, "");
    const ContainerFacts facts = checkContainer(RiffFile(path), clip.width, clip.height, false);
    EXPECT_EQ(facts.frames, std::uint32_t(clip.frames));
    EXPECT_FALSE(facts.hasIdx1);
    EXPECT_EQ(probe(path)["nb_read_packets"], std::to_string(clip.frames));
}

}   // namespace
