// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/plots.h"

#include <cstdint>
#include <string_view>

// The white picture a plot is drawn on, with the few strokes the plots need
// and their text in a built-in 5 x 7 pixel font (lower-case letters reach
// two pixels below the line), every font pixel drawn 2 x 2, so that the text
// still reads when the window shows the picture at half its size.
// Coordinates: x from the left, y from the top; what falls outside is left out.
class PlotCanvas {
public:
    static constexpr std::int32_t kFontScale = 2;
    // From the top of a capital to the line it stands on, and from one line
    // of text to the next, in picture pixels.
    static constexpr std::int32_t kCapitalHeight = 7 * kFontScale;
    static constexpr std::int32_t kLineHeight = 11 * kFontScale;

    PlotCanvas(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }

    void set(std::int32_t x, std::int32_t y, PlotInk ink);
    // Half and half with what is drawn there already, but over the paper and the grid.
    void blend(std::int32_t x, std::int32_t y, PlotInk ink);
    // Columns x0 to x1 and rows y0 to y1, the ends left out.
    void fill(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, PlotInk ink);
    // pen: the side of the square drawn at every step, its top-left on the line.
    void line(double x0, double y0, double x1, double y1, PlotInk ink, std::int32_t pen = 1);
    // The text's top-left corner at (x, y), the top of its capitals; a
    // character the font lacks is drawn as an empty box, so that it shows.
    void text(std::int32_t x, std::int32_t y, std::string_view text, PlotInk ink);

    static std::int32_t textWidth(std::string_view text);
    static bool hasGlyph(char c);

    OutputBitmap take() { return std::move(m_bitmap); }

private:
    std::int32_t m_width;
    std::int32_t m_height;
    OutputBitmap m_bitmap;
};

inline constexpr PlotInk kPaperInk{255, 255, 255};
inline constexpr PlotInk kGridInk{225, 225, 225};
