// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/limb_fit.h"
#include "analysis/planet.h"
#include "image/frame_view.h"

#include <cstdint>

// Every choice a planet search depends on: the search's own and the block
// size the state would give it. A measurement is used only for a frame whose
// handler would have searched with the same choices.
struct SearchChoices {
    PlanetSearch search;
    std::int32_t blockSize = 0;
    // The centre from a circle fitted to the limb, after the search found the object.
    LimbChoice limb;

    bool operator==(const SearchChoices&) const = default;
};

// A frame's planet search done ahead of its turn, on whichever thread had the
// frame in its cache; valid is false until then.
struct AheadMeasurement {
    bool valid = false;
    SearchChoices choices;
    PlanetFix fix;
};

// Measures frames with fixed choices. It keeps nothing between frames and
// touches no shared state, so several threads may use one at once: a source
// that reads frames on threads of its own has each measured there, and the
// frames' own turns only crop and write.
class FrameMeasurer {
public:
    explicit FrameMeasurer(const SearchChoices& choices) : m_choices(choices) {}

    const SearchChoices& choices() const { return m_choices; }
    void measure(const FrameView& frame, AheadMeasurement& out) const;

private:
    SearchChoices m_choices;
};

// The search itself, as the frame handler runs it on the playing thread; with
// the limb choice, the found object's centre is its disc's.
PlanetFix MeasurePlanet(const FrameView& frame, const SearchChoices& choices);
