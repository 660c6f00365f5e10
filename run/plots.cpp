// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/plots.h"

#include "run/plot_canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace {

using Outcome = FrameRecord::Outcome;

constexpr std::int32_t kWidth = 640;
constexpr std::int32_t kHeight = 360;
constexpr std::int32_t kMargin = 8;            // between the picture's edges and what is drawn on it
constexpr std::int32_t kGap = 14;              // between two texts on a row
constexpr std::int32_t kRight = kWidth - 16;   // where the curves end
constexpr std::int32_t kLabelTop = kHeight - kMargin - PlotCanvas::kCapitalHeight;   // the count axis's labels

constexpr PlotInk kTitleInk{20, 20, 20};
constexpr PlotInk kTextInk{70, 70, 70};
constexpr PlotInk kAxisInk{90, 90, 90};
constexpr PlotInk kLimitInk{40, 40, 220};

// Where the curves are drawn, in picture pixels.
struct Area {
    std::int32_t left, top, right, bottom;
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

struct LegendEntry {
    PlotInk ink;
    bool curve;   // a stroke as the curve's; else a block, as the reason's ticks
    std::string name;
};

constexpr std::int32_t kKeyWidth = 18;

std::int32_t EntryWidth(const LegendEntry& entry)
{
    return kKeyWidth + 6 + PlotCanvas::textWidth(entry.name);
}

void DrawEntry(PlotCanvas& canvas, std::int32_t x, std::int32_t y, const LegendEntry& entry)
{
    constexpr std::int32_t kMiddle = PlotCanvas::kCapitalHeight / 2;
    if (entry.curve)
        canvas.fill(x, y + kMiddle - 2, x + kKeyWidth, y + kMiddle + 2, entry.ink);
    else
        canvas.fill(x + kKeyWidth - PlotCanvas::kCapitalHeight, y, x + kKeyWidth, y + PlotCanvas::kCapitalHeight,
                    entry.ink);
    canvas.text(x + kKeyWidth + 6, y, entry.name, kTextInk);
}

using LegendRows = std::vector<std::vector<const LegendEntry*>>;

// The entries in their order, as many on a row as its room takes (room(row),
// in pixels), the rest on the rows below. The first two rows share theirs
// with the texts at the left; an entry too wide for them goes lower.
LegendRows ArrangeLegend(const std::vector<LegendEntry>& legend, const std::function<std::int32_t(std::size_t)>& room)
{
    LegendRows rows(1);
    std::int32_t used = 0;
    for (const LegendEntry& entry : legend) {
        const auto widthOn = [&] { return rows.back().empty() ? EntryWidth(entry) : used + kGap + EntryWidth(entry); };
        while (widthOn() > room(rows.size() - 1) && (!rows.back().empty() || rows.size() < 3)) {
            rows.emplace_back();
            used = 0;
        }
        used = widthOn();
        rows.back().push_back(&entry);
    }
    return rows;
}

// The title on the first row and the value axis's name on the second, at
// the left; the legend at the right, its rows right-aligned. Returns the top
// of the curves' area, below all of them.
std::int32_t DrawHeading(PlotCanvas& canvas, std::string_view title, std::string_view valueName,
                         const std::vector<LegendEntry>& legend)
{
    const auto rowTop = [](std::size_t row) { return kMargin + std::int32_t(row) * PlotCanvas::kLineHeight; };
    // Bold: drawn twice, a pixel apart.
    canvas.text(kMargin, rowTop(0), title, kTitleInk);
    canvas.text(kMargin + 1, rowTop(0), title, kTitleInk);
    canvas.text(kMargin, rowTop(1), valueName, kTextInk);
    const auto room = [&](std::size_t row) {
        const std::string_view beside = row == 0 ? title : row == 1 ? valueName : std::string_view();
        return kWidth - 2 * kMargin - (beside.empty() ? 0 : PlotCanvas::textWidth(beside) + 2 * kGap);
    };
    const LegendRows rows = ArrangeLegend(legend, room);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        std::int32_t width = -kGap;
        for (const LegendEntry* entry : rows[row])
            width += kGap + EntryWidth(*entry);
        std::int32_t x = kWidth - kMargin - width;
        for (const LegendEntry* entry : rows[row]) {
            DrawEntry(canvas, x, rowTop(row), *entry);
            x += EntryWidth(*entry) + kGap;
        }
    }
    // Clear of the descenders above and of half a value label, centred on the top grid line.
    return rowTop(std::max<std::size_t>(rows.size(), 2)) + 8;
}

