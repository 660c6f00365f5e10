// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_writer.h"
#include "support/ser_reader.h"
#include "support/temp_dir.h"
#include "tests/ser/ser_test_frames.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orbicrop::ser;
using sertest::testFrame;
using sertest::testStamp;

namespace {

std::string padded(std::string text)
{
    text.resize(40, '\0');
    return text;
}

struct RoundTripCase {
    const char* name;
    SerColour colour;
    std::int32_t depth;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class SerRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(SerRoundTrip, ReadsBackTheHeaderFramesAndStampsAsWritten)
{
    const RoundTripCase c = GetParam();
    SerFormat format;
    format.width = 13;   // odd, so that no row padding can hide
    format.height = 7;
    format.colour = c.colour;
    format.depth = c.depth;
    format.luId = 7;
    format.observer = "Jane Doe";
    format.instrument = std::string(40, 'I');   // fills the field: no terminator
    format.dateTime = 638396676000000000;
    format.dateTimeUtc = 638396640000000000;

    TempDir dir;
    const std::string path = dir.file("out.ser");
    SerWriter writer;
    writer.open(path, format);
    for (std::int32_t i = 0; i < 3; ++i)
        writer.addFrame(testFrame(format, i), testStamp(i));
    EXPECT_EQ(writer.framesWritten(), 3);
    writer.close();
    EXPECT_FALSE(writer.isOpen());

    const SerFileContents s = ReadSerFile(path);
    EXPECT_EQ(s.fileId, "LUCAM-RECORDER");
    EXPECT_EQ(s.luId, 7);
    EXPECT_EQ(s.colourId, std::int32_t(c.colour));
    EXPECT_EQ(s.littleEndianFlag, 0);
    EXPECT_EQ(s.width, 13);
    EXPECT_EQ(s.height, 7);
    EXPECT_EQ(s.depth, c.depth);
    EXPECT_EQ(s.frameCount, 3);
    EXPECT_EQ(s.observer, padded("Jane Doe"));
    EXPECT_EQ(s.instrument, format.instrument);
    EXPECT_EQ(s.telescope, padded(""));
    EXPECT_EQ(s.dateTime, format.dateTime);
    EXPECT_EQ(s.dateTimeUtc, format.dateTimeUtc);
    ASSERT_EQ(s.frames.size(), 3u);
    for (std::int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(s.frames[std::size_t(i)], testFrame(format, i)) << "frame " << i;
    EXPECT_EQ(s.trailer(),
              (std::vector<std::uint64_t>{std::uint64_t(testStamp(0)), std::uint64_t(testStamp(1)),
                                          std::uint64_t(testStamp(2))}));
    EXPECT_EQ(s.tail.size(), 24u);
}

INSTANTIATE_TEST_SUITE_P(Formats, SerRoundTrip,
                         testing::Values(RoundTripCase{"Mono8", SerColour::Mono, 8},
                                         RoundTripCase{"Mono12", SerColour::Mono, 12},
                                         RoundTripCase{"Mono16", SerColour::Mono, 16},
                                         RoundTripCase{"Bgr8", SerColour::Bgr, 8},
                                         RoundTripCase{"Rgb16", SerColour::Rgb, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

SerFormat smallMono()
{
    SerFormat format;
    format.width = 4;
    format.height = 4;
    return format;
}

// All or none: one frame without a stamp means no trailer at all. The
// destructor closes the file as close() would.
TEST(SerWriter, WritesNoStampsWhenAFrameHasNone)
{
    TempDir dir;
    const std::string path = dir.file("out.ser");
    const SerFormat format = smallMono();
    {
        SerWriter writer;
        writer.open(path, format);
        writer.addFrame(testFrame(format, 0), testStamp(0));
        writer.addFrame(testFrame(format, 1), std::nullopt);
        writer.addFrame(testFrame(format, 2), testStamp(2));
    }
    const SerFileContents s = ReadSerFile(path);
    EXPECT_EQ(s.frameCount, 3);
    EXPECT_EQ(s.frames.at(2), testFrame(format, 2));
    EXPECT_TRUE(s.tail.empty());
}

TEST(SerWriter, RefusesWhatItCannotWriteAndWritesNothing)
{
    TempDir dir;
    const std::string path = dir.file("out.ser");
    SerWriter writer;
    for (auto spoil :
         {+[](SerFormat& f) { f.depth = 17; }, +[](SerFormat& f) { f.width = 0; },
          +[](SerFormat& f) { f.colour = SerColour(12); }, +[](SerFormat& f) { f.telescope = std::string(41, 'T'); }}) {
        SerFormat format = smallMono();
        spoil(format);
        EXPECT_THROW(writer.open(path, format), SerError);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_THROW(writer.addFrame(testFrame(smallMono(), 0)), SerError);

    writer.open(path, smallMono());
    writer.addFrame(testFrame(smallMono(), 0));
    std::vector<std::uint8_t> tooLong = testFrame(smallMono(), 1);
    tooLong.push_back(0);
    EXPECT_THROW(writer.addFrame(tooLong), SerError);
    EXPECT_THROW(writer.addFrame(std::span(tooLong).first(15)), SerError);
    EXPECT_THROW(writer.open(dir.file("other.ser"), smallMono()), SerError);
    EXPECT_EQ(writer.framesWritten(), 1);
    writer.close();
    EXPECT_EQ(std::filesystem::file_size(path), 178u + 16u);
    EXPECT_EQ(ReadSerFile(path).frameCount, 1);
}

// A file whose writer never gets to close it (a crash) still counts all but
// its last few frames.
TEST(SerWriter, KeepsTheHeaderCountCloseBehindTheFramesWhileOpen)
{
    TempDir dir;
    const std::string path = dir.file("out.ser");
    const SerFormat format = smallMono();
    SerWriter writer;
    writer.open(path, format);
    for (std::int32_t i = 0; i < 300; ++i)
        writer.addFrame(testFrame(format, i), testStamp(i));
    const SerFileContents open = ReadSerFile(path);
    EXPECT_EQ(open.frameCount, 256);
    EXPECT_EQ(open.tail.size(), 44u * 16u);

    writer.close();
    const SerFileContents closed = ReadSerFile(path);
    EXPECT_EQ(closed.frameCount, 300);
    EXPECT_EQ(closed.frames.at(299), testFrame(format, 299));
    ASSERT_EQ(closed.trailer().size(), 300u);
    EXPECT_EQ(closed.trailer()[299], std::uint64_t(testStamp(299)));
}

}   // namespace
