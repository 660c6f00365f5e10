// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ffmpeg/ffmpeg_handles.h"

#include <cstdint>
#include <vector>

// Converts 8-bit planar YUV (4:2:0, 4:2:2, 4:4:4, limited or full range) to
// BGR24, rows bottom-up, stride width x 3.
//
// Chroma is interpolated bilinearly to every pixel at the position the frame
// states (MPEG-2 and H.264 put it beside the even columns, JPEG and MPEG-1
// between them); the matrix (BT.601, BT.709, ...) and range are the frame's.
// Arithmetic is fixed point with 14 fractional bits and rounds to nearest, so
// results are the correctly rounded values except within about 1/100 of a
// level from a half. swscale's accurate mode does the same job several times
// slower, and its fast modes are off by many levels at colour edges.
//
// Used by one thread at a time.
class YuvToBgr {
public:
    // The loop that turns a row into BGR. Both give the same bytes for every
    // input; Avx2 needs a processor that has it, and falls back to Portable
    // on one that has not.
    enum class RowLoop { Portable, Avx2 };
    static RowLoop fastestRowLoop();

    explicit YuvToBgr(RowLoop rowLoop = fastestRowLoop());

    // Whether frames of this format are converted here.
    static bool handles(AVPixelFormat format);

    // Writes the frame (of a handled format) into destination, which holds
    // frame.width x frame.height x 3 bytes.
    void convert(const AVFrame& frame, std::uint8_t* destination);
    // The same, for the pixels of columns [left, left + columns) of the rows
    // [bottom, bottom + rows) only (rows counted from the bottom, as they lie
    // in destination; clipped to the frame): they get the bytes convert()
    // gives them, and every other byte of destination is left as it was.
    void convertWindow(const AVFrame& frame, int left, int bottom, int columns, int rows, std::uint8_t* destination);
    // The green bytes convert() writes, alone: frame.width x frame.height
    // bytes, rows bottom-up, stride frame.width.
    void green(const AVFrame& frame, std::uint8_t* destination);

private:
    struct FramePlan;
    FramePlan planFor(const AVFrame& frame) const;
    void reserveRows(int chromaWidth, int width);
    void interpolateChroma(const AVFrame& frame, const FramePlan& plan, int y);

    RowLoop m_rowLoop;
    // Rows of chroma scaled by 4 after vertical interpolation (with one
    // replicated sample at each end), and by 16 after horizontal interpolation.
    std::vector<std::int16_t> m_verticalU, m_verticalV;
    std::vector<std::int16_t> m_fullU, m_fullV;
};
