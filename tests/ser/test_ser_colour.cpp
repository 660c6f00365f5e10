// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_colour.h"

#include <gtest/gtest.h>

using orbicrop::ser::SerColour;
using orbicrop::ser::SerColourAtOffset;

namespace {

struct ShiftCase {
    SerColour from;
    std::int64_t dx;
    std::int64_t dy;
    SerColour to;
};

void PrintTo(const ShiftCase& c, std::ostream* os)
{
    *os << int(c.from) << " by (" << c.dx << ", " << c.dy << ")";
}

class SerColourAtOffsetTable : public testing::TestWithParam<ShiftCase> {};

TEST_P(SerColourAtOffsetTable, GivesTheMosaicSeenFromTheNewTopLeftPixel)
{
    const ShiftCase c = GetParam();
    EXPECT_EQ(SerColourAtOffset(c.from, c.dx, c.dy), c.to);
}

INSTANTIATE_TEST_SUITE_P(Shifts, SerColourAtOffsetTable,
                         testing::Values(ShiftCase{SerColour::BayerRggb, 0, 0, SerColour::BayerRggb},
                                         ShiftCase{SerColour::BayerRggb, 1, 0, SerColour::BayerGrbg},
                                         ShiftCase{SerColour::BayerRggb, 0, 1, SerColour::BayerGbrg},
                                         ShiftCase{SerColour::BayerRggb, 1, 1, SerColour::BayerBggr},
                                         ShiftCase{SerColour::BayerGrbg, 1, 0, SerColour::BayerRggb},
                                         ShiftCase{SerColour::BayerGbrg, 1, 0, SerColour::BayerBggr},
                                         ShiftCase{SerColour::BayerBggr, 1, 1, SerColour::BayerRggb},
                                         // Only parity counts, of large and negative offsets too.
                                         ShiftCase{SerColour::BayerRggb, -1, 0, SerColour::BayerGrbg},
                                         ShiftCase{SerColour::BayerRggb, 7, -3, SerColour::BayerBggr},
                                         ShiftCase{SerColour::BayerGbrg, 4294967297, 0, SerColour::BayerBggr},
                                         ShiftCase{SerColour::BayerCyym, 1, 0, SerColour::BayerYcmy},
                                         ShiftCase{SerColour::BayerCyym, 1, 1, SerColour::BayerMyyc},
                                         ShiftCase{SerColour::BayerMyyc, 1, 0, SerColour::BayerYmcy},
                                         ShiftCase{SerColour::Mono, 1, 1, SerColour::Mono},
                                         ShiftCase{SerColour::Rgb, 1, 0, SerColour::Rgb},
                                         ShiftCase{SerColour::Bgr, 0, 1, SerColour::Bgr}));

}   // namespace
