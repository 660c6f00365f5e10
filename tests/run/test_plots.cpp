// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/plots.h"

#include "run/plot_canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>

namespace {

bool Is(const OutputBitmap& bitmap, std::int32_t x, std::int32_t y, PlotInk ink)
{
    const std::uint8_t* p = bitmap.rowFromTop(y) + std::size_t(x) * 3;
    return p[0] == ink.blue && p[1] == ink.green && p[2] == ink.red;
}

bool Same(PlotInk a, PlotInk b)
{
    return a.blue == b.blue && a.green == b.green && a.red == b.red;
}

// The rows of a column, from the top, drawn in the ink, below the title, the
// axis's name and the legend, two rows of text when the legend is short
// (its marks are drawn in the same inks).
std::vector<std::int32_t> Rows(const OutputBitmap& bitmap, std::int32_t x, PlotInk ink)
{
    constexpr std::int32_t kBelowLegend = 2 * PlotCanvas::kLineHeight + 8;
    std::vector<std::int32_t> rows;
    for (std::int32_t y = kBelowLegend; y < bitmap.height(); ++y)
        if (Is(bitmap, x, y, ink))
            rows.push_back(y);
    return rows;
}

double MeanRow(const OutputBitmap& bitmap, std::int32_t x, PlotInk ink)
{
    const auto rows = Rows(bitmap, x, ink);
    double sum = 0.0;
    for (const std::int32_t y : rows)
        sum += y;
    return rows.empty() ? -1.0 : sum / double(rows.size());
}

// Picture coordinates in, the analysis's rows from the bottom in the record.
FrameRecord Frame(std::int32_t index, double x, double pictureY, std::int32_t inputHeight,
                  FrameRecord::Outcome outcome = FrameRecord::Outcome::Written)
{
    FrameRecord r;
    r.index = index;
    r.found = outcome != FrameRecord::Outcome::NoPlanet;
    r.centerX = x;
    r.centerY = double(inputHeight - 1) - pictureY;
    r.outcome = outcome;
    return r;
}

}   // namespace

TEST(DriftPlot, CentresStandAtTheirFramesAndValuesAndDroppedFramesAreMarked)
{
    constexpr std::int32_t kInputHeight = 120;
    PlotData data;
    // A test's frame is played again by the processing run; it must not
    // lengthen the frame axis.
    data.addFrame(Frame(300, 1000.0, 10.0, kInputHeight, FrameRecord::Outcome::Analysed), kInputHeight);
    for (std::int32_t k = 0; k <= 100; ++k) {
        const auto outcome = k == 30 ? FrameRecord::Outcome::NoPlanet
            : k == 70                ? FrameRecord::Outcome::Cut
                                     : FrameRecord::Outcome::Written;
        data.addFrame(Frame(k, 100.0 + k, 50.0, kInputHeight, outcome), kInputHeight);
    }
    const OutputBitmap plot = DriftPlot(data);
    ASSERT_EQ(plot.width(), 640);
    ASSERT_EQ(plot.height(), 360);

    // The lowest curve is y; below it, each dropped frame has a tick in the
    // ink of its reason, two pixels wide, the first its frame's column.
    std::int32_t lowestCurveRow = 0;
    std::int32_t firstX = plot.width(), lastX = -1;
    for (std::int32_t x = 0; x < plot.width(); ++x) {
        for (const std::int32_t y : Rows(plot, x, kDriftYInk))
            lowestCurveRow = std::max(lowestCurveRow, y);
        if (!Rows(plot, x, kDriftXInk).empty()) {
            firstX = std::min(firstX, x);
            lastX = x;
        }
    }
    const auto ticksIn = [&](PlotInk ink) {
        std::vector<std::int32_t> starts;
        bool previous = false;
        for (std::int32_t x = 0; x < plot.width(); ++x) {
            bool here = false;
            for (std::int32_t y = lowestCurveRow + 1; y < plot.height() && !here; ++y)
                here = Is(plot, x, y, ink);
            if (here && !previous)
                starts.push_back(x);
            previous = here;
        }
        return starts;
    };
    const std::vector<std::int32_t> noPlanet = ticksIn(OutcomeInk(FrameRecord::Outcome::NoPlanet));
    const std::vector<std::int32_t> cut = ticksIn(OutcomeInk(FrameRecord::Outcome::Cut));
    ASSERT_EQ(noPlanet.size(), 1u);
    ASSERT_EQ(cut.size(), 1u);
    const std::vector<std::int32_t> ticks{noPlanet[0], cut[0]};
    const auto column = [&](double k) {
        return std::int32_t(std::lround(ticks[0] + (ticks[1] - ticks[0]) * (k - 30.0) / 40.0));
    };
    // The curve spans frames 0 to 100 (its pen is two pixels wide).
    EXPECT_NEAR(firstX, column(0), 1);
    EXPECT_NEAR(lastX, column(100) + 1, 1);
    // No centre without a planet; the cut frame's centre is drawn.
    for (std::int32_t x = column(30) - 2; x <= column(30) + 2; ++x)
        EXPECT_TRUE(Rows(plot, x, kDriftXInk).empty()) << x;
    EXPECT_FALSE(Rows(plot, column(70), kDriftXInk).empty());

    // x rises evenly, upwards; y = 50 lies three quarters of the x rise
    // (x: 110 to 190) below x = 110.
    const double x10 = MeanRow(plot, column(10), kDriftXInk);
    const double x50 = MeanRow(plot, column(50), kDriftXInk);
    const double x90 = MeanRow(plot, column(90), kDriftXInk);
    const double y50 = MeanRow(plot, column(50), kDriftYInk);
    ASSERT_GT(x10, x90 + 50.0);
    EXPECT_NEAR(x50, (x10 + x90) / 2.0, 1.0);
    EXPECT_NEAR((y50 - x10) / (x10 - x90), 0.75, 0.02);
}

