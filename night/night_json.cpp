// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/escape.h"
#include "night/night_report.h"
#include "time/capture_time.h"

#include <cmath>
#include <cstdio>

using orbicrop::night::JsonString;

namespace {

std::string Seconds(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string OrNull(const std::string& text)
{
    return text.empty() ? "null" : JsonString(text);
}

std::string StringArray(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "" : ", ") + JsonString(items[i]);
    return out + "]";
}

std::string CountsObject(const ReasonCounts& counts)
{
    std::string out = "{";
    for (std::size_t i = 0; i < counts.size(); ++i)
        out += (i == 0 ? "" : ", ") + JsonString(counts[i].first) + ": " + std::to_string(counts[i].second);
    return out + "}";
}

std::string TotalsObject(const NightTotals& t)
{
    std::string failed = "[";
    for (std::size_t i = 0; i < t.failed.size(); ++i)
        failed += (i == 0 ? "" : ", ") + std::string("{\"name\": ") + JsonString(t.failed[i].name)
            + ", \"reason\": " + OrNull(t.failed[i].reason) + "}";
    return "{\n    \"captures\": " + std::to_string(t.captures) + ", \"done\": " + std::to_string(t.done)
        + ", \"failed\": " + std::to_string(t.failed.size()) + ", \"stopped\": " + std::to_string(t.stopped)
        + ", \"skipped\": " + std::to_string(t.skipped) + ",\n    \"frames_read\": " + std::to_string(t.framesRead)
        + ", \"frames_written\": " + std::to_string(t.framesWritten) + ", \"frames_dropped\": "
        + std::to_string(t.framesDropped()) + ", \"frames_unaccounted\": " + std::to_string(t.framesUnaccounted())
        + ",\n    \"dropped\": " + CountsObject(t.dropped) + ",\n    \"bytes_read\": " + std::to_string(t.bytesRead)
        + ",\n    \"failures\": " + failed + "]\n  }";
}

std::string CaptureObject(const NightCapture& c)
{
    ReasonCounts dropped;
    AddByReason(dropped, c.dropped);
    return "    {\n      \"name\": " + JsonString(c.name) + ",\n      \"inputs\": " + StringArray(c.inputs)
        + ",\n      \"bytes_read\": " + std::to_string(c.bytesRead) + ",\n      \"outputs\": " + StringArray(c.outputs)
        + ",\n      \"status\": " + JsonString(c.status) + ",\n      \"reason\": " + OrNull(c.reason)
        + ",\n      \"mid_time\": " + (c.midUtcTicks ? JsonString(IsoUtc(*c.midUtcTicks)) : std::string("null"))
        + ",\n      \"target\": " + OrNull(c.target) + ", \"filter\": " + OrNull(c.filter)
        + ", \"camera\": " + OrNull(c.camera) + ",\n      \"frames\": {\"seen\": " + std::to_string(c.framesSeen)
        + ", \"written\": " + std::to_string(c.framesWritten) + ", \"dropped\": " + CountsObject(dropped)
        + "},\n      \"seconds\": " + Seconds(c.seconds) + "\n    }";
}

}   // namespace

std::string NightReportJson(const NightFacts& night)
{
    std::string json = "{\n  \"title\": " + JsonString(night.title) + ",\n  \"seconds\": " + Seconds(night.seconds)
        + ",\n  \"totals\": " + TotalsObject(TotalsOf(night)) + ",\n  \"captures\": [";
    for (std::size_t i = 0; i < night.captures.size(); ++i)
        json += (i == 0 ? "\n" : ",\n") + CaptureObject(night.captures[i]);
    return json + (night.captures.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
