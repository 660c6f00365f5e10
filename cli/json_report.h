// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/utf8_text.h"

#include "analysis/colour_options.h"
#include "analysis/frame_range.h"
#include "analysis/output_rate.h"
#include "analysis/time_range.h"
#include "run/batch_result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The settings a run used, as the report records them for every file.
struct ReportSettings {
    std::int32_t threshold = 0;   // percent: 0 at the histogram peak, 100 at white, -100 at black
    std::int32_t width = 0;       // output size in pixels
    std::int32_t height = 0;
    bool grayscale = false;   // Y800 output (else RGB24)
    bool invert = false;
    bool debayerSafe = false;
    bool removeIncomplete = false;
    // Reported only when set, so that older reports read as they did.
    ColourOptions colour;
    bool fullFrame = false;
    RejectOptions reject;
    FrameRange frames;
    bool join = false;
    std::optional<TimeRange> timeRange;
    std::optional<std::int32_t> segment;   // seconds
    OutputRate fps;                        // "fps": "source" or the rate, unless 30
    bool limb = false;                     // "centre": "limb"
    bool sizeAuto = false;                 // "size": "auto"; each file's own in "output_size"
    // The masters every frame was calibrated with, and the hot pixels.
    struct Master {
        std::string kind;   // "dark", "flat", "bias"
        std::string path;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::int32_t frames = 0;   // combined into it
    };
    std::vector<Master> masters;
    std::string hotPixels;                        // "dark" or "auto"; empty: off
    std::optional<std::size_t> hotPixelsInDark;   // hot and cold pixels the dark gave
};

// Writes the machine-readable record of a run: whether the test passed and
// the batch was stopped, then per file its input, output, status, failure
// reason, frame counts by outcome ("ended_early": true only for a file that
// ended before the frame count its header declares), the settings used, the
// detected sample layout of a SER input, and the first and last frame time
// when any frame played. Throws std::runtime_error naming the path when it cannot be written.
void WriteJsonReport(const std::string& path, const ReportSettings& settings, bool testPassed,
                     const BatchResult& result);
