// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <cstdint>
#include <memory>

// How sharp a cropped frame looks: the mean squared gradient of its green
// channel, lightly smoothed, summed over three scales (full, half and quarter
// size), as stackers rank frames. Only the inner part counts: a margin of an
// eighth of the smaller side (at least 2 pixels) is masked, so that a disc
// cut by the window's edge, or black outside the frame, does not pass for
// detail; of a window larger than that, the central 256 x 256 pixels. The score is in squared green levels per pixel; only its ratio to
// other frames of the same file means anything. An empty bitmap scores 0.
double FrameQuality(const OutputBitmap& crop);

// The same score with its working memory kept from one frame to the next: a
// fresh block per frame cost page faults that outweighed the arithmetic.
class QualityMeter {
public:
    QualityMeter();
    ~QualityMeter();
    QualityMeter(const QualityMeter&) = delete;
    QualityMeter& operator=(const QualityMeter&) = delete;
    double score(const OutputBitmap& crop);

private:
    struct Planes;
    std::unique_ptr<Planes> m_planes;
};
