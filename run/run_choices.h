// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/calibration_options.h"
#include "analysis/centring_options.h"
#include "analysis/colour_options.h"
#include "analysis/frame_range.h"
#include "analysis/output_rate.h"
#include "analysis/processing_state.h"
#include "analysis/time_range.h"
#include "capture/name_time.h"

#include <cstdint>
#include <optional>
#include <string>

// The shell's choices for a run, read from it in one call (BatchInput::choices)
// once per test, once per view or analysis, and once per file of a batch, so
// that a run never mixes choices from before and after a change. The defaults
// are the window's first start.
struct RunChoices {
    // Position of the threshold control, -100..100.
    std::int32_t thresholdPosition = 5;
    // Positions of the two output size controls, 16 pixels a step: 2..40 on
    // the window's sliders, up to 256 (4096 pixels) for large fields.
    std::int32_t widthPosition = 12;
    std::int32_t heightPosition = 12;
    // Y800 output (else RGB24).
    bool grayscale = false;
    // The first test after opening may choose colour or greyscale output, and
    // each file of a batch after the first its own from its first frames.
    bool autoColor = true;
    // Each output goes into its own input's folder rather than into the
    // folder of the first file.
    bool outputBesideInput = false;
    // Largest object, surface mode, keeping the best frames.
    CentringOptions centring;
    // The Bayer pattern declared for raw files, and debayering.
    ColourOptions colour;
    // The masters frames are calibrated with, and where hot pixels are found.
    CalibrationOptions calibration;
    // Every output frame is as large as its input frame (rounded down to
    // even), instead of the size the size controls give.
    bool fullFrame = false;
    // The output size from the object in the first frames (the test's, and
    // each file's own in a batch), instead of the size controls.
    bool sizeAuto = false;
    // Which frames of each file a batch reads; the test plays the first two.
    FrameRange frames;
    // All files become one output, named after the first (see JoinedSource).
    bool joinFiles = false;
    // Only the frames captured in this span of the day (UTC) are read.
    std::optional<TimeRange> timeRange;
    // Each output is cut into pieces of at most this many seconds of capture
    // time (see SegmentedOutput).
    std::optional<std::int32_t> segmentSeconds;
    // The UTC time of every file's first frame, when the user gave one
    // (100 ns ticks since 0001-01-01); otherwise a time in a file's name
    // stands for it, if there is one.
    std::optional<std::int64_t> startTime;
    // How the time in a file's name is read where nothing better dates it:
    // the user's pattern (--name-time) and the local time names are written
    // in (--utc-offset).
    orbicrop::capture::NameTimeChoices nameTime;
    // The rate an AVI output plays at: 30 unless chosen (see TakeOutputRate).
    OutputRate outputRate;
};

// Which run the choices are for. Every run takes the centring, colour, full
// frame, frame range, time range and output rate; beyond those:
// - a test takes the threshold and starts at the range's first frame; its
//   output size waits until its frames are known (ApplyCropSize);
// - a view or an analysis takes the threshold and the output size now (a
//   whole frame's the size of the file the last test read), an analysis
//   also the output mode;
// - a batch file keeps the threshold and size its test found and takes the
//   output mode and its first frame's time.
enum class ChoicesFor { Test, View, Analysis, File };

// Sets state's choices from choices; a file's currentFile must be set first.
void ApplyChoices(TProcessingState& state, const RunChoices& choices, ChoicesFor run);

// The output size the size positions give, or, with a whole frame, the size
// of the frames the state last read.
void ApplyCropSize(TProcessingState& state, const RunChoices& choices);

// The capture time of the first frame of file where its frames carry none
// of their own: a capture program's sidecar, else the file's name, else the
// user's --start-time (CaptureTimes).
std::optional<std::int64_t> StartTimeFor(const RunChoices& choices, const std::string& file);
