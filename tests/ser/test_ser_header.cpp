// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_format.h"

#include "support/ser_writer.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace orbicrop::ser;

namespace {

SerClip Valid()
{
    SerClip clip;
    clip.colourId = 8;
    clip.littleEndianFlag = 1;
    clip.width = 640;
    clip.height = 480;
    clip.depth = 12;
    clip.declaredFrames = 7;
    return clip;
}

TEST(ParseSerHeader, ReadsEveryFieldLittleEndian)
{
    std::vector<std::uint8_t> bytes = Valid().bytes();
    bytes[26] = 0x80;
    bytes[27] = 0x07;   // width 1920
    bytes[38] = 0x01;
    bytes[39] = 0x00;
    bytes[40] = 0x01;
    bytes[41] = 0x00;        // 65537 frames
    bytes.push_back(0xAB);   // frame data after the header is not looked at

    const SerHeaderParse parsed = ParseSerHeader(bytes);
    ASSERT_TRUE(parsed.ok());
    const SerHeader& h = parsed.header;
    EXPECT_EQ(h.colour, SerColour::BayerRggb);
    EXPECT_EQ(h.littleEndianFlag, 1);
    EXPECT_FALSE(h.dataLooksLittleEndian());
    EXPECT_EQ(h.width, 1920);
    EXPECT_EQ(h.height, 480);
    EXPECT_EQ(h.depth, 12);
    EXPECT_EQ(h.frameCount, 65537u);
    EXPECT_EQ(h.observer, "Observer");
    EXPECT_EQ(h.instrument, "Instrument");
    EXPECT_EQ(h.telescope, "Telescope");
    EXPECT_EQ(h.dateTimeUtc, 638000000000000000);
    EXPECT_EQ(h.frameBytes(), 1920u * 480u * 2u);
}

// The writer's header read back: every field of the format it was made from,
// and the frame count and byte-order flag the writer sets.
TEST(ParseSerHeader, ReadsBackWhatTheWriterWrites)
{
    SerFormat format;
    format.width = 1920;
    format.height = 1080;
    format.colour = SerColour::BayerGbrg;
    format.depth = 12;
    format.luId = 7;
    format.observer = "Jane Doe";
    format.instrument = std::string(kTextFieldBytes, 'I');
    format.telescope = "C14";
    format.dateTime = 638396676000000000;
    format.dateTimeUtc = 638396640000000000;
    const auto bytes = SerHeaderBytes(format, 65537);

    const SerHeaderParse parsed = ParseSerHeader(bytes);
    ASSERT_TRUE(parsed.ok());
    const SerHeader& h = parsed.header;
    EXPECT_EQ(h.width, format.width);
    EXPECT_EQ(h.height, format.height);
    EXPECT_EQ(h.colour, format.colour);
    EXPECT_EQ(h.depth, format.depth);
    EXPECT_EQ(h.luId, format.luId);
    EXPECT_EQ(h.observer, format.observer);
    EXPECT_EQ(h.instrument, format.instrument);
    EXPECT_EQ(h.telescope, format.telescope);
    EXPECT_EQ(h.dateTime, format.dateTime);
    EXPECT_EQ(h.dateTimeUtc, format.dateTimeUtc);
    EXPECT_EQ(h.frameCount, 65537u);
    EXPECT_TRUE(h.dataLooksLittleEndian());
}

TEST(ParseSerHeader, ZeroFlagMeansLittleEndianData)
{
    SerClip clip = Valid();
    clip.littleEndianFlag = 0;
    EXPECT_TRUE(ParseSerHeader(clip.bytes()).header.dataLooksLittleEndian());
}

TEST(ParseSerHeader, NeverReadsPastAShortInput)
{
    const std::vector<std::uint8_t> bytes = Valid().bytes();
    for (std::size_t n : {std::size_t(0), std::size_t(13), kHeaderBytes - 1}) {
        // An exact-size copy, so that a read past its end is caught by ASan.
        const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        EXPECT_EQ(ParseSerHeader(head).fault, SerHeaderFault::TooShort) << n;
    }
}

struct BadField {
    const char* name;
    friend void PrintTo(const BadField& p, std::ostream* os) { *os << p.name; }
    std::size_t offset;
    std::uint32_t value;
    SerHeaderFault fault;
};

// Each field alone: through OpenSerSource most of these would also fail for
// want of a whole frame, so only here is the check itself seen.
class ParseSerHeaderRejects : public testing::TestWithParam<BadField> {};

TEST_P(ParseSerHeaderRejects, TheField)
{
    std::vector<std::uint8_t> bytes = Valid().bytes();
    const BadField& bad = GetParam();
    for (int i = 0; i < 4; ++i)
        bytes[bad.offset + std::size_t(i)] = std::uint8_t(bad.value >> (8 * i));
    EXPECT_EQ(ParseSerHeader(bytes).fault, bad.fault);
}

INSTANTIATE_TEST_SUITE_P(Fields, ParseSerHeaderRejects,
                         testing::Values(BadField{"ZeroWidth", 26, 0, SerHeaderFault::BadWidth},
                                         BadField{"Width16385", 26, 16385, SerHeaderFault::BadWidth},
                                         BadField{"NegativeWidth", 26, 0xFFFFFFFF, SerHeaderFault::BadWidth},
                                         // 65536 x 65536 is 2^32: zero in 32-bit arithmetic.
                                         BadField{"Width65536", 26, 65536, SerHeaderFault::BadWidth},
                                         BadField{"ZeroHeight", 30, 0, SerHeaderFault::BadHeight},
                                         BadField{"Height16385", 30, 16385, SerHeaderFault::BadHeight},
                                         BadField{"DepthZero", 34, 0, SerHeaderFault::BadDepth},
                                         BadField{"Depth17", 34, 17, SerHeaderFault::BadDepth},
                                         BadField{"ColourSeven", 18, 7, SerHeaderFault::BadColour},
                                         BadField{"ColourTwelve", 18, 12, SerHeaderFault::BadColour},
                                         BadField{"Colour102", 18, 102, SerHeaderFault::BadColour},
                                         BadField{"NotLucam", 0, 0x41434F4C /* "LOCA" */, SerHeaderFault::NotSer}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseSerHeader, AcceptsTheLargestFrame)
{
    SerClip clip = Valid();
    clip.width = kMaxSide;
    clip.height = kMaxSide;
    clip.colourId = 100;
    clip.depth = 16;
    const SerHeaderParse parsed = ParseSerHeader(clip.bytes());
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.header.frameBytes(), 16384ull * 16384ull * 6ull);
}

}   // namespace
