// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ser/ser_colour.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orbicrop::ser {

// The fixed header that starts every SER file; the frames follow it, then,
// optionally, one time stamp per frame. All integers are little-endian.
inline constexpr std::size_t kHeaderBytes = 178;
inline constexpr char kFileId[] = "LUCAM-RECORDER";   // the first bytes, unterminated
inline constexpr std::size_t kFileIdBytes = sizeof kFileId - 1;
inline constexpr std::size_t kFrameCountOffset = 38;   // int32
inline constexpr std::size_t kTextFieldBytes = 40;     // observer, instrument, telescope
// Readers commonly refuse larger frames, ours among them.
inline constexpr std::int32_t kMaxSide = 16384;

// What a SER file holds, as its header states it: what the writer writes
// and, with the fields only a reader needs, what a reader reads (SerHeader).
//
// Times are 100 ns ticks since 0001-01-01 00:00 (the Unix epoch is tick
// 621 355 968 000 000 000), dateTime in local time, dateTimeUtc in UTC;
// 0 is the usual "unknown".
struct SerFormat {
    std::int32_t width = 0;    // pixels, 1 .. kMaxSide
    std::int32_t height = 0;   // pixels, 1 .. kMaxSide
    SerColour colour = SerColour::Mono;
    std::int32_t depth = 8;   // bits per sample, 1 .. 16
    std::int32_t luId = 0;    // camera id; 0 when unknown
    std::string observer;     // at most kTextFieldBytes bytes each;
    std::string instrument;   // stored zero-padded, without a
    std::string telescope;    // terminator when the text fills the field;
                              // read without trailing NULs and spaces
    std::int64_t dateTime = 0;
    std::int64_t dateTimeUtc = 0;

    // One byte per sample up to a depth of 8 bits, two above (the value in
    // the low bits, little-endian).
    std::int32_t bytesPerSample() const { return depth > 8 ? 2 : 1; }
    std::int32_t planes() const { return SerPlanes(colour); }
    std::uint64_t frameBytes() const
    {
        return std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(planes()) * std::uint64_t(bytesPerSample());
    }
};

// A header as read from a file.
struct SerHeader : SerFormat {
    std::uint32_t frameCount = 0;        // as declared; the file may hold fewer
    std::int32_t littleEndianFlag = 0;   // as written; see dataLooksLittleEndian()

    // Most capture programs write 0 here for little-endian data, the opposite
    // of what the field's name says, and the widely used readers read it
    // inverted on purpose; so does ours, and the writer writes 0.
    bool dataLooksLittleEndian() const { return littleEndianFlag == 0; }
};

// Why a format cannot be written, in words for the user; empty when it can.
std::string SerFormatProblem(const SerFormat& format);

// The header of a file in this format holding frameCount frames. The format
// must be one SerFormatProblem() accepts. The byte-order field is 0, which
// is what capture programs write, and what readers take to mean,
// for little-endian samples.
std::array<std::uint8_t, kHeaderBytes> SerHeaderBytes(const SerFormat& format, std::int32_t frameCount);

// A count as stored at kFrameCountOffset.
std::array<std::uint8_t, 4> SerFrameCountBytes(std::int32_t frameCount);

// Why a header cannot be read; the limits are those SerFormatProblem()
// puts on a format to be written.
enum class SerHeaderFault {
    None,
    TooShort,
    NotSer,     // the file id is not kFileId
    BadWidth,   // 0, negative or above kMaxSide
    BadHeight,
    BadDepth,    // 0, negative or above 16
    BadColour,   // an id outside SerColour
};

struct SerHeaderParse {
    SerHeader header;   // meaningful only when ok()
    SerHeaderFault fault = SerHeaderFault::None;
    bool ok() const { return fault == SerHeaderFault::None; }
};

// Reads and validates the header from the first bytes of a file. Pure: looks
// at no more than kHeaderBytes bytes and never past bytes.size(), so any
// input is safe to hand it.
SerHeaderParse ParseSerHeader(std::span<const std::uint8_t> bytes);

}   // namespace orbicrop::ser