TEST(DriftPlot, ALongFileShowsEachColumnsSpreadWithTheMeanThroughIt)
{
    constexpr std::int32_t kInputHeight = 480;
    PlotData data;
    for (std::int32_t k = 0; k < 20000; ++k)
        data.addFrame(Frame(k, k % 2 ? 310.0 : 290.0, 100.0, kInputHeight,
                            k % 10 ? FrameRecord::Outcome::Written : FrameRecord::Outcome::NotKept),
                      kInputHeight);
    const auto start = std::chrono::steady_clock::now();
    const OutputBitmap plot = DriftPlot(data);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(500));

    // Away from the ends, every column draws 290 to 310 in full, the same
    // rows in each, the mean 300 half way.
    std::set<std::pair<std::int32_t, std::int32_t>> spans;
    for (std::int32_t x = 60; x < 600; ++x) {
        std::vector<std::int32_t> rows = Rows(plot, x, kDriftXBandInk);
        const std::vector<std::int32_t> line = Rows(plot, x, kDriftXInk);
        ASSERT_FALSE(line.empty()) << x;
        rows.insert(rows.end(), line.begin(), line.end());
        const auto [top, bottom] = std::minmax_element(rows.begin(), rows.end());
        ASSERT_EQ(std::int32_t(rows.size()), *bottom - *top + 1) << "a hole in column " << x;
        spans.insert({*top, *bottom});
        EXPECT_NEAR(MeanRow(plot, x, kDriftXInk), (*top + *bottom) / 2.0, 1.5) << x;
    }
    ASSERT_EQ(spans.size(), 1u);
    // The 20 pixels of spread, on a scale of 100 to 400.
    EXPECT_GT(spans.begin()->second - spans.begin()->first, 12);
}

namespace {

// Where a square of the ink, side pixels wide, is drawn: a legend's key (a
// tick is two pixels wide); (-1, -1) when none is.
std::pair<std::int32_t, std::int32_t> Square(const OutputBitmap& bitmap, PlotInk ink, std::int32_t side)
{
    for (std::int32_t y = 0; y + side <= bitmap.height(); ++y)
        for (std::int32_t x = 0; x + side <= bitmap.width(); ++x) {
            bool whole = true;
            for (std::int32_t dy = 0; dy < side && whole; ++dy)
                for (std::int32_t dx = 0; dx < side && whole; ++dx)
                    whole = Is(bitmap, x + dx, y + dy, ink);
            if (whole)
                return {x, y};
        }
    return {-1, -1};
}

}   // namespace

TEST(DriftPlot, EachReasonHasItsOwnInkAndOnlyThoseThatOccurAreInTheLegend)
{
    using Outcome = FrameRecord::Outcome;
    const std::vector<Outcome> reasons{Outcome::NoPlanet, Outcome::Incomplete, Outcome::NotWritten, Outcome::NotKept,
                                       Outcome::Cut,      Outcome::Small,      Outcome::Saturated,  Outcome::Dim};
    const std::vector<PlotInk> others{kDriftXInk, kDriftYInk, kDriftXBandInk, kDriftYBandInk, kPaperInk, kGridInk};
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        const PlotInk ink = OutcomeInk(reasons[i]);
        for (std::size_t j = i + 1; j < reasons.size(); ++j)
            EXPECT_FALSE(Same(ink, OutcomeInk(reasons[j]))) << OutcomeText(reasons[i]) << OutcomeText(reasons[j]);
        for (const PlotInk other : others)
            EXPECT_FALSE(Same(ink, other)) << OutcomeText(reasons[i]);
        // The legend names it.
        for (const char c : std::string(OutcomeText(reasons[i])))
            EXPECT_TRUE(PlotCanvas::hasGlyph(c)) << OutcomeText(reasons[i]);
    }

    constexpr std::int32_t kInputHeight = 200;
    const std::set<Outcome> present{Outcome::NotKept, Outcome::Small, Outcome::Dim};
    PlotData data;
    for (std::int32_t k = 0; k < 90; ++k)
        data.addFrame(Frame(k, 100.0 + k % 7, 80.0, kInputHeight,
                            k % 10 == 1   ? Outcome::NotKept
                                : k == 40 ? Outcome::Small
                                : k == 45 ? Outcome::Dim
                                          : Outcome::Written),
                      kInputHeight);
    const OutputBitmap plot = DriftPlot(data);
    for (const Outcome reason : reasons) {
        const auto [x, y] = Square(plot, OutcomeInk(reason), 10);
        if (!present.contains(reason)) {
            EXPECT_EQ(x, -1) << OutcomeText(reason) << " is not a reason of these frames";
            continue;
        }
        ASSERT_GE(x, 0) << OutcomeText(reason) << " has no key";
        // Its name and count follow the key on its row.
        std::int32_t written = 0;
        for (std::int32_t dy = 0; dy < 10; ++dy)
            for (std::int32_t dx = 12; dx < 60 && x + dx < plot.width(); ++dx)
                written += Is(plot, x + dx, y + dy, kPaperInk) ? 0 : 1;
        EXPECT_GT(written, 20) << OutcomeText(reason);
    }
}
