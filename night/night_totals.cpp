// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/night_totals.h"

#include <algorithm>

void AddByReason(ReasonCounts& sum, const std::vector<std::pair<std::string, std::int32_t>>& counts)
{
    for (const auto& [reason, count] : counts) {
        const auto known = std::ranges::find(sum, reason, &ReasonCounts::value_type::first);
        if (known != sum.end())
            known->second += count;
        else
            sum.emplace_back(reason, count);
    }
}

std::int64_t NightTotals::framesDropped() const
{
    std::int64_t sum = 0;
    for (const auto& [reason, count] : dropped)
        sum += count;
    return sum;
}

NightTotals TotalsOf(const NightFacts& night)
{
    NightTotals t;
    t.captures = std::int32_t(night.captures.size());
    for (const NightCapture& c : night.captures) {
        if (c.status == "skipped") {
            ++t.skipped;
            continue;
        }
        if (c.status == "failed")
            t.failed.push_back({c.name, c.reason});
        else if (c.status == "stopped")
            ++t.stopped;
        else   // "done", and whatever else a capture that ran through is called
            ++t.done;
        t.framesRead += c.framesSeen;
        t.framesWritten += c.framesWritten;
        AddByReason(t.dropped, c.dropped);
        t.bytesRead += c.bytesRead;
    }
    return t;
}
