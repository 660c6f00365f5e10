// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/run_choices.h"

#include "run/capture_times.h"
#include "run/meridian_flip.h"

#include <tuple>

void ApplyChoices(TProcessingState& state, const RunChoices& choices, ChoicesFor run)
{
    state.centring = choices.centring;
    state.colour = choices.colour;
    state.calibration = choices.calibration;
    state.nameTimePattern = choices.nameTime.pattern;
    state.utcOffsetSeconds = choices.nameTime.utcOffsetSeconds;
    state.startTimeOption = choices.startTime;
    state.fullFrame = choices.fullFrame;
    state.sizeFromObject = choices.sizeAuto;
    // A file's disc radius is measured anew from its own first frames.
    state.limbRadius.reset();
    state.dispersion.reset();
    state.levels.reset();
    state.frames = choices.frames;
    state.timeRange = choices.timeRange;
    state.outputRate = choices.outputRate;
    if (run != ChoicesFor::File) {
        state.thresholdPercent = double(choices.thresholdPosition);
        state.firstFrame = choices.frames.first;
    }
    if (run == ChoicesFor::View || run == ChoicesFor::Analysis)
        ApplyCropSize(state, choices);
    // Mode, size and centring are fixed for the whole file when its output opens.
    if (run == ChoicesFor::Analysis || run == ChoicesFor::File)
        state.outputGrayscale = choices.grayscale;
    if (run == ChoicesFor::File)
        state.startUtcTicks = StartTimeFor(choices, state.currentFile);
    // The meridian's turn waits for the file's own capture time (TurnForMeridian).
    state.meridianTurn = MeridianTurn::NotAsked;
    state.orientation = FileOrientation(choices.colour, state.meridianTurn);
}

void ApplyCropSize(TProcessingState& state, const RunChoices& choices)
{
    UpdateCropSize(state, choices.widthPosition, choices.heightPosition);
    if (state.sizeFromObject && state.firstFrames.any())
        std::tie(state.cropWidth, state.cropHeight) = SizeFromObject(state.firstFrames.width, state.firstFrames.height);
    if (state.fullFrame)
        TakeWholeFrame(state, state.inputWidth, state.inputHeight);
}

std::optional<std::int64_t> StartTimeFor(const RunChoices& choices, const std::string& file)
{
    return CaptureTimesOf(file, choices.nameTime, choices.startTime).start();
}
