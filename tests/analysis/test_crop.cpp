// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/crop.h"

#include "support/test_frame.h"

#include <gtest/gtest.h>

namespace {

// 8 x 6 frame whose pixel (x, y) has blue = red = 10 y + x and green 0.
TestFrame Numbered()
{
    TestFrame f(8, 6, 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            f.setPixel(x, y, std::uint8_t(10 * y + x), 0, std::uint8_t(10 * y + x));
    return f;
}

std::vector<int> BlueRow(const OutputBitmap& bmp, int rowFromBottom)
{
    std::vector<int> out;
    for (int j = 0; j < bmp.width(); ++j)
        out.push_back(bmp.rowFromBottom(rowFromBottom)[j * 3]);
    return out;
}

struct Crop {
    TProcessingState state;
    OutputBitmap bitmap;
    GrayPlane gray;
    bool accepted = false;
};

Crop CropAt(TestFrame& f, int cx, int cy, int w, int h, bool ignoreIncomplete = false, bool makeGray = true,
            int halfW = 0, int halfH = 0)
{
    Crop c;
    c.state = f.state();
    c.accepted = CropFrame(c.state, c.bitmap, f.data(), c.gray, cx, cy, halfW, halfH, w, h, ignoreIncomplete, makeGray);
    return c;
}

}   // namespace

TEST(CropFrame, WorkedExampleInsideTheFrame)
{
    TestFrame f = Numbered();
    const Crop c = CropAt(f, 3, 2, 4, 2);
    ASSERT_TRUE(c.accepted);
    ASSERT_EQ(c.bitmap.width(), 4);
    ASSERT_EQ(c.bitmap.height(), 2);
    EXPECT_EQ(BlueRow(c.bitmap, 0), (std::vector<int>{11, 12, 13, 14}));
    EXPECT_EQ(BlueRow(c.bitmap, 1), (std::vector<int>{21, 22, 23, 24}));
    EXPECT_EQ(c.gray, (GrayPlane{21, 22, 23, 24, 11, 12, 13, 14}));
    EXPECT_FALSE(c.state.colorDetected);
}

TEST(CropFrame, WindowPastTheCornerIsBlack)
{
    TestFrame f = Numbered();
    const Crop c = CropAt(f, 0, 0, 4, 2);
    ASSERT_TRUE(c.accepted);
    EXPECT_EQ(BlueRow(c.bitmap, 0), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(BlueRow(c.bitmap, 1), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(c.gray, (GrayPlane{0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST(CropFrame, WindowPastTheRightAndTopEdges)
{
    TestFrame f = Numbered();
    const Crop c = CropAt(f, 7, 5, 4, 2);   // columns 5..8, rows 4..5
    ASSERT_TRUE(c.accepted);
    EXPECT_EQ(BlueRow(c.bitmap, 0), (std::vector<int>{45, 46, 47, 0}));
    EXPECT_EQ(BlueRow(c.bitmap, 1), (std::vector<int>{55, 56, 57, 0}));
}

TEST(CropFrame, WindowWhollyOutsideOrLargerThanTheFrame)
{
    TestFrame f = Numbered();
    const Crop outside = CropAt(f, -50, 100, 4, 4);
    ASSERT_TRUE(outside.accepted);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(BlueRow(outside.bitmap, i), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(outside.gray, GrayPlane(16, 0));

    const Crop larger = CropAt(f, 4, 3, 12, 10);   // columns -2..9, rows -2..7
    ASSERT_TRUE(larger.accepted);
    EXPECT_EQ(BlueRow(larger.bitmap, 2), (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 0, 0}));
    EXPECT_EQ(BlueRow(larger.bitmap, 9), std::vector<int>(12, 0));
}

TEST(CropFrame, OddAndEvenSizesTakeTheirColumns)
{
    TestFrame f(24, 4, 0);
    for (int x = 0; x < 24; ++x)
        f.setPixel(x, 1, std::uint8_t(x), 0, std::uint8_t(x));
    EXPECT_EQ(BlueRow(CropAt(f, 10, 1, 5, 1).bitmap, 0), (std::vector<int>{8, 9, 10, 11, 12}));
    EXPECT_EQ(BlueRow(CropAt(f, 10, 1, 4, 1).bitmap, 0), (std::vector<int>{8, 9, 10, 11}));
    EXPECT_EQ(BlueRow(CropAt(f, 10, 1, 1, 1).bitmap, 0), (std::vector<int>{10}));
}

TEST(CropFrame, BorderTestRefusesWindowsThatReachTheEdge)
{
    TestFrame f(640, 480, 0);
    struct Case {
        int cx, cy;
        bool accepted;
    };
    for (Case c : {Case{32, 240, false}, Case{607, 240, false}, Case{33, 240, true}, Case{606, 240, true},
                   Case{320, 32, false}, Case{320, 447, false}, Case{320, 33, true}, Case{320, 446, true}}) {
        EXPECT_EQ(CropAt(f, c.cx, c.cy, 64, 64, true, false, 32, 32).accepted, c.accepted)
            << "centre " << c.cx << ", " << c.cy;
        EXPECT_TRUE(CropAt(f, c.cx, c.cy, 64, 64, false, false, 32, 32).accepted);
    }
}

TEST(CropFrame, RefusedWindowChangesNothing)
{
    TestFrame f(64, 64, 0);
    f.setPixel(1, 1, 10, 0, 99);
    Crop c;
    c.state = f.state();
    EXPECT_FALSE(CropFrame(c.state, c.bitmap, f.data(), c.gray, 1, 1, 8, 8, 16, 16, true, true));
    EXPECT_TRUE(c.bitmap.empty());
    EXPECT_TRUE(c.gray.empty());
    EXPECT_FALSE(c.state.colorDetected);

    c.bitmap.setSize(5, 7);
    EXPECT_FALSE(CropFrame(c.state, c.bitmap, f.data(), c.gray, 60, 30, 8, 8, 16, 16, true, true));
    EXPECT_EQ(c.bitmap.width(), 5);
    EXPECT_EQ(c.bitmap.height(), 7);
}

TEST(CropFrame, ColourIsDetectedFromRedAgainstBlueAndStays)
{
    TestFrame f(16, 16, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            f.setPixel(x, y, 10, 200, 10);
    TProcessingState state = f.state();
    OutputBitmap bmp;
    GrayPlane gray;
    CropFrame(state, bmp, f.data(), gray, 8, 8, 0, 0, 16, 16, false, false);
    EXPECT_FALSE(state.colorDetected);

    f.setPixel(15, 15, 10, 200, 11);
    CropFrame(state, bmp, f.data(), gray, 0, 0, 0, 0, 4, 4, false, false);   // pixel not copied
    EXPECT_FALSE(state.colorDetected);
    CropFrame(state, bmp, f.data(), gray, 8, 8, 0, 0, 16, 16, false, false);
    EXPECT_TRUE(state.colorDetected);
    f.setPixel(15, 15, 10, 200, 10);
    CropFrame(state, bmp, f.data(), gray, 8, 8, 0, 0, 16, 16, false, false);
    EXPECT_TRUE(state.colorDetected);
}

TEST(CropFrame, GreyByteIsTheBlueByte)
{
    TestFrame f(4, 4, 0);
    f.setPixel(2, 2, 10, 20, 30);
    const Crop c = CropAt(f, 2, 2, 1, 1);
    EXPECT_EQ(c.gray, GrayPlane{10});
    EXPECT_TRUE(c.state.colorDetected);
    EXPECT_EQ(c.bitmap.rowFromBottom(0)[1], 20);
    EXPECT_EQ(c.bitmap.rowFromBottom(0)[2], 30);
}

TEST(CropFrame, NoGreyPlaneUnlessAsked)
{
    TestFrame f = Numbered();
    const Crop c = CropAt(f, 3, 2, 4, 2, false, false);
    EXPECT_TRUE(c.gray.empty());
}
