// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One capture of the night as it was processed (a capture may be several
// joined input files).
struct NightCapture {
    std::string name;                   // the capture's name: its first input's file name
    std::vector<std::string> inputs;    // input paths as given
    std::uint64_t bytesRead = 0;        // the inputs' sizes
    std::vector<std::string> outputs;   // output paths (absolute or relative to the cwd)
    std::string status;   // "done", "failed", "stopped", or "skipped" (done in an earlier run, not redone)
    std::string reason;   // why it failed or was skipped; empty otherwise
    std::optional<std::int64_t> midUtcTicks;   // capture mid-time: 100 ns ticks since 0001-01-01 UTC
    std::string target, filter, camera;        // what the capture program's notes name; empty when unknown
    std::int32_t framesSeen = 0;               // frames read
    std::int32_t framesWritten = 0;
    // Reason ("no planet", "cut", "dim", ...) and its count; only counts > 0.
    std::vector<std::pair<std::string, std::int32_t>> dropped;
    std::vector<std::uint8_t> bestFramePng;   // PNG bytes of the best (sharpest) output frame; empty when none
    std::vector<std::uint8_t> qualityPng;     // PNG bytes of the quality curve (640 x 360); empty when none
    std::vector<std::uint8_t> driftPng;       // PNG bytes of the drift plot (640 x 360); empty when none
    double seconds = 0.0;                     // time taken on it
};

struct NightFacts {
    std::string title;                    // e.g. the output folder's name
    std::vector<NightCapture> captures;   // in time order (the caller orders them)
    double seconds = 0.0;                 // the whole run's time
};
