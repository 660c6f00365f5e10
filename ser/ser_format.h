// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ser/ser_colour.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orbicrop::ser {

// The fixed header that starts every SER file; the frames follow it, then,
// optionally, one time stamp per frame. All integers are little-endian.
inline constexpr std::size_t kHeaderBytes = 178;
inline constexpr std::size_t kFrameCountOffset = 38;   // int32
inline constexpr std::size_t kTextFieldBytes = 40;     // observer, instrument, telescope
// Readers commonly refuse larger frames, ours among them.
inline constexpr std::int32_t kMaxSide = 16384;

// What a SER file holds, as its header states it.
//
// Times are 100 ns ticks since 0001-01-01 00:00 (the Unix epoch is tick
// 621 355 968 000 000 000), dateTime in local time, dateTimeUtc in UTC;
// 0 is the usual "unknown".
struct SerOutputFormat {
    std::int32_t width = 0;               // pixels, 1 .. kMaxSide
    std::int32_t height = 0;              // pixels, 1 .. kMaxSide
    SerColour colour = SerColour::Mono;
    std::int32_t depth = 8;               // bits per sample, 1 .. 16
    std::int32_t luId = 0;                // camera id; 0 when unknown
    std::string observer;                 // at most kTextFieldBytes bytes each;
    std::string instrument;               // stored zero-padded, without a
    std::string telescope;                // terminator when the text fills the field
    std::int64_t dateTime = 0;
    std::int64_t dateTimeUtc = 0;

    // One byte per sample up to a depth of 8 bits, two above (the value in
    // the low bits, little-endian).
    std::int32_t bytesPerSample() const { return depth > 8 ? 2 : 1; }
    std::int32_t planes() const { return SerPlanes(colour); }
    std::uint64_t frameBytes() const
    {
        return std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(planes())
            * std::uint64_t(bytesPerSample());
    }
};

// Why a format cannot be written, in words for the user; empty when it can.
std::string SerFormatProblem(const SerOutputFormat& format);

// The header of a file in this format holding frameCount frames. The format
// must be one SerFormatProblem() accepts. The byte-order field is 0, which
// is what capture programs write, and what readers take to mean,
// for little-endian samples.
std::array<std::uint8_t, kHeaderBytes> SerHeaderBytes(const SerOutputFormat& format, std::int32_t frameCount);

// A count as stored at kFrameCountOffset.
std::array<std::uint8_t, 4> SerFrameCountBytes(std::int32_t frameCount);

} // namespace orbicrop::ser
