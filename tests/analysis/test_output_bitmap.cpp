// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/output_bitmap.h"

#include <gtest/gtest.h>

TEST(OutputBitmap, RowsArePaddedToFourBytesWithZeros)
{
    OutputBitmap bmp;
    bmp.setSize(5, 3);   // 15 bytes of pixels, stride 16
    EXPECT_EQ(bmp.stride(), 16);
    EXPECT_EQ(bmp.sizeBytes(), 48u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bmp.rowFromBottom(i)[15], 0);
    EXPECT_EQ(OutputBitmap::strideFor(192), 576);
    EXPECT_EQ(OutputBitmap::strideFor(1), 4);
}

TEST(OutputBitmap, TopAndBottomRowsAddressTheSameStorage)
{
    OutputBitmap bmp;
    bmp.setSize(2, 3);
    bmp.rowFromBottom(0)[0] = 7;
    bmp.rowFromBottom(2)[0] = 9;
    EXPECT_EQ(bmp.rowFromTop(2)[0], 7);
    EXPECT_EQ(bmp.rowFromTop(0)[0], 9);
    EXPECT_EQ(bmp.data()[0], 7);   // stored bottom row first
}
