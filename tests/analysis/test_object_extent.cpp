// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/object_extent.h"
#include "analysis/planet.h"

#include <gtest/gtest.h>

TEST(SizeFromObject, AQuarterMoreInStepsOf16WithinTheSizes)
{
    EXPECT_EQ(SizeFromObject(240.0, 236.0), std::make_pair(304, 304));   // 300 and 295 rounded up
    EXPECT_EQ(SizeFromObject(256.0, 12.0), std::make_pair(320, 32));     // exactly 320; at least 32
    EXPECT_EQ(SizeFromObject(5000.0, 3276.8), std::make_pair(4096, 4096));
    EXPECT_EQ(SizeFromObjectLine(320, 288), "Output size from the planet: 320 \u00d7 288");
}

TEST(CutWarning, OnlyForAnObjectLargerThanTheOutput)
{
    FirstFrames first;
    EXPECT_FALSE(CutWarning(first, 192, 192));   // nothing found yet
    PlanetFix jupiter;
    jupiter.radiusX = 118.0;   // 240 x 236 with the outermost blocks
    jupiter.radiusY = 116.0;
    first.add(jupiter, 4);
    EXPECT_EQ(CutWarning(first, 192, 192),
              "The planet, 240 \u00d7 236 px, is larger than the 192 \u00d7 192 output: its edge will be cut. "
              "Choose a larger size or --size auto");
    EXPECT_FALSE(CutWarning(first, 240, 240));
    // Centred on the limb, the whole disc must fit around its centre, not only the lit part.
    PlanetFix crescent;
    crescent.radiusX = 20.0;
    crescent.radiusY = 60.0;
    crescent.limbRadius = 130.0;
    first.add(crescent, 4);
    EXPECT_EQ(first.width, 260.0);
    EXPECT_TRUE(CutWarning(first, 256, 256));
    EXPECT_EQ(first.heldLimbRadius(), 130.0);
}