// The values the grid lines stand at, the lowest the axis, each labelled.
struct ValueAxis {
    std::vector<double> values;
    std::vector<std::string> labels;

    std::int32_t labelsWidth() const
    {
        std::int32_t widest = 0;
        for (const std::string& label : labels)
            widest = std::max(widest, PlotCanvas::textWidth(label));
        return widest;
    }
};

// The left edge of curves whose value labels stand at the picture's left.
std::int32_t LeftOf(const ValueAxis& axis)
{
    return kMargin + axis.labelsWidth() + 8;
}

void DrawValueAxis(PlotCanvas& canvas, const Area& area, const ValueAxis& axis,
                   const std::function<double(double)>& yOf)
{
    for (std::size_t i = 0; i < axis.values.size(); ++i) {
        const double y = yOf(axis.values[i]);
        canvas.line(area.left, y, area.right, y, i == 0 ? kAxisInk : kGridInk);
        const std::string& label = axis.labels[i];
        canvas.text(area.left - 8 - PlotCanvas::textWidth(label),
                    std::int32_t(std::lround(y)) - PlotCanvas::kCapitalHeight / 2, label, kAxisInk);
    }
    canvas.line(area.left, area.top, area.left, area.bottom, kAxisInk);
}

// The frame or rank axis under the curves: numbers from first on, count of
// them, positionOf(k) the column of the k-th. The first and the round steps
// after it are labelled, as many as fit beside each other and the axis's
// name, which ends the row at the right; the steps have grid lines.
void DrawCountAxis(PlotCanvas& canvas, const Area& area, std::size_t first, std::size_t count, std::string_view name,
                   const std::function<double(std::size_t)>& positionOf)
{
    const std::int32_t nameLeft = kWidth - kMargin - PlotCanvas::textWidth(name);
    canvas.text(nameLeft, kLabelTop, name, kTextInk);
    std::int32_t free = 0;   // the first column a label may take
    const auto mark = [&](std::size_t k) {
        const double x = positionOf(k);
        if (k > 0)
            canvas.line(x, area.top, x, area.bottom - 1, kGridInk);
        const std::string label = std::to_string(first + k);
        const std::int32_t width = PlotCanvas::textWidth(label);
        const std::int32_t left = std::int32_t(std::lround(x)) - width / 2;
        if (left >= free && left + width + kGap <= nameLeft) {
            canvas.text(left, kLabelTop, label, kAxisInk);
            free = left + width + kGap;
        }
    };
    mark(0);
    const std::size_t step = count > 1 ? std::size_t(RoundStep(std::max(1.0, double(count - 1) / 6.0))) : 1;
    for (std::size_t n = step; n < first + count; n += step)
        if (n > first)
            mark(n - first);
}

}   // namespace

PlotInk OutcomeInk(FrameRecord::Outcome outcome)
{
    switch (outcome) {
    case Outcome::NoPlanet: return {40, 39, 214};      // red
    case Outcome::Incomplete: return {207, 190, 23};   // cyan
    case Outcome::NotWritten: return {40, 40, 40};     // black: the output refused it
    case Outcome::NotKept: return {160, 160, 160};     // grey, as the quality curve's frames left out
    case Outcome::Cut: return {14, 127, 255};          // orange
    case Outcome::Small: return {194, 119, 227};       // pink
    case Outcome::Saturated: return {34, 189, 188};    // olive
    case Outcome::Dim: return {189, 103, 148};         // purple
    case Outcome::NoLimb: return {75, 86, 140};        // brown
    case Outcome::Written:
    case Outcome::Analysed: break;
    }
    return kPaperInk;
}

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

