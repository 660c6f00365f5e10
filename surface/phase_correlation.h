// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_aligner.h"
#include "image/frame_view.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct fftw_plan_s;

// Phase correlation of one channel of the central square of two frames, at
// sub-pixel precision: the buffers and plans of one square size. The window
// tapers the square's edges so that content entering and leaving it does not
// correlate. Plans may be made on any thread; one correlation is used by one
// thread at a time.
class PhaseCorrelation {
public:
    explicit PhaseCorrelation(std::int32_t side);
    ~PhaseCorrelation();
    PhaseCorrelation(const PhaseCorrelation&) = delete;
    PhaseCorrelation& operator=(const PhaseCorrelation&) = delete;

    std::int32_t side() const { return m_side; }
    // Transforms the byte at channel of each pixel of the frame's central
    // square, less its mean, tapered. False when the square holds no detail.
    bool transform(const FrameView& frame, std::int32_t channel);
    // The same for a plane of values, width x height, row after row.
    bool transform(const float* plane, std::int32_t width, std::int32_t height);
    // The last transform becomes what later ones are correlated against.
    void keepAsReference();
    // The displacement of the last transform's content against the
    // reference, in pixels, x right and y towards higher stored rows. Uses up
    // the transform: a frame that is to be the reference is transformed again.
    // Whitened, every frequency counts alike (a sharp peak, robust to changing
    // light: phase correlation); plain, each counts by its power, which on a
    // blurred, noisy picture leaves the noise-only frequencies out.
    enum class Weighting { Whitened, Plain };
    ContentShift correlate(Weighting weighting = Weighting::Whitened);

private:
    // Fills the square from read(x, y), square coordinates, and transforms it.
    template <typename Read>
    bool transformSquare(Read read);

    struct Buffers;
    std::int32_t m_side;
    std::size_t m_bins;
    std::unique_ptr<Buffers> m_buffers;
    std::vector<double> m_window;
};

// The square side phase correlation uses for a frame of this size: the
// largest power of two up to 512 that fits; 0 when the frame is too small
// (below 32 pixels).
std::int32_t AlignmentSquareFor(std::int32_t width, std::int32_t height);
