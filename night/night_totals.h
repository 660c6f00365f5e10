// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "night/night_facts.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Frame counts by reason, in the order the reasons first appear.
using ReasonCounts = std::vector<std::pair<std::string, std::int64_t>>;

// Adds counts to sum, a reason already there to its own count: a reason
// named twice is still one line of the report.
void AddByReason(ReasonCounts& sum, const std::vector<std::pair<std::string, std::int32_t>>& counts);

struct FailedCapture {
    std::string name;
    std::string reason;
};

// The night in a few numbers: the one reckoning both the page and the JSON
// show. Frames and bytes count what this run read: a capture skipped (done
// in an earlier run) adds none, so the gigabytes are the night's work.
struct NightTotals {
    std::int32_t captures = 0;
    std::int32_t done = 0;
    std::int32_t stopped = 0;
    std::int32_t skipped = 0;
    std::vector<FailedCapture> failed;
    std::int64_t framesRead = 0;
    std::int64_t framesWritten = 0;
    ReasonCounts dropped;
    std::uint64_t bytesRead = 0;

    std::int64_t framesDropped() const;
    // Frames read that were neither written nor dropped for a reason given
    // (a capture stopped midway); zero when the counts add up.
    std::int64_t framesUnaccounted() const { return framesRead - framesWritten - framesDropped(); }
};

NightTotals TotalsOf(const NightFacts& night);