namespace {

// Scores from best to worst: the kept part of the curve in blue, the rest
// in the grey of frames not kept.
void DrawScores(PlotCanvas& canvas, const std::vector<double>& sortedScores, std::int32_t kept,
                const std::function<double(std::size_t)>& xOf, const std::function<double(double)>& yOf)
{
    const std::size_t count = sortedScores.size();
    for (std::size_t k = 0; k < count; ++k) {
        const PlotInk ink = std::int64_t(k) < kept ? kDriftXInk : OutcomeInk(Outcome::NotKept);
        const double x = xOf(k), y = yOf(sortedScores[k]);
        if (k + 1 < count)
            canvas.line(x, y, xOf(k + 1), yOf(sortedScores[k + 1]), ink, 2);
        const auto px = std::int32_t(std::lround(x)), py = std::int32_t(std::lround(y));
        canvas.fill(px - 1, py - 1, px + 3, py + 3, ink);
    }
}

// Between the last frame kept and the first left out, with their count on
// the row of the axis's name, left of the line where it has room.
void DrawKeepLimit(PlotCanvas& canvas, const Area& area, std::size_t count, std::int32_t kept, std::int32_t nameRight,
                   const std::function<double(std::size_t)>& xOf)
{
    if (kept <= 0 || std::size_t(kept) >= count)
        return;
    const double x = (xOf(std::size_t(kept) - 1) + xOf(std::size_t(kept))) / 2.0;
    canvas.line(x, area.top - 4, x, area.bottom, kLimitInk, 2);
    const std::string label = std::to_string(kept) + " kept";
    const std::int32_t width = PlotCanvas::textWidth(label);
    std::int32_t left = std::int32_t(x) - 6 - width;
    if (left < nameRight + kGap)
        left = std::min(std::int32_t(x) + 8, kWidth - kMargin - width);
    canvas.text(left, kMargin + PlotCanvas::kLineHeight, label, kLimitInk);
}

}   // namespace

OutputBitmap QualityPlot(const std::vector<double>& sortedScores, std::int32_t kept)
{
    constexpr std::string_view kValueName = "quality";
    PlotCanvas canvas(kWidth, kHeight);
    const std::int32_t top = DrawHeading(canvas, "Frame quality, best first", kValueName, {});
    // The score axis starts at the tenth below the lowest score, so that a
    // file whose frames differ by a few percent still shows a curve.
    const double lowest = sortedScores.empty() ? 0.0 : std::clamp(sortedScores.back(), 0.0, 1.0);
    const double bottom = std::min(0.9, std::floor(lowest * 10.0) / 10.0);
    ValueAxis axis;
    for (int q = 0; q <= 4; ++q) {
        axis.values.push_back(bottom + (1.0 - bottom) * q / 4.0);
        char label[16];
        std::snprintf(label, sizeof label, "%.3g", axis.values.back());
        axis.labels.emplace_back(label);
    }
    const Area area{LeftOf(axis), top, kRight, kLabelTop - 8};
    const auto yOf = [&](double score) {
        return double(area.top)
            + (1.0 - std::clamp(score, bottom, 1.0)) / (1.0 - bottom) * double(area.bottom - area.top);
    };
    const std::size_t count = sortedScores.size();
    const auto xOf = [&](std::size_t k) {
        return double(area.left) + (count > 1 ? double(k) / double(count - 1) : 0.5) * double(area.right - area.left);
    };
    DrawValueAxis(canvas, area, axis, yOf);
    DrawCountAxis(canvas, area, 1, count, "rank", xOf);
    DrawScores(canvas, sortedScores, kept, xOf, yOf);
    DrawKeepLimit(canvas, area, count, kept, kMargin + PlotCanvas::textWidth(kValueName), xOf);
    return canvas.take();
}

