// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/block_sums.h"
#include "analysis/processing_state.h"
#include "analysis/rounding.h"

#include <gtest/gtest.h>

TEST(BlockGrid, PartialBlocksAreLeftOut)
{
    const BlockGrid grid = MakeBlockGrid(641, 481, 4);
    EXPECT_EQ(grid.rows, 120);
    EXPECT_EQ(grid.columns, 160);
    EXPECT_EQ(MakeBlockGrid(3, 100, 4).count(), 0);
    EXPECT_EQ(MakeBlockGrid(0, 0, 4).count(), 0);
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(4.675), 5);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(12.1666), 12);
}
