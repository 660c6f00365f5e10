// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ser/ser_format.h"

#include <cstdint>
#include <span>

// Where the frames and time stamps of one SER file lie, from its header and
// its actual size.
struct SerLayout {
    std::uint64_t frameBytes = 0;
    // Whole frames present: the declared count, or fewer when the capture was
    // cut short (a partial last frame is not counted). A declared count of 0
    // (a capture program that never came back to fill it in) counts every
    // whole frame after the header.
    std::uint32_t frames = 0;
    // The header's count as it stands; 0 when it names none.
    std::uint32_t declared = 0;
    // One 64-bit little-endian tick count (100 ns) per frame follows the
    // frames; only possible when every declared frame is present.
    bool hasTimestamps = false;

    std::uint64_t frameOffset(std::uint32_t index) const
    {
        return orbicrop::ser::kHeaderBytes + std::uint64_t(index) * frameBytes;
    }
    std::uint64_t timestampOffset() const { return frameOffset(frames); }
};

SerLayout LayOutSerFile(const orbicrop::ser::SerHeader& header, std::uint64_t fileSize);

// Used when a file has no usable time stamps.
inline constexpr double kSerDefaultFrameRate = 30.0;

// Frames per second from the frames' time stamps (100 ns ticks): the frames
// over the span from the first stamp to the last. Falls back to
// kSerDefaultFrameRate unless there are two stamps or more, each later than
// the one before (many programs write zeros, or a clock that jumps back).
double FrameRateFromTimestamps(std::span<const std::int64_t> ticks);