namespace {

using OutcomeCounts = std::array<std::int32_t, std::size_t(Outcome::NoLimb) + 1>;

constexpr std::array kReasons{Outcome::NoPlanet,   Outcome::NoLimb,    Outcome::Incomplete,
                              Outcome::NotWritten, Outcome::NotKept,   Outcome::Cut,
                              Outcome::Small,      Outcome::Saturated, Outcome::Dim};

// The curves, then the reasons the frames were dropped for, each with its
// count: only those that occur.
std::vector<LegendEntry> DriftLegend(const std::vector<PlotData::Frame>& frames)
{
    OutcomeCounts counts{};
    for (const PlotData::Frame& frame : frames)
        ++counts[std::size_t(frame.outcome)];
    std::vector<LegendEntry> legend{{kDriftXInk, true, "x"}, {kDriftYInk, true, "y"}};
    for (const Outcome reason : kReasons)
        if (counts[std::size_t(reason)] > 0)
            legend.push_back(
                {OutcomeInk(reason), false, std::to_string(counts[std::size_t(reason)]) + " " + OutcomeText(reason)});
    return legend;
}

// The scale of picture pixels both coordinates share, in round steps.
struct DriftScale {
    double bottom = 0.0;
    double top = 0.0;
    double step = 1.0;
};

DriftScale ScaleOf(const std::vector<PlotData::Frame>& frames)
{
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
    DriftScale scale;
    scale.step = RoundStep((highest - lowest) / 4.0);
    scale.bottom = std::floor(lowest / scale.step) * scale.step;
    scale.top = std::ceil(highest / scale.step) * scale.step;
    return scale;
}

ValueAxis AxisOf(const DriftScale& scale)
{
    ValueAxis axis;
    for (double value = scale.bottom; value <= scale.top + scale.step / 2.0; value += scale.step) {
        axis.values.push_back(value);
        axis.labels.push_back(std::to_string(std::llround(value)));
    }
    return axis;
}

// Under the curves, between rows top and bottom: per pixel column, a tick
// for its frames not written, as tall as their share of its frames, stacked
// by reason in each reason's ink. A lone column's tick is two pixels wide,
// so that it still shows at half size.
void DrawDropTicks(PlotCanvas& canvas, const std::vector<PlotData::Frame>& frames,
                   const std::function<std::int32_t(std::size_t)>& columnOf, std::int32_t top, std::int32_t bottom)
{
    // Every reason shows, however few of a long file's frames it took.
    constexpr std::int32_t kShortest = 2;
    std::vector<OutcomeCounts> dropped(std::size_t(kWidth), OutcomeCounts{});
    std::vector<std::int32_t> seen(std::size_t(kWidth), 0), droppedFrames(std::size_t(kWidth) + 1, 0);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const Outcome outcome = frames[k].outcome;
        if (outcome == Outcome::Analysed)
            continue;
        const std::size_t column = std::size_t(columnOf(k));
        ++seen[column];
        ++dropped[column][std::size_t(outcome)];
        droppedFrames[column] += outcome == Outcome::Written ? 0 : 1;
    }
    for (std::int32_t x = 0; x < kWidth; ++x) {
        const std::size_t column = std::size_t(x);
        const std::int32_t width = droppedFrames[column + 1] > 0 ? 1 : 2;
        std::int32_t y = bottom;
        for (const Outcome reason : kReasons) {
            const std::int32_t n = dropped[column][std::size_t(reason)];
            if (n == 0)
                continue;
            const auto height =
                std::max(kShortest, std::int32_t(std::lround(double((bottom - top) * n) / double(seen[column]))));
            canvas.fill(x, std::max(top, y - height), x + width, y, OutcomeInk(reason));
            y -= height;
        }
    }
}

