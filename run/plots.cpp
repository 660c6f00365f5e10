// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/plots.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

constexpr std::int32_t kWidth = 640;
constexpr std::int32_t kHeight = 360;
constexpr std::int32_t kLeft = 44;   // room for the value labels
constexpr std::int32_t kRight = 16;

using Colour = PlotInk;
constexpr Colour kPaper{255, 255, 255};
constexpr Colour kGrid{225, 225, 225};
constexpr Colour kAxis{90, 90, 90};
constexpr Colour kKept{200, 90, 20};
constexpr Colour kLeftOut{170, 170, 170};
constexpr Colour kLimit{40, 40, 220};

// 3 x 5 pixels, one row a byte (bit 2 the left column): the digits, and the
// few letters the legends spell.
struct Glyph {
    char character;
    std::array<std::uint8_t, 5> rows;
};
constexpr std::array<Glyph, 20> kGlyphs{{
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'-', {0, 0, 7, 0, 0}},
    {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'D', {6, 5, 5, 5, 6}}, {'R', {6, 5, 6, 5, 5}},
    {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}}, {'E', {7, 4, 6, 4, 7}}, {' ', {0, 0, 0, 0, 0}},
}};
constexpr std::int32_t kScale = 2;   // each glyph pixel drawn 2 x 2

class Canvas {
public:
    Canvas()
    {
        m_bitmap.setSize(kWidth, kHeight);
        fill(0, 0, kWidth, kHeight, kPaper);
    }
    // y counts from the top of the picture.
    void set(std::int32_t x, std::int32_t y, Colour c)
    {
        if (x < 0 || x >= kWidth || y < 0 || y >= kHeight)
            return;
        std::uint8_t* p = m_bitmap.rowFromBottom(kHeight - 1 - y) + std::size_t(x) * 3;
        p[0] = c.blue;
        p[1] = c.green;
        p[2] = c.red;
    }
    // Half and half with what is drawn there already, but over the paper and the grid.
    void blend(std::int32_t x, std::int32_t y, Colour c)
    {
        if (x < 0 || x >= kWidth || y < 0 || y >= kHeight)
            return;
        std::uint8_t* p = m_bitmap.rowFromBottom(kHeight - 1 - y) + std::size_t(x) * 3;
        const Colour under{p[0], p[1], p[2]};
        const auto same = [&](Colour a) {
            return a.blue == under.blue && a.green == under.green && a.red == under.red;
        };
        if (same(kPaper) || same(kGrid)) {
            set(x, y, c);
            return;
        }
        p[0] = std::uint8_t((p[0] + c.blue) / 2);
        p[1] = std::uint8_t((p[1] + c.green) / 2);
        p[2] = std::uint8_t((p[2] + c.red) / 2);
    }
    void fill(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, Colour c)
    {
        for (std::int32_t y = y0; y < y1; ++y)
            for (std::int32_t x = x0; x < x1; ++x)
                set(x, y, c);
    }
    // pen: the side of the square drawn at every step, its top-left on the line.
    void line(double x0, double y0, double x1, double y1, Colour c, std::int32_t pen = 1)
    {
        const std::int32_t steps =
            std::max(1, std::int32_t(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)))));
        for (std::int32_t i = 0; i <= steps; ++i) {
            const double t = double(i) / double(steps);
            const auto x = std::int32_t(std::lround(x0 + (x1 - x0) * t));
            const auto y = std::int32_t(std::lround(y0 + (y1 - y0) * t));
            fill(x, y, x + pen, y + pen, c);
        }
    }
    // Text in the glyphs above, its top-left corner at (x, y); other
    // characters are left out.
    void text(std::int32_t x, std::int32_t y, const std::string& s, Colour c)
    {
        for (const char ch : s) {
            const auto glyph =
                std::find_if(kGlyphs.begin(), kGlyphs.end(), [ch](const Glyph& g) { return g.character == ch; });
            if (glyph == kGlyphs.end())
                continue;
            for (std::int32_t row = 0; row < 5; ++row)
                for (std::int32_t column = 0; column < 3; ++column)
                    if (glyph->rows[std::size_t(row)] & (4 >> column))
                        fill(x + column * kScale, y + row * kScale, x + (column + 1) * kScale, y + (row + 1) * kScale,
                             c);
            x += 4 * kScale;
        }
    }
    static std::int32_t textWidth(const std::string& s) { return std::int32_t(s.size()) * 4 * kScale - kScale; }
    OutputBitmap take() { return std::move(m_bitmap); }

