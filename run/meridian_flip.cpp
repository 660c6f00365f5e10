// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/meridian_flip.h"

#include "analysis/time_range.h"
#include "run/capture_times.h"
#include "run/joined_source.h"

namespace {

constexpr std::int64_t kTicksPerMinute = 600'000'000;
constexpr std::int64_t kTicksPerDay = kTicksPerMinute * 60 * 24;

}   // namespace

MeridianTurn MeridianTurnOf(std::optional<std::int64_t> utcTicks, std::optional<std::int32_t> flipMinutes)
{
    if (!flipMinutes)
        return MeridianTurn::NotAsked;
    if (!utcTicks || *utcTicks <= 0)
        return MeridianTurn::NoTime;
    const std::int64_t sinceFlip =
        ((*utcTicks - *flipMinutes * kTicksPerMinute) % kTicksPerDay + kTicksPerDay) % kTicksPerDay;
    return sinceFlip < kTicksPerDay / 2 ? MeridianTurn::After : MeridianTurn::Before;
}

void TurnForMeridian(TProcessingState& state, const SourceOpener& open)
{
    if (!state.colour.meridianFlip)
        return;
    CaptureTimes times =
        CaptureTimesOf(state.currentFile, {state.nameTimePattern, state.utcOffsetSeconds}, state.startTimeOption);
    if (const auto [source, video] = OpenDescribed(state.currentFile, open); source && video && video->samples)
        times.stamps = CaptureTimeOfFrame(*source, state.frames.first);
    state.meridianTurn = MeridianTurnOf(times.trusted(), state.colour.meridianFlip);
    state.orientation = FileOrientation(state.colour, state.meridianTurn);
}

Orientation FileOrientation(const ColourOptions& colour, MeridianTurn turn)
{
    const Orientation asked = OrientationOf(colour.rotate, colour.flip);
    return turn == MeridianTurn::After ? TurnedHalf(asked) : asked;
}

std::vector<std::string> OrientationLines(const ColourOptions& colour, MeridianTurn turn)
{
    std::vector<std::string> lines;
    if (colour.flip != Flip::None)
        lines.push_back(colour.flip == Flip::H ? " - Flipped left-right" : " - Flipped top-bottom");
    if (colour.rotate != 0)
        lines.push_back(" - Rotated by " + std::to_string(colour.rotate) + "\u00b0 clockwise");
    if (!colour.meridianFlip || turn == MeridianTurn::NotAsked)
        return lines;
    const std::string at = "the meridian flip at " + ClockText(*colour.meridianFlip) + " UT";
    if (turn == MeridianTurn::After)
        lines.push_back(" - Turned by 180\u00b0 (after " + at + ")");
    else if (turn == MeridianTurn::Before)
        lines.push_back(" - Not turned (before " + at + ")");
    else
        lines.push_back(" - Not turned for " + at + ": the capture time is unknown");
    return lines;
}

std::string OrientationSummary(const ColourOptions& colour, MeridianTurn turn)
{
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (colour.flip != Flip::None)
        add(colour.flip == Flip::H ? "flip h" : "flip v");
    if (colour.rotate != 0)
        add("rotate " + std::to_string(colour.rotate));
    if (turn == MeridianTurn::After)
        add("meridian flip 180");
    return text;
}
