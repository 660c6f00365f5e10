// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/plot_canvas.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Rows from the top, '|' between them: seven down to the line, two below it
// for the tails of g, j, p, q, y and the comma. A glyph is as wide as its
// inked columns, so that "i" and "." take less room than "m".
struct Glyph {
    char character;
    std::string_view rows;
};
constexpr std::array kGlyphs{
    Glyph{'0', ".###.|#...#|#..##|#.#.#|##..#|#...#|.###."},
    Glyph{'1', "..#..|.##..|..#..|..#..|..#..|..#..|.###."},
    Glyph{'2', ".###.|#...#|....#|...#.|..#..|.#...|#####"},
    Glyph{'3', "#####|...#.|..#..|...#.|....#|#...#|.###."},
    Glyph{'4', "...#.|..##.|.#.#.|#..#.|#####|...#.|...#."},
    Glyph{'5', "#####|#....|####.|....#|....#|#...#|.###."},
    Glyph{'6', "..##.|.#...|#....|####.|#...#|#...#|.###."},
    Glyph{'7', "#####|....#|...#.|..#..|.#...|.#...|.#..."},
    Glyph{'8', ".###.|#...#|#...#|.###.|#...#|#...#|.###."},
    Glyph{'9', ".###.|#...#|#...#|.####|....#|...#.|.##.."},
    Glyph{'a', ".....|.....|.###.|....#|.####|#...#|.####"},
    Glyph{'b', "#....|#....|#.##.|##..#|#...#|#...#|####."},
    Glyph{'c', ".....|.....|.###.|#....|#....|#...#|.###."},
    Glyph{'d', "....#|....#|.##.#|#..##|#...#|#...#|.####"},
    Glyph{'e', ".....|.....|.###.|#...#|#####|#....|.###."},
    Glyph{'f', "..##.|.#...|.#...|###..|.#...|.#...|.#..."},
    Glyph{'g', ".....|.....|.####|#...#|#...#|#...#|.####|....#|.###."},
    Glyph{'h', "#....|#....|#.##.|##..#|#...#|#...#|#...#"},
    Glyph{'i', "..#..|.....|.##..|..#..|..#..|..#..|.###."},
    Glyph{'j', "...#.|.....|..##.|...#.|...#.|...#.|...#.|#..#.|.##.."},
    Glyph{'k', "#....|#....|#..#.|#.#..|##...|#.#..|#..#."},
    Glyph{'l', ".##..|..#..|..#..|..#..|..#..|..#..|.###."},
    Glyph{'m', ".....|.....|##.#.|#.#.#|#.#.#|#.#.#|#.#.#"},
    Glyph{'n', ".....|.....|#.##.|##..#|#...#|#...#|#...#"},
    Glyph{'o', ".....|.....|.###.|#...#|#...#|#...#|.###."},
    Glyph{'p', ".....|.....|####.|#...#|#...#|#...#|####.|#....|#...."},
    Glyph{'q', ".....|.....|.####|#...#|#...#|#...#|.####|....#|....#"},
    Glyph{'r', ".....|.....|#.##.|##..#|#....|#....|#...."},
    Glyph{'s', ".....|.....|.####|#....|.###.|....#|####."},
    Glyph{'t', ".#...|.#...|###..|.#...|.#...|.#..#|..##."},
    Glyph{'u', ".....|.....|#...#|#...#|#...#|#..##|.##.#"},
    Glyph{'v', ".....|.....|#...#|#...#|#...#|.#.#.|..#.."},
    Glyph{'w', ".....|.....|#...#|#...#|#.#.#|#.#.#|.#.#."},
    Glyph{'x', ".....|.....|#...#|.#.#.|..#..|.#.#.|#...#"},
    Glyph{'y', ".....|.....|#...#|#...#|#...#|#...#|.####|....#|.###."},
    Glyph{'z', ".....|.....|#####|...#.|..#..|.#...|#####"},
    Glyph{'A', ".###.|#...#|#...#|#####|#...#|#...#|#...#"},
    Glyph{'B', "####.|#...#|#...#|####.|#...#|#...#|####."},
    Glyph{'C', ".###.|#...#|#....|#....|#....|#...#|.###."},
    Glyph{'D', "####.|#...#|#...#|#...#|#...#|#...#|####."},
    Glyph{'E', "#####|#....|#....|####.|#....|#....|#####"},
    Glyph{'F', "#####|#....|#....|####.|#....|#....|#...."},
    Glyph{'G', ".###.|#...#|#....|#.###|#...#|#...#|.####"},
    Glyph{'H', "#...#|#...#|#...#|#####|#...#|#...#|#...#"},
    Glyph{'I', ".###.|..#..|..#..|..#..|..#..|..#..|.###."},
    Glyph{'J', "..###|...#.|...#.|...#.|...#.|#..#.|.##.."},
    Glyph{'K', "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#"},
    Glyph{'L', "#....|#....|#....|#....|#....|#....|#####"},
    Glyph{'M', "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#"},
    Glyph{'N', "#...#|#...#|##..#|#.#.#|#..##|#...#|#...#"},
    Glyph{'O', ".###.|#...#|#...#|#...#|#...#|#...#|.###."},
    Glyph{'P', "####.|#...#|#...#|####.|#....|#....|#...."},
    Glyph{'Q', ".###.|#...#|#...#|#...#|#.#.#|#..#.|.##.#"},
    Glyph{'R', "####.|#...#|#...#|####.|#.#..|#..#.|#...#"},
    Glyph{'S', ".####|#....|#....|.###.|....#|....#|####."},
    Glyph{'T', "#####|..#..|..#..|..#..|..#..|..#..|..#.."},
    Glyph{'U', "#...#|#...#|#...#|#...#|#...#|#...#|.###."},
    Glyph{'V', "#...#|#...#|#...#|#...#|#...#|.#.#.|..#.."},
    Glyph{'W', "#...#|#...#|#...#|#.#.#|#.#.#|#.#.#|.#.#."},
    Glyph{'X', "#...#|#...#|.#.#.|..#..|.#.#.|#...#|#...#"},
    Glyph{'Y', "#...#|#...#|.#.#.|..#..|..#..|..#..|..#.."},
    Glyph{'Z', "#####|....#|...#.|..#..|.#...|#....|#####"},
    Glyph{' ', "...."},
    Glyph{'.', ".|.|.|.|.|.|#"},
    Glyph{',', "..|..|..|..|..|.#|.#|#."},
    Glyph{':', ".|.|#|.|.|#|."},
    Glyph{'-', ".....|.....|.....|####.|.....|.....|....."},
    Glyph{'+', ".....|..#..|..#..|#####|..#..|..#..|....."},
    Glyph{'/', "....#|...#.|...#.|..#..|.#...|.#...|#...."},
    Glyph{'%', "##..#|##.#.|...#.|..#..|.#...|.#.##|#..##"},
    Glyph{'(', "..#|.#.|#..|#..|#..|.#.|..#"},
    Glyph{')', "#..|.#.|..#|..#|..#|.#.|#.."},
    Glyph{'[', "###|#..|#..|#..|#..|#..|#..|###"},
    Glyph{']', "###|..#|..#|..#|..#|..#|..#|###"},
    Glyph{'\'', "#|#"},
};