private:
    OutputBitmap m_bitmap;
};

// The smallest of 1, 2 and 5 times a power of ten that is at least rough:
// axis steps people count in.
double RoundStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough * (1.0 - 1e-9))
            return m * power;
    return 10.0 * power;
}

}   // namespace

void PlotData::addFrame(const FrameRecord& record, std::int32_t inputHeight)
{
    if (record.outcome == FrameRecord::Outcome::Analysed || record.index < 0)
        return;
    const std::size_t index = std::size_t(record.index);
    constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
    if (index >= m_frames.size())
        m_frames.resize(index + 1, Frame{kNone, kNone, FrameRecord::Outcome::Analysed});
    Frame& frame = m_frames[index];
    frame.outcome = record.outcome;
    frame.x = record.found ? float(record.centerX) : kNone;
    frame.y = record.found ? float(double(inputHeight - 1) - record.centerY) : kNone;
}

void PlotData::setScores(std::vector<double> sortedScores, std::int32_t kept)
{
    m_scores = std::move(sortedScores);
    m_kept = kept;
}

void PlotData::clear()
{
    m_frames.clear();
    m_scores.clear();
    m_kept = 0;
}

OutputBitmap QualityPlot(const std::vector<double>& sortedScores, std::int32_t kept)
{
    constexpr std::int32_t kTop = 18;      // room for the kept count
    constexpr std::int32_t kBottom = 28;   // room for the frame labels
    Canvas canvas;
    const double plotWidth = double(kWidth - kLeft - kRight);
    const double plotHeight = double(kHeight - kTop - kBottom);
    // The score axis starts at the tenth below the lowest score, so that a
    // file whose frames differ by a few percent still shows a curve.
    const double lowest = sortedScores.empty() ? 0.0 : std::clamp(sortedScores.back(), 0.0, 1.0);
    const double bottom = std::min(0.9, std::floor(lowest * 10.0) / 10.0);
    const auto yOf = [&](double score) {
        return double(kTop) + (1.0 - std::clamp(score, bottom, 1.0)) / (1.0 - bottom) * plotHeight;
    };
    const std::size_t count = sortedScores.size();
    // Frame k (from 0) at the middle of its share of the width.
    const auto xOf = [&](double k) { return double(kLeft) + (count > 1 ? k / double(count - 1) : 0.5) * plotWidth; };

    for (int q = 0; q <= 4; ++q) {
        const double score = bottom + (1.0 - bottom) * q / 4.0;
        const double y = yOf(score);
        canvas.line(kLeft, y, kWidth - kRight, y, q == 0 ? kAxis : kGrid);
        char label[16];
        std::snprintf(label, sizeof label, "%.3g", score);
        canvas.text(kLeft - 6 - Canvas::textWidth(label), std::int32_t(y) - 5, label, kAxis);
    }
    canvas.line(kLeft, kTop, kLeft, kHeight - kBottom, kAxis);
    canvas.text(kLeft - 4, kHeight - kBottom + 8, "1", kAxis);
    const std::string total = std::to_string(count);
    canvas.text(kWidth - kRight - Canvas::textWidth(total), kHeight - kBottom + 8, total, kAxis);

    for (std::size_t k = 0; k < count; ++k) {
        const Colour colour = std::int64_t(k) < kept ? kKept : kLeftOut;
        const double x = xOf(double(k)), y = yOf(sortedScores[k]);
        if (k + 1 < count)
            canvas.line(x, y, xOf(double(k + 1)), yOf(sortedScores[k + 1]), colour);
        canvas.fill(std::int32_t(std::lround(x)) - 1, std::int32_t(std::lround(y)) - 1,
                    std::int32_t(std::lround(x)) + 2, std::int32_t(std::lround(y)) + 2, colour);
    }
    if (kept > 0 && std::size_t(kept) < count) {
        // Between the last frame kept and the first left out.
        const double x = (xOf(double(kept - 1)) + xOf(double(kept))) / 2.0;
        canvas.line(x, kTop, x, kHeight - kBottom, kLimit);
        canvas.line(x + 1, kTop, x + 1, kHeight - kBottom, kLimit);
        const std::string label = std::to_string(kept);
        // Above the plot, left of the line, clear of the frame labels below.
        canvas.text(std::int32_t(x) - 4 - Canvas::textWidth(label), kTop - 13, label, kLimit);
    }
    return canvas.take();
}

