// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_writer.h"
#include "support/ser_reader.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "tests/ser/ser_test_frames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

using namespace orbicrop::ser;
using sertest::testFrame;
using sertest::testStamp;

namespace {

constexpr std::int32_t kFramesTried = 10;

SerFormat clipFormat()
{
    SerFormat format;
    format.width = 64;
    format.height = 48;
    format.depth = 16;
    return format;
}

// Writes up to kFramesTried stamped frames under the limit and closes.
WriteOutcome writeUnderFileSizeLimit(const std::string& path, std::uint64_t fileSizeLimit)
{
    const std::string report = InChildWithFileSizeLimit(fileSizeLimit, [&path] {
        WriteOutcome o;
        SerWriter writer;
        try {
            writer.open(path, clipFormat());
            for (o.accepted = 0; o.accepted < kFramesTried; ++o.accepted)
                writer.addFrame(testFrame(clipFormat(), o.accepted), testStamp(o.accepted));
        } catch (const SerError& e) {
            (writer.isOpen() ? o.addError : o.openError) = e.what();
        }
        try {
            writer.close();
        } catch (const SerError& e) {
            o.closeError = e.what();
        }
        return o.serialised();
    });
    return WriteOutcome::parse(report);
}

struct LimitCase {
    const char* name;
    std::uint64_t bytesPastFrame5;   // the limit, counted from the end of frame 5
    bool stampsFit;
};

void PrintTo(const LimitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SerRefusedWrite : public testing::TestWithParam<LimitCase> {};

TEST_P(SerRefusedWrite, LeavesAFileWhoseCountAndStampsMatchItsWholeFrames)
{
    const LimitCase c = GetParam();
    const std::uint64_t frameBytes = clipFormat().frameBytes();
    TempDir dir;
    const std::string path = dir.file("limited.ser");
    const WriteOutcome o = writeUnderFileSizeLimit(path, 178 + 5 * frameBytes + c.bytesPastFrame5);

    EXPECT_EQ(o.openError, "");
    ASSERT_EQ(o.accepted, 5);
    EXPECT_EQ(o.addError, "Failed to add frame 5 to SER file " + path + ": File too large");
    EXPECT_EQ(o.closeError,
              c.stampsFit ? ""
                          : "Failed to write the time stamps of SER file " + path
                      + ": File too large; the file keeps its 5 frames without them");

    const SerFileContents s = ReadSerFile(path);
    EXPECT_EQ(s.frameCount, 5);
    for (std::int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(s.frames.at(std::size_t(i)), testFrame(clipFormat(), i)) << "frame " << i;
    if (c.stampsFit) {
        ASSERT_EQ(s.trailer().size(), 5u);
        EXPECT_EQ(s.trailer()[4], std::uint64_t(testStamp(4)));
    } else {
        EXPECT_TRUE(s.tail.empty()) << s.tail.size() << " bytes after the frames";
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, SerRefusedWrite,
                         testing::Values(
                             // Part of frame 5 gets in and is cut back; 40 bytes of stamps still fit.
                             LimitCase{"MidFrameWithRoomForTheStamps", 100, true},
                             // Part of the stamps would get in: they are dropped whole.
                             LimitCase{"MidFrameWithoutRoomForTheStamps", 20, false},
                             LimitCase{"RightAfterAFrame", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerRefusedWrite, AHeaderThatDoesNotFitFailsOpenAndLeavesNoFile)
{
    TempDir dir;
    const std::string path = dir.file("h.ser");
    const WriteOutcome o = writeUnderFileSizeLimit(path, 100);
    EXPECT_EQ(o.openError, "Failed to write the header of SER file " + path + ": File too large");
    EXPECT_FALSE(std::filesystem::exists(path));
}

}   // namespace
