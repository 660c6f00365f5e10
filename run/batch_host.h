// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/centring_options.h"
#include "analysis/colour_options.h"
#include "analysis/frame_range.h"
#include "analysis/time_range.h"
#include "run/batch_result.h"
#include "run/run_host.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the test and process actions read from a shell: the chosen files and
// the settings that are taken once per test or once per file.
class BatchInput {
public:
    virtual ~BatchInput() = default;

    // The chosen files, full paths in the order chosen; read afresh at every use.
    virtual std::vector<std::string> files() const = 0;
    // The position in files() of the file a test starts with (the one the
    // user picked from the list of open files); the test goes on from there
    // past files that cannot be opened. The batch still runs every file.
    virtual std::size_t testedFile() const { return 0; }
    // Position of the threshold control, -100..100; taken when a test starts.
    virtual std::int32_t thresholdPosition() const = 0;
    // Positions of the two output size controls, 16 pixels a step: 2..40 on
    // the window's sliders, up to 256 (4096 pixels) for large fields; the
    // output size is derived from them when a test ends.
    virtual std::int32_t widthPosition() const = 0;
    virtual std::int32_t heightPosition() const = 0;
    // Y800 output chosen (else RGB24); taken when a file's output opens.
    virtual bool grayscale() const = 0;
    // The first test after opening may choose colour or greyscale output.
    virtual bool autoColor() const = 0;
    // Each output goes into its own input's folder rather than into the
    // folder of the first file.
    virtual bool outputBesideInput() const { return false; }
    // Largest object, surface mode, keeping the best frames; taken when a
    // test starts and when each file of a batch starts. All off by default.
    virtual CentringOptions centring() const { return {}; }
    // The Bayer pattern declared for raw files and debayering; taken as the
    // centring choices are.
    virtual ColourOptions colour() const { return {}; }
    // Every output frame is as large as its input frame (rounded down to
    // even), instead of the size the size controls give.
    virtual bool fullFrame() const { return false; }
    // Which frames of each file a batch reads; the test plays the first two
    // of them. Taken as the centring choices are.
    virtual FrameRange frames() const { return {}; }
    // All files become one output, named after the first (see JoinedSource).
    virtual bool joinFiles() const { return false; }
    // Only the frames captured in this span of the day (UTC) are read.
    virtual std::optional<TimeRange> timeRange() const { return std::nullopt; }
    // Each output is cut into pieces of at most this many seconds of capture
    // time (see SegmentedOutput).
    virtual std::optional<std::int32_t> segmentSeconds() const { return std::nullopt; }
    // The UTC time of every file's first frame, when the user gave one
    // (100 ns ticks since 0001-01-01); otherwise a time in a file's name
    // stands for it, if there is one.
    virtual std::optional<std::int64_t> startTime() const { return std::nullopt; }
};

// What the actions show around the runs. A shell without such controls (the
// command-line tool) leaves these as they are.
class BatchView {
public:
    enum StatusPanel { kFilePosition = 0, kFileName = 1, kActivity = 2 };
    virtual ~BatchView() = default;

    virtual void clearLog() {}
    virtual void setStatus(StatusPanel, const std::string&) {}
    // The setting groups and the process control together.
    virtual void setControlsEnabled(bool) {}
    virtual void setProcessEnabled(bool) {}
    // A passing test frames its preview: black, one pixel wider and higher than the crop.
    virtual void showTestPassed(std::int32_t /*cropWidth*/, std::int32_t /*cropHeight*/) {}
    // The output size a test derived from the size controls.
    virtual void showCropSize(std::int32_t /*cropWidth*/, std::int32_t /*cropHeight*/) {}
    // The automatic choice after the first test: select the mode as if the user had.
    virtual void selectOutputMode(bool /*color*/) {}
    // The gauge before a file (minimum 0, progress 0) and after it (full).
    virtual void resetProgress() {}
    virtual void fillProgress() {}
    // A file of a batch is over (also one skipped or not run); called after its messages.
    virtual void fileFinished(const FileOutcome&) {}
};

// A shell in all the roles the actions need.
class BatchHost : public RunHost, public BatchInput, public BatchView {};
