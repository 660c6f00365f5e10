// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_quality.h"
#include "analysis/frame_ranking.h"
#include "analysis/planet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Frame {
    std::int32_t width;
    std::int32_t height;
    std::vector<std::uint8_t> bytes;
    Frame(std::int32_t w, std::int32_t h, std::uint8_t sky)
        : width(w), height(h), bytes(std::size_t(w) * std::size_t(h) * 3, sky)
    {}
    std::uint8_t* pixel(std::int32_t x, std::int32_t y)
    {
        return bytes.data() + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
    }
    void fill(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::uint8_t v)
    {
        for (std::int32_t y = y0; y < y1; ++y)
            for (std::int32_t x = x0; x < x1; ++x)
                std::fill_n(pixel(x, y), 3, v);
    }
    MarkableFrame markable() { return {bytes.data(), std::ptrdiff_t(width) * 3, width, height}; }
};

TProcessingState StateFor(const Frame& f)
{
    TProcessingState s;
    s.blockSize = kBlockSize;
    s.inputWidth = f.width;
    s.inputHeight = f.height;
    return s;
}

}   // namespace

// A square planet and a smaller moon: the largest group alone gives the
// centre, the moon is tinted (not brightened like the sky) in the preview,
// and neither reaches across the frame.
TEST(LargestObject, IgnoresTheSmallerGroupAndTintsItInThePreview)
{
    Frame f(96, 64, 10);
    f.fill(16, 16, 48, 48, 200);   // planet: blocks 4..11, centre 31.5
    f.fill(72, 28, 80, 36, 250);   // moon
    const TProcessingState state = StateFor(f);
    const PlanetFix all = SearchPlanet(state, f.markable().view(), nullptr, {5.0, false, false, false});
    EXPECT_GT(all.centerX, 33.0);
    const MarkableFrame mark = f.markable();
    const PlanetFix largest = SearchPlanet(state, mark.view(), &mark, {5.0, false, false, true});
    EXPECT_TRUE(largest.found);
    EXPECT_EQ(largest.centerX, 31.5);
    EXPECT_EQ(largest.centerY, 31.5);
    EXPECT_EQ(largest.radiusX, 14.0);
    EXPECT_FALSE(largest.fillsFrame);
    EXPECT_EQ(f.pixel(74, 30)[1], 125);   // moon: green and blue halved, red kept
    EXPECT_EQ(f.pixel(74, 30)[2], 250);
    EXPECT_EQ(f.pixel(2, 2)[1], 60);      // sky: green brightened
    EXPECT_EQ(f.pixel(20, 20)[1], 200);   // planet untouched
}

// Bright blocks from one border to the opposite one fill the frame; the sky
// that a negative setting counts as planet does not.
TEST(PlanetFillsFrame, BrightBlocksFromBorderToBorder)
{
    Frame f(64, 48, 10);
    f.fill(0, 12, 64, 36, 200);   // a band from the left border to the right one
    const TProcessingState state = StateFor(f);
    EXPECT_TRUE(PlanetFillsFrame(state, f.markable().view(), 5.0));
    Frame g(64, 48, 10);
    g.fill(0, 12, 60, 36, 200);   // one border only
    EXPECT_FALSE(PlanetFillsFrame(state, g.markable().view(), 5.0));
    EXPECT_FALSE(PlanetFillsFrame(state, g.markable().view(), -50.0));
}

TEST(FrameRanking, KeepsTheBestInOrderAndNormalisesToTheBest)
{
    FrameRanking ranking;
    const double scores[] = {4.0, 1.0, 8.0, 2.0, 4.0, 0.5};
    for (std::int32_t i = 0; i < 6; ++i)
        ranking.add(i, scores[i]);
    const FrameRanking::Choice choice = ranking.choose({KeepBest::Kind::Percent, 50});
    EXPECT_EQ(choice.candidates, 6);
    EXPECT_EQ(choice.kept, 3);
    EXPECT_EQ(choice.bestIndex, 2);
    EXPECT_EQ(choice.highest, 1.0);
    EXPECT_EQ(choice.lowest, 0.5);
    std::vector<std::int32_t> kept;
    for (std::int32_t i = 0; i < 6; ++i)
        if (ranking.kept(i))
            kept.push_back(i);
    EXPECT_EQ(kept, (std::vector<std::int32_t>{0, 2, 4}));
    EXPECT_EQ(ranking.normalised(3), 0.25);
    EXPECT_EQ((KeepBest{KeepBest::Kind::Percent, 25}.countOf(10)), 3);
    EXPECT_EQ((KeepBest{KeepBest::Kind::Count, 500}.countOf(10)), 10);
    EXPECT_EQ((KeepBest{KeepBest::Kind::Percent, 1}.countOf(10)), 1);
}

// Dim frames leave the candidates before the ranking; a score floor keeps the
// frames that reach it, and at least the best.
TEST(FrameRanking, DropsDimFramesFirstAndKeepsThoseAboveAScoreFloor)
{
    FrameRanking ranking;
    const double scores[] = {4.0, 9.0, 8.0, 2.0, 3.9};
    const double brightness[] = {100.0, 20.0, 110.0, 90.0, 105.0};   // median 100: frame 1 is dim below 50 %
    for (std::int32_t i = 0; i < 5; ++i)
        ranking.add(i, scores[i], brightness[i]);
    KeepBest floor;
    floor.kind = KeepBest::Kind::Floor;
    floor.floor = 0.48;
    const FrameRanking::Choice choice = ranking.choose(floor, 50.0);
    EXPECT_EQ(choice.dim, 1);
    EXPECT_TRUE(ranking.dim(1));
    EXPECT_EQ(choice.candidates, 4);
    EXPECT_EQ(choice.bestIndex, 2);
    EXPECT_EQ(choice.kept, 3);   // 8, 4 and 3.9 reach 0.48 of 8; 2 does not
    EXPECT_EQ(ranking.sortedScores(), (std::vector<double>{1.0, 0.5, 3.9 / 8.0, 0.25}));
    floor.floor = 1.0;
    EXPECT_EQ(ranking.choose(floor).kept, 1);
}
