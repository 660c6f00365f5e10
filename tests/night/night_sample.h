// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "night/night_facts.h"
#include "time/capture_time.h"

#include <string>

// A night of four captures as a batch leaves them: two done (one of two
// joined files), one failed, one skipped because an earlier run did it.
// Frames were dropped for three reasons, "no planet" in two captures.
inline NightFacts FourCaptureNight(const std::string& folder)
{
    NightFacts night;
    night.title = "2026-12-09 Jupiter & Saturn";
    night.seconds = 3725.4;

    NightCapture jupiter;
    jupiter.name = "2026-12-09-2113_3-Jupiter.ser";
    jupiter.inputs = {"/captures/" + jupiter.name};
    jupiter.bytesRead = 3'000'000'000;
    jupiter.outputs = {folder + "/2026-12-09-2113_3-Jupiter.avi"};
    jupiter.status = "done";
    jupiter.midUtcTicks = ParseIsoUtc("2026-12-09T21:13:20Z");
    jupiter.target = "Jupiter";
    jupiter.filter = "IR685";
    jupiter.camera = "ZWO ASI462MC";
    jupiter.framesSeen = 3000;
    jupiter.framesWritten = 2700;
    jupiter.dropped = {{"no planet", 200}, {"cut", 100}};
    jupiter.seconds = 41.5;

    NightCapture joined;
    joined.name = "Jupiter_213500.ser";
    joined.inputs = {"/captures/Jupiter_213500.ser", "/captures/Jupiter_213500_2.ser"};
    joined.bytesRead = 2'500'000'000;
    joined.outputs = {folder + "/Jupiter_213500.avi"};
    joined.status = "done";
    joined.framesSeen = 2000;
    joined.framesWritten = 1900;
    joined.dropped = {{"dim", 60}, {"no planet", 40}};

    NightCapture saturn;
    saturn.name = "Saturn.avi";
    saturn.inputs = {"/captures/Saturn.avi"};
    saturn.bytesRead = 100'000'000;
    saturn.status = "failed";
    saturn.reason = "the file ends inside frame 13";
    saturn.framesSeen = 12;
    saturn.dropped = {{"no planet", 12}};

    NightCapture earlier;
    earlier.name = "Mars.ser";
    earlier.inputs = {"/captures/Mars.ser"};
    earlier.bytesRead = 1'000'000'000;
    earlier.outputs = {folder + "/Mars.avi"};
    earlier.status = "skipped";
    earlier.reason = "done in an earlier run";

    night.captures = {jupiter, joined, saturn, earlier};
    return night;
}
