// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ser/ser_colour.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The fixed 178-byte header at the start of a SER file (the capture format of
// planetary cameras). Integers are little-endian; the frames follow it, then,
// optionally, one 64-bit time stamp per frame.
inline constexpr std::size_t kSerHeaderSize = 178;
inline constexpr std::size_t kSerFileIdSize = 14;
inline constexpr char kSerFileId[] = "LUCAM-RECORDER";
inline constexpr std::int32_t kSerMaxSide = 16384;

// Colour ids, shared with the SER writer.
using orbicrop::ser::SerColour;

struct SerHeader {
    std::int32_t luId = 0;
    SerColour colour = SerColour::Mono;
    std::int32_t littleEndianFlag = 0;   // as written; see dataLooksLittleEndian()
    std::int32_t width = 0;              // pixels, 1 .. kSerMaxSide
    std::int32_t height = 0;
    std::int32_t depth = 0;              // declared bits per sample, 1 .. 16
    std::uint32_t frameCount = 0;        // as declared; the file may hold fewer
    std::string observer;                // 40 characters each in the file,
    std::string instrument;              // trailing NULs and spaces dropped
    std::string telescope;
    std::int64_t dateTime = 0;           // 100 ns ticks since year 1, local
    std::int64_t dateTimeUtc = 0;        // the same, UTC

    // 3 for RGB and BGR, 1 for mono and the mosaics.
    std::int32_t planes() const;
    // 1 up to a depth of 8 bits, 2 above.
    std::int32_t bytesPerSample() const;
    std::uint64_t frameBytes() const;
    // Most capture programs write 0 here for little-endian data, the opposite
    // of what the field's name says, and the widely used readers read it
    // inverted on purpose; so does this one. The first frame may still
    // overrule it (see ser_samples.h).
    bool dataLooksLittleEndian() const { return littleEndianFlag == 0; }
};

enum class SerHeaderFault {
    None,
    TooShort,
    NotSer,       // the file id is not "LUCAM-RECORDER"
    BadWidth,     // 0, negative or above kSerMaxSide
    BadHeight,
    BadDepth,     // 0, negative or above 16
    BadColour,    // an id outside SerColour
};

struct SerHeaderParse {
    SerHeader header;                          // meaningful only when ok()
    SerHeaderFault fault = SerHeaderFault::None;
    bool ok() const { return fault == SerHeaderFault::None; }
};

// Reads and validates the header from the first bytes of a file. Pure: looks
// at no more than kSerHeaderSize bytes and never past bytes.size(), so any
// input is safe to hand it.
SerHeaderParse ParseSerHeader(std::span<const std::uint8_t> bytes);
