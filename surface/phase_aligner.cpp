// SPDX-License-Identifier: GPL-3.0-or-later
#include "surface/phase_aligner.h"

#include <algorithm>

PhaseAligner::PhaseAligner(std::int32_t refreshFrames) : m_refresh(std::max(refreshFrames, 1)) {}

PhaseAligner::~PhaseAligner() = default;

void PhaseAligner::reset()
{
    m_haveReference = false;
    m_sinceReference = 0;
    m_referenceShift = {};
}

std::optional<ContentShift> PhaseAligner::shiftOf(const FrameView& frame)
{
    const std::int32_t side = AlignmentSquareFor(frame.width, frame.height);
    if (side == 0)
        return std::nullopt;
    if (!m_fft || m_fft->side() != side) {
        m_fft = std::make_unique<PhaseCorrelation>(side);
        reset();
    }
    if (!m_fft->transform(frame, frame.greenOffset()))
        return std::nullopt;
    if (!m_haveReference) {
        m_fft->keepAsReference();
        m_haveReference = true;
        m_sinceReference = 0;
        return m_referenceShift;
    }
    // The transform is overwritten by the correlation: a frame that is to be
    // the next reference is transformed again afterwards.
    const ContentShift local = m_fft->correlate();
    const ContentShift total{m_referenceShift.x + local.x, m_referenceShift.y + local.y};
    if (++m_sinceReference >= m_refresh) {
        m_fft->transform(frame, frame.greenOffset());
        m_fft->keepAsReference();
        m_referenceShift = total;
        m_sinceReference = 0;
    }
    return total;
}
