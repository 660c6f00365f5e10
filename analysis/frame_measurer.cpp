// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_measurer.h"

#include "analysis/rounding.h"

PlanetFix MeasurePlanet(const FrameView& frame, const SearchChoices& choices)
{
    // The search reads nothing of the state but the block size.
    TProcessingState state;
    state.blockSize = choices.blockSize;
    PlanetFix fix = SearchPlanet(state, frame, nullptr, choices.search);
    if (!choices.limb.on || !fix.found)
        return fix;
    LimbHint hint;
    hint.centerX = fix.centerX;
    hint.centerY = fix.centerY;
    hint.radiusX = fix.radiusX;
    hint.radiusY = fix.radiusY;
    hint.radius = choices.limb.radius;
    const auto limb = FitLimb(frame, hint);
    if (!limb) {
        fix.found = false;
        fix.limbMissing = true;
        return fix;
    }
    fix.centerX = choices.search.debayerSafe ? MakeEven(limb->centerX) : limb->centerX;
    fix.centerY = choices.search.debayerSafe ? MakeEven(limb->centerY) : limb->centerY;
    fix.limbRadius = limb->radius;
    return fix;
}

void FrameMeasurer::measure(const FrameView& frame, AheadMeasurement& out) const
{
    out.fix = MeasurePlanet(frame, m_choices);
    out.choices = m_choices;
    out.valid = true;
}
