// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_measurer.h"

PlanetFix MeasurePlanet(const FrameView& frame, const SearchChoices& choices)
{
    // The search reads nothing of the state but the block size.
    TProcessingState state;
    state.blockSize = choices.blockSize;
    return SearchPlanet(state, frame, nullptr, choices.search);
}

void FrameMeasurer::measure(const FrameView& frame, AheadMeasurement& out) const
{
    out.fix = MeasurePlanet(frame, m_choices);
    out.choices = m_choices;
    out.valid = true;
}
