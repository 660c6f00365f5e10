// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_samples.h"

#include "image/vector_loop.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

// Probing reads ten whole frames before the first is shown, so this loop is
// on the way to every deep capture's test: four words a step keep several
// loads in flight.
ORBICROP_VECTOR_LOOP
std::uint64_t OrWords(std::span<const std::uint8_t> bytes)
{
    std::uint64_t any[4] = {};
    std::size_t i = 0;
    for (; i + 32 <= bytes.size(); i += 32)
        for (int k = 0; k < 4; ++k) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i + 8 * k, 8);
            any[k] |= word;
        }
    std::uint64_t all = any[0] | any[1] | any[2] | any[3];
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        all |= word;
    }
    if (i < bytes.size()) {
        // A tail shorter than a word, placed as a word load would place it.
        std::uint8_t tail[8] = {};
        std::memcpy(tail, bytes.data() + i, bytes.size() - i);
        std::uint64_t word;
        std::memcpy(&word, tail, 8);
        all |= word;
    }
    return all;
}

}   // namespace

SerFormatProbe::SerFormatProbe(const orbicrop::ser::SerHeader& header) : m_declaredDepth(header.depth)
{
    m_format.width = header.width;
    m_format.height = header.height;
    m_format.colour = header.colour;
    m_format.planes = header.planes();
    m_format.bytesPerSample = header.bytesPerSample();
    m_format.depth = header.depth;
    m_format.bigEndian = !header.dataLooksLittleEndian();
}

void SerFormatProbe::addBytes(std::span<const std::uint8_t> bytes)
{
    m_bits |= OrWords(bytes);
}

SerSampleFormat SerFormatProbe::format() const
{
    SerSampleFormat f = m_format;
    // Fold the word into one byte pair; byte k of the word in memory is
    // byte k of every 8-byte group, whatever the machine's byte order.
    std::uint8_t lanes[8];
    std::memcpy(lanes, &m_bits, 8);
    const unsigned even = lanes[0] | lanes[2] | lanes[4] | lanes[6];
    const unsigned odd = lanes[1] | lanes[3] | lanes[5] | lanes[7];
    if (f.bytesPerSample == 1) {
        const std::int32_t used = std::bit_width(even | odd);
        if (used > 0)
            f.depth = std::max(used, m_declaredDepth);
        return f;
    }
    const std::int32_t usedLittle = std::bit_width(odd << 8 | even);
    const std::int32_t usedBig = std::bit_width(even << 8 | odd);
    const bool littleFits = usedLittle <= m_declaredDepth;
    const bool bigFits = usedBig <= m_declaredDepth;
    if (littleFits != bigFits)
        f.bigEndian = bigFits;
    else if (littleFits && (even == 0) != (odd == 0))
        f.bigEndian = odd == 0;   // the empty half is the low byte
    const std::int32_t used = f.bigEndian ? usedBig : usedLittle;
    if (used > 0)
        f.depth = std::max(used, 8);
    return f;
}

std::vector<std::uint32_t> FramesToProbe(std::uint32_t frames)
{
    std::vector<std::uint32_t> picks;
    if (frames <= kSerFramesToProbe + 2) {
        for (std::uint32_t i = 0; i < frames; ++i)
            picks.push_back(i);
        return picks;
    }
    picks.push_back(0);
    for (std::uint32_t k = 1; k <= kSerFramesToProbe; ++k)
        picks.push_back(std::uint32_t(std::uint64_t(frames - 1) * k / (kSerFramesToProbe + 1)));
    picks.push_back(frames - 1);
    return picks;
}