// A glyph's rows one at a time, with the columns its ink spans.
struct GlyphShape {
    std::array<std::string_view, 9> rows{};
    std::size_t rowCount = 0;
    std::size_t first = 0;   // the first and last column of any row that holds ink
    std::size_t last = 0;
};

GlyphShape Shape(std::string_view rows)
{
    GlyphShape shape;
    std::size_t start = 0;
    while (start <= rows.size() && shape.rowCount < shape.rows.size()) {
        const std::size_t end = std::min(rows.find('|', start), rows.size());
        shape.rows[shape.rowCount++] = rows.substr(start, end - start);
        start = end + 1;
    }
    shape.first = std::string_view::npos;
    for (std::size_t r = 0; r < shape.rowCount; ++r) {
        const std::size_t from = shape.rows[r].find('#');
        if (from == std::string_view::npos)
            continue;
        shape.first = std::min(shape.first, from);
        shape.last = std::max(shape.last, shape.rows[r].rfind('#'));
    }
    // A space has no ink: its width is that of its row.
    if (shape.first == std::string_view::npos) {
        shape.first = 0;
        shape.last = shape.rows[0].size() - 1;
    }
    return shape;
}

const Glyph* Find(char c)
{
    const auto glyph = std::find_if(kGlyphs.begin(), kGlyphs.end(), [c](const Glyph& g) { return g.character == c; });
    return glyph == kGlyphs.end() ? nullptr : &*glyph;
}

