// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

// Which frames of a file a run reads, by their numbers in the file from 0
// (the track's frame column): first to last, both included, or first to
// the end.
struct FrameRange {
    std::int32_t first = 0;
    std::optional<std::int32_t> last;

    bool whole() const { return first == 0 && !last; }
    bool operator==(const FrameRange&) const = default;
};
