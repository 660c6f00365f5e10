// SPDX-License-Identifier: GPL-3.0-or-later
// Output names made from an input's path.

#include "output/paths.h"

#include <gtest/gtest.h>

TEST(OutputPathFor, DropsFourCharactersNotFourBytes)
{
    EXPECT_EQ(OutputPathFor("/in/Mars_\u00e9t\u00e9.avi", "/out/", false), "/out/Mars_\u00e9t\u00e9_orbic.avi");
    EXPECT_EQ(OutputPathFor("/in/Mars_\u00e9t\u00e9", "/out/", true), "/out/Mars_Y8orbic.avi");
    // Bytes that form no UTF-8 character (a Latin-1 name) count one each.
    EXPECT_EQ(OutputPathFor("/in/ab\xe9\xb0"
                            "cd",
                            "/out/", false),
              "/out/ab_orbic.avi");
    EXPECT_EQ(OutputPathFor("/in/sat.mpeg", "/out/", false), "/out/sat._orbic.avi");
}