OutputBitmap DriftPlot(const PlotData& data)
{
    constexpr std::int32_t kTop = 24;      // room for the legend
    constexpr std::int32_t kBottom = 40;   // room for the ticks and the frame labels
    constexpr std::int32_t kStrip = 9;     // the tallest tick
    constexpr std::int32_t kPlotBottom = kHeight - kBottom;
    constexpr std::int32_t kStripBottom = kPlotBottom + 4 + kStrip;
    Canvas canvas;
    const std::vector<PlotData::Frame>& frames = data.frames();
    const std::size_t count = frames.size();
    const double plotWidth = double(kWidth - kLeft - kRight);
    const double plotHeight = double(kPlotBottom - kTop);

    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const PlotData::Frame& f : frames)
        if (!std::isnan(f.x)) {
            lowest = std::min({lowest, double(f.x), double(f.y)});
            highest = std::max({highest, double(f.x), double(f.y)});
        }
    if (lowest > highest)
        lowest = highest = 0.0;
    // A planet that stood still shows as a still line, not as its
    // measurement noise magnified to the plot's height.
    if (highest - lowest < 10.0) {
        const double middle = (lowest + highest) / 2.0;
        lowest = middle - 5.0;
        highest = middle + 5.0;
    }
    const double valueStep = RoundStep((highest - lowest) / 4.0);
    const double bottom = std::floor(lowest / valueStep) * valueStep;
    const double top = std::ceil(highest / valueStep) * valueStep;
    const auto yOf = [&](double value) { return double(kTop) + (top - value) / (top - bottom) * plotHeight; };
    const auto columnOf = [&](std::size_t k) {
        return std::int32_t(std::lround(double(kLeft) + (count > 1 ? double(k) / double(count - 1) : 0.5) * plotWidth));
    };

    for (double value = bottom; value <= top + valueStep / 2.0; value += valueStep) {
        const double y = yOf(value);
        canvas.line(kLeft, y, kWidth - kRight, y, value == bottom ? kAxis : kGrid);
        const std::string label = std::to_string(std::llround(value));
        canvas.text(kLeft - 6 - Canvas::textWidth(label), std::int32_t(std::lround(y)) - 5, label, kAxis);
    }
    // Frames are numbered from 0, as in the track.
    const std::size_t frameStep = count > 1 ? std::size_t(RoundStep(std::max(1.0, double(count - 1) / 6.0))) : 1;
    for (std::size_t k = 0; k < std::max<std::size_t>(count, 1); k += frameStep) {
        const std::int32_t x = columnOf(k);
        if (k > 0)
            canvas.line(x, kTop, x, kPlotBottom - 1, kGrid);
        const std::string label = std::to_string(k);
        // Centred under its frame, but whole at the right edge.
        const std::int32_t width = Canvas::textWidth(label);
        canvas.text(std::min(x - width / 2, kWidth - 2 - width), kStripBottom + 5, label, kAxis);
    }
    canvas.line(kLeft, kTop, kLeft, kPlotBottom, kAxis);

    // The share of each column's frames that were not written.
    std::vector<std::int32_t> seen(std::size_t(kWidth), 0), dropped(std::size_t(kWidth), 0);
    for (std::size_t k = 0; k < count; ++k) {
        if (frames[k].outcome == FrameRecord::Outcome::Analysed)
            continue;
        const std::size_t column = std::size_t(columnOf(k));
        ++seen[column];
        dropped[column] += frames[k].outcome == FrameRecord::Outcome::Written ? 0 : 1;
    }
    for (std::int32_t x = 0; x < kWidth; ++x)
        if (dropped[std::size_t(x)] > 0) {
            const auto height = std::max(
                3, std::int32_t(std::lround(double(kStrip * dropped[std::size_t(x)]) / double(seen[std::size_t(x)]))));
            canvas.fill(x, kStripBottom - height, x + 1, kStripBottom, kDroppedInk);
        }

    // Per column: the mean of its frames, and the least and greatest value.
    struct Column {
        double sum = 0.0;
        std::int32_t frames = 0;
        float least = 0.0f, greatest = 0.0f;
        std::int32_t joins = -1;   // the column whose mean the line comes from
    };
    const auto gather = [&](float PlotData::Frame::*coordinate) {
        std::vector<Column> columns(std::size_t(kWidth), Column{});
        std::int32_t last = -1;   // the column of the last frame with a planet, when no frame without one followed
        for (std::size_t k = 0; k < count; ++k) {
            const float value = frames[k].*coordinate;
            if (std::isnan(value)) {
                last = -1;
                continue;
            }
            const std::int32_t x = columnOf(k);
            Column& c = columns[std::size_t(x)];
            if (c.frames == 0) {
                c.least = c.greatest = value;
                c.joins = last != x ? last : -1;
            }
            c.sum += value;
            ++c.frames;
            c.least = std::min(c.least, value);
            c.greatest = std::max(c.greatest, value);
            last = x;
        }
        return columns;
    };
    const std::vector<Column> xs = gather(&PlotData::Frame::x);
    const std::vector<Column> ys = gather(&PlotData::Frame::y);
    // The spread first, both bands under both lines, where many frames
    // share a column: a long file's jitter reads as a band, its drift as the
    // line of the means. x goes last, over y where they cross.
    const auto band = [&](const std::vector<Column>& columns, Colour ink) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const Column& c = columns[std::size_t(x)];
            if (c.frames > 1)
                for (auto y = std::int32_t(std::lround(yOf(c.greatest))); y <= std::lround(yOf(c.least)) + 1; ++y)
                    canvas.blend(x, y, ink);
        }
    };
    const auto means = [&](const std::vector<Column>& columns, Colour ink) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const Column& c = columns[std::size_t(x)];
            if (c.frames == 0)
                continue;
            const double y = yOf(c.sum / double(c.frames));
            if (c.joins >= 0) {
                const Column& from = columns[std::size_t(c.joins)];
                canvas.line(c.joins, yOf(from.sum / double(from.frames)), x, y, ink, 2);
            } else {
                canvas.line(x, y, x, y, ink, 2);
            }
        }
    };
    band(ys, kDriftYBandInk);
    band(xs, kDriftXBandInk);
    means(ys, kDriftYInk);
    means(xs, kDriftXInk);

    // The legend, at the top right: a mark in each ink and its name.
    std::int32_t droppedFrames = 0;
    for (const std::int32_t n : dropped)
        droppedFrames += n;
    const std::string droppedText = std::to_string(droppedFrames) + " DROPPED";
    std::int32_t x = kWidth - kRight - Canvas::textWidth(droppedText);
    canvas.text(x, 7, droppedText, kAxis);
    canvas.fill(x - 8, 5, x - 6, 17, kDroppedInk);
    x -= 8 + 18 + Canvas::textWidth("Y");
    canvas.text(x, 7, "Y", kAxis);
    canvas.fill(x - 20, 11, x - 6, 13, kDriftYInk);
    x -= 20 + 18 + Canvas::textWidth("X");
    canvas.text(x, 7, "X", kAxis);
    canvas.fill(x - 20, 11, x - 6, 13, kDriftXInk);
    return canvas.take();
}
