// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/native_frame.h"
#include "debayer/demosaic.h"
#include "image/bayer.h"
#include "image/frame_view.h"
#include "image/output_bitmap.h"

#include <cstdint>
#include <vector>

// The pattern a mosaic layout id (8..11) names; nothing for other layouts,
// the complementary-colour mosaics among them.
std::optional<BayerPattern> BayerPatternOf(std::int32_t layout);
// The layout id of a pattern, for files and outputs that name it so.
std::int32_t LayoutOf(BayerPattern pattern);
// A mosaic layout's name from its top-left cell ("RGGB", "CYYM" ...); empty
// for layouts that are no mosaic.
std::string_view MosaicName(std::int32_t layout);

// Colour windows cut from raw mosaics. A window is demosaicked with a margin
// of the frame around it, so its edge pixels are interpolated from their true
// neighbours rather than from the cut; at the frame's own edges the mosaic is
// mirrored about its edge sample, which keeps the pattern's phase. Pixels of
// the window outside the frame come out black, as in every other crop.
//
// Windows are placed as CropSamples places them: left and top give the
// top-left pixel in the frame with rows counted from the top. pattern names
// the frame's own top-left sample. One per thread; it keeps its memory.
class DebayerCrop {
public:
    // The frame's samples are its grey values, or the blue bytes of a 24-bit
    // frame (those a greyscale output would hold).
    void toBitmap(const FrameView& frame, std::int64_t left, std::int64_t top, std::int32_t width, std::int32_t height,
                  BayerPattern pattern, DemosaicMethod method, OutputBitmap& out);
    // Blue, green, red samples of the source's own size and depth.
    void toSamples(const NativeFrame& frame, std::int64_t left, std::int64_t top, std::int32_t width,
                   std::int32_t height, BayerPattern pattern, DemosaicMethod method, SampleFrame& out);

private:
    Demosaicer m_demosaicer;
    std::vector<std::uint8_t> m_mosaic;
    std::vector<std::uint8_t> m_colour;
};
