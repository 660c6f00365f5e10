// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/colour_options.h"
#include "analysis/processing_state.h"
#include "image/orientation.h"
#include "run/file_run.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where a capture taken at utcTicks (100 ns ticks since 0001-01-01) lies
// against a meridian flip at flipMinutes after midnight UT. Only the time of
// day counts: the twelve hours after the flip's time are after it, the
// twelve before are before it, so a flip at 23:40 also turns a capture at
// 00:30 the next morning, at any longitude.
MeridianTurn MeridianTurnOf(std::optional<std::int64_t> utcTicks, std::optional<std::int32_t> flipMinutes);

// Sets the state's current file's orientation for its output from the
// time its capture started, the frames' own stamps first (see
// CaptureTimes::trusted), which only the opened file tells.
void TurnForMeridian(TProcessingState& state, const SourceOpener& open);

// A file's orientation: the user's flip and rotation, and a half turn more
// when it was captured after the meridian flip.
Orientation FileOrientation(const ColourOptions& colour, MeridianTurn turn);

// In a few words what was applied to a file's frames, in the order applied
// ("flip h, rotate 90, meridian flip 180"); empty when nothing was.
std::string OrientationSummary(const ColourOptions& colour, MeridianTurn turn);

// What the log says was done to a file's frames; nothing when nothing was asked.
std::vector<std::string> OrientationLines(const ColourOptions& colour, MeridianTurn turn);
