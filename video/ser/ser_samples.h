// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ser/ser_format.h"

#include <cstdint>
#include <span>
#include <vector>

// The colour ids are the SER writer's.
using orbicrop::ser::SerColour;

// How the samples of one SER file are to be read, settled once from its
// header and frames spread over it.
struct SerSampleFormat {
    std::int32_t width = 0;
    std::int32_t height = 0;
    SerColour colour = SerColour::Mono;
    std::int32_t planes = 1;
    std::int32_t bytesPerSample = 1;
    bool bigEndian = false;   // two-byte samples only
    std::int32_t depth = 8;   // bits the samples use, as the data shows them

    std::int32_t rowSamples() const { return width * planes; }
};

// How many frames between the first and the last of a file the probe would
// like to see besides them.
inline constexpr std::uint32_t kSerFramesToProbe = 8;

// The frames a probe reads of a capture of frames frames: 0 and the last
// and about kSerFramesToProbe evenly between, for a capture that starts dark
// shows its depth and byte order only later on.
std::vector<std::uint32_t> FramesToProbe(std::uint32_t frames);

// Settles byte order and depth from frames of a file, fed one at a time
// (rows top-down, as stored), so that only one frame is held at once. Both
// come from which bits the samples use over all the frames seen.
//
// Byte order (two-byte samples): the header's flag read inverted (0 means
// little-endian, what capture programs actually write), unless the samples
// say otherwise beyond doubt:
//  - read the flag's way they use more bits than the declared depth, and
//    read the other way they do not: a writer that set the flag literally;
//  - else, when both ways fit, one half of every sample is zero and the
//    other not: the zero half is the low byte (8-bit pictures stored as
//    16 bits, shifted up).
// Which order makes the smoother picture says nothing for sure: pictures
// of 8 bits in the high byte, or with steps of whole multiples of 256, look
// smoother read the wrong way round.
//
// Depth: the bit width of the largest sample seen. Two-byte samples take it
// whatever the header declares (16 is often written for 12-bit data in the
// low bits; data above the declared depth is kept rather than clipped), but
// never below 8; one-byte samples only rise above a declared depth under 8,
// never drop below it. Without frames, or with all-zero ones, the declared
// depth stands.
class SerFormatProbe {
public:
    explicit SerFormatProbe(const orbicrop::ser::SerHeader& header);

    // bytes: a whole frame of the header's frameBytes(), or a part of one
    // that starts a multiple of 8 bytes into it; a part that ends before the
    // frame does is a multiple of 8 bytes long.
    void addBytes(std::span<const std::uint8_t> bytes);
    // What another probe of the same header saw, as if added here.
    void merge(const SerFormatProbe& other) { m_bits |= other.m_bits; }
    SerSampleFormat format() const;
    // False when no frame could change the format: one-byte samples declared
    // 8 bits deep, whose frames need not be read for it.
    bool wantsFrames() const { return m_format.bytesPerSample == 2 || m_declaredDepth < 8; }

private:
    SerSampleFormat m_format;
    std::int32_t m_declaredDepth;
    // Every byte seen, ORed together by its position within a 64-bit word.
    // Each frame is taken from its own start, so with two-byte samples the
    // even and odd positions hold the two halves of the samples.
    std::uint64_t m_bits = 0;
};
