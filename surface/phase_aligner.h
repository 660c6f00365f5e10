// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_aligner.h"
#include "surface/phase_correlation.h"

#include <cstdint>
#include <memory>

// Aligns frames by phase correlation over a central square of the frame
// (the largest power of two up to 512 pixels that fits), at sub-pixel
// precision. The reference is the first frame after reset(), taken again
// every refreshFrames frames so that slow drift and changing seeing are
// followed; shifts against a later reference are added to that reference's
// own shift, so every shift stays relative to the first frame. Shifts of up
// to a quarter of the square are measured reliably.
//
// Reads the green bytes (or the grey values). Works on the calling thread;
// not for use from two threads at once.
class PhaseAligner final : public FrameAligner {
public:
    explicit PhaseAligner(std::int32_t refreshFrames);
    ~PhaseAligner() override;
    PhaseAligner(const PhaseAligner&) = delete;
    PhaseAligner& operator=(const PhaseAligner&) = delete;

    void reset() override;
    std::optional<ContentShift> shiftOf(const FrameView& frame) override;

private:
    std::unique_ptr<PhaseCorrelation> m_fft;   // plans and buffers for one square size
    std::int32_t m_refresh;
    std::int32_t m_sinceReference = 0;
    bool m_haveReference = false;
    ContentShift m_referenceShift;   // the reference frame's own shift
};
