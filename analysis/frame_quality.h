// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <cstdint>
#include <memory>

// Where the measured object lies in a crop, in the crop's own coordinates
// (x from the left column, y from the bottom row, as the frame's): its
// centre and radii, and the part of the crop that holds frame pixels,
// [frameLeft, frameRight) x [frameBottom, frameTop); the rest is the black
// that stands for outside the frame.
struct ObjectInCrop {
    double centerX = 0.0;
    double centerY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
    std::int32_t frameLeft = 0;
    std::int32_t frameBottom = 0;
    std::int32_t frameRight = 0;
    std::int32_t frameTop = 0;
};

// How sharp a cropped frame looks, for ranking the frames of one file. The
// working memory is kept from one frame to the next: a fresh block per frame
// cost page faults that outweighed the arithmetic.
class QualityMeter {
public:
    QualityMeter();
    ~QualityMeter();
    QualityMeter(const QualityMeter&) = delete;
    QualityMeter& operator=(const QualityMeter&) = delete;

    // The object's root mean square gradient over its mean level, on the
    // green channel smoothed by a Gaussian of one pixel. Over the level, so
    // that transparency, which scales the whole picture, does not rank a
    // frame. The smoothing keeps the noise, which does not scale with it,
    // from ranking the dim frames above the bright ones; it and the central
    // differences all but miss a colour mosaic's two-pixel pattern. Only the
    // object counts, less a rim of a fifth of its larger radius (at least 4
    // pixels), where the limb's edge would outweigh the detail, and less the
    // 6 pixels along the frame's edge, where a cut object's cut would pass
    // for detail. When that leaves too few pixels (a very small object), the
    // frame part of the crop less that band counts instead. Of a large
    // object, the central 256 x 256 pixels at most, so that the cost stays
    // below the planet search's. The score is a fraction of the level per
    // pixel, in proportion to the detail's contrast; only its ratio to other
    // frames of the same file means anything. An empty or black crop scores 0.
    double score(const OutputBitmap& crop, const ObjectInCrop& object);

private:
    struct Planes;
    std::unique_ptr<Planes> m_planes;
};
