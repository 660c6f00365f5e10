// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/channel_shift.h"
#include "analysis/dispersion.h"
#include "surface/phase_correlation.h"

#include <array>
#include <memory>
#include <vector>

// Measures red and blue against green by cross-correlation over the tapered
// central square of the crop. The peak's parabola and the taper both pull a
// sub-pixel shift a little towards whole pixels and towards 0; neither does
// at a shift of 0, so the channels are moved by the estimate (at full
// precision, not back in bytes) and measured again, and what is left is
// added. Works on the calling thread.
class PhaseDispersionMeter final : public DispersionMeter {
public:
    std::optional<Dispersion> measure(const OutputBitmap& disc) override;

private:
    std::unique_ptr<PhaseCorrelation> m_correlation;
    std::array<std::vector<float>, 3> m_planes;   // blue, green, red of the crop, rows top-down
    std::vector<float> m_moved;                   // red or blue moved by the estimate so far
    ChannelShifter m_shifter;
};
