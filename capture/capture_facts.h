// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orbicrop::capture {

// Which program's notes a capture's facts were read from.
enum class FactsSource { FireCaptureSidecar, SharpCapSidecar };

// What a capture program wrote about one capture. Every fact stands on its
// own: a file that lacks a key, or writes it in a form we cannot read, leaves
// that one fact empty and the others as they are.
struct CaptureFacts {
    FactsSource source = FactsSource::FireCaptureSidecar;
    std::string sidecarPath;   // empty when the facts were read from text alone

    // UT, in capture ticks (time/capture_time.h). A missing mid is the middle
    // of start and end when both are known.
    std::optional<std::int64_t> startUtc;
    std::optional<std::int64_t> midUtc;
    std::optional<std::int64_t> endUtc;

    std::optional<std::int64_t> framesCaptured;
    std::optional<double> averageFps;
    std::optional<double> exposureSeconds;
    std::optional<double> gain;
    std::optional<std::string> camera;
    std::optional<std::string> filter;
    std::optional<std::string> target;

    // The local time the sidecar states, as seconds east of UT: local = UT
    // + offset (FireCapture's "LT=UT+2h" is +7200).
    std::optional<std::int32_t> utcOffsetSeconds;

    bool hasAnyFact() const
    {
        return startUtc || midUtc || endUtc || framesCaptured || averageFps || exposureSeconds || gain || camera
            || filter || target || utcOffsetSeconds;
    }
};

}   // namespace orbicrop::capture
