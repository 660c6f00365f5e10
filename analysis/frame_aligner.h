// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/frame_view.h"

#include <optional>

// How far the content of a frame has moved since the first frame of a run,
// in pixels at sub-pixel precision: x to the right, y up (towards higher
// stored rows). A crop centre moved by this shift holds the content still.
struct ContentShift {
    double x = 0.0;
    double y = 0.0;
};

// Aligns frames by their content (surface mode). The frame handler asks it
// once per frame, in file order, on the thread that plays the file; the
// implementation lives above the analysis layer (it needs an FFT library)
// and is handed to the handler by the file run.
class FrameAligner {
public:
    virtual ~FrameAligner() = default;
    // Forgets every reference: the next frame is the first of a run.
    virtual void reset() = 0;
    // The first frame after reset() is the reference and gives (0, 0). Returns
    // nothing when the frame cannot be matched (too small, or no detail); the
    // caller then keeps the last shift it had.
    virtual std::optional<ContentShift> shiftOf(const FrameView& frame) = 0;
};