// Per pixel column, one coordinate of its frames: their mean, and their
// least and greatest value.
struct Column {
    double sum = 0.0;
    std::int32_t frames = 0;
    float least = 0.0f, greatest = 0.0f;
    std::int32_t joins = -1;   // the column whose mean the line comes from
};

std::vector<Column> Gather(const std::vector<PlotData::Frame>& frames, float PlotData::Frame::*coordinate,
                           const std::function<std::int32_t(std::size_t)>& columnOf)
{
    std::vector<Column> columns(std::size_t(kWidth), Column{});
    std::int32_t last = -1;   // the column of the last frame with a planet, when no frame without one followed
    for (std::size_t k = 0; k < frames.size(); ++k) {
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
}

void DrawBand(PlotCanvas& canvas, const std::vector<Column>& columns, PlotInk ink,
              const std::function<double(double)>& yOf)
{
    for (std::int32_t x = 0; x < kWidth; ++x) {
        const Column& c = columns[std::size_t(x)];
        if (c.frames > 1)
            for (auto y = std::int32_t(std::lround(yOf(c.greatest))); y <= std::lround(yOf(c.least)) + 1; ++y)
                canvas.blend(x, y, ink);
    }
}

void DrawMeans(PlotCanvas& canvas, const std::vector<Column>& columns, PlotInk ink,
               const std::function<double(double)>& yOf)
{
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
}

// The spread first, both bands under both lines, where many frames share a
// column: a long file's jitter reads as a band, its drift as the line of the
// means. x goes last, over y where they cross.
void DrawCentres(PlotCanvas& canvas, const std::vector<PlotData::Frame>& frames,
                 const std::function<std::int32_t(std::size_t)>& columnOf, const std::function<double(double)>& yOf)
{
    const std::vector<Column> xs = Gather(frames, &PlotData::Frame::x, columnOf);
    const std::vector<Column> ys = Gather(frames, &PlotData::Frame::y, columnOf);
    DrawBand(canvas, ys, kDriftYBandInk, yOf);
    DrawBand(canvas, xs, kDriftXBandInk, yOf);
    DrawMeans(canvas, ys, kDriftYInk, yOf);
    DrawMeans(canvas, xs, kDriftXInk, yOf);
}

}   // namespace

OutputBitmap DriftPlot(const PlotData& data)
{
    constexpr std::int32_t kStripBottom = kLabelTop - 6;
    constexpr std::int32_t kStripTop = kStripBottom - 16;   // the tallest tick: eight reasons at their shortest
    const std::vector<PlotData::Frame>& frames = data.frames();
    PlotCanvas canvas(kWidth, kHeight);
    const std::int32_t top = DrawHeading(canvas, "Planet drift", "x, y of the centre [px]", DriftLegend(frames));
    const DriftScale scale = ScaleOf(frames);
    const ValueAxis axis = AxisOf(scale);
    const Area area{LeftOf(axis), top, kRight, kStripTop - 4};
    const auto yOf = [&](double value) {
        return double(area.top) + (scale.top - value) / (scale.top - scale.bottom) * double(area.bottom - area.top);
    };
    const std::size_t count = frames.size();
    const auto columnOf = [&](std::size_t k) {
        return std::int32_t(std::lround(
            double(area.left) + (count > 1 ? double(k) / double(count - 1) : 0.5) * double(area.right - area.left)));
    };
    DrawValueAxis(canvas, area, axis, yOf);
    // Frames are numbered from 0, as in the track.
    DrawCountAxis(canvas, area, 0, count, "frame", [&](std::size_t k) { return double(columnOf(k)); });
    DrawDropTicks(canvas, frames, columnOf, kStripTop, kStripBottom);
    DrawCentres(canvas, frames, columnOf, yOf);
    return canvas.take();
}