// What stands for a character the font lacks.
constexpr std::string_view kMissing = "#####|#...#|#...#|#...#|#...#|#...#|#####";

GlyphShape ShapeOf(char c)
{
    const Glyph* glyph = Find(c);
    return Shape(glyph != nullptr ? glyph->rows : kMissing);
}

// In font pixels: the glyph's inked columns and one blank column after them.
std::int32_t Advance(const GlyphShape& shape)
{
    return std::int32_t(shape.last - shape.first) + 2;
}

}   // namespace

PlotCanvas::PlotCanvas(std::int32_t width, std::int32_t height) : m_width(width), m_height(height)
{
    m_bitmap.setSize(width, height);
    fill(0, 0, width, height, kPaperInk);
}

void PlotCanvas::set(std::int32_t x, std::int32_t y, PlotInk ink)
{
    if (x < 0 || x >= m_width || y < 0 || y >= m_height)
        return;
    std::uint8_t* p = m_bitmap.rowFromBottom(m_height - 1 - y) + std::size_t(x) * 3;
    p[0] = ink.blue;
    p[1] = ink.green;
    p[2] = ink.red;
}

void PlotCanvas::blend(std::int32_t x, std::int32_t y, PlotInk ink)
{
    if (x < 0 || x >= m_width || y < 0 || y >= m_height)
        return;
    std::uint8_t* p = m_bitmap.rowFromBottom(m_height - 1 - y) + std::size_t(x) * 3;
    const PlotInk under{p[0], p[1], p[2]};
    const auto same = [&](PlotInk a) { return a.blue == under.blue && a.green == under.green && a.red == under.red; };
    if (same(kPaperInk) || same(kGridInk)) {
        set(x, y, ink);
        return;
    }
    p[0] = std::uint8_t((p[0] + ink.blue) / 2);
    p[1] = std::uint8_t((p[1] + ink.green) / 2);
    p[2] = std::uint8_t((p[2] + ink.red) / 2);
}

void PlotCanvas::fill(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, PlotInk ink)
{
    for (std::int32_t y = std::max(y0, 0); y < std::min(y1, m_height); ++y)
        for (std::int32_t x = std::max(x0, 0); x < std::min(x1, m_width); ++x)
            set(x, y, ink);
}

void PlotCanvas::line(double x0, double y0, double x1, double y1, PlotInk ink, std::int32_t pen)
{
    const std::int32_t steps = std::max(1, std::int32_t(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)))));
    for (std::int32_t i = 0; i <= steps; ++i) {
        const double t = double(i) / double(steps);
        const auto x = std::int32_t(std::lround(x0 + (x1 - x0) * t));
        const auto y = std::int32_t(std::lround(y0 + (y1 - y0) * t));
        fill(x, y, x + pen, y + pen, ink);
    }
}

void PlotCanvas::text(std::int32_t x, std::int32_t y, std::string_view text, PlotInk ink)
{
    for (const char c : text) {
        const GlyphShape shape = ShapeOf(c);
        for (std::size_t r = 0; r < shape.rowCount; ++r)
            for (std::size_t column = shape.first; column <= shape.last && column < shape.rows[r].size(); ++column)
                if (shape.rows[r][column] == '#') {
                    const auto left = x + std::int32_t(column - shape.first) * kFontScale;
                    const auto top = y + std::int32_t(r) * kFontScale;
                    fill(left, top, left + kFontScale, top + kFontScale, ink);
                }
        x += Advance(shape) * kFontScale;
    }
}

std::int32_t PlotCanvas::textWidth(std::string_view text)
{
    std::int32_t width = 0;
    for (const char c : text)
        width += Advance(ShapeOf(c));
    // No blank column after the last glyph.
    return std::max(0, width - 1) * kFontScale;
}

bool PlotCanvas::hasGlyph(char c)
{
    return Find(c) != nullptr;
}
