// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_samples.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

// Total difference between samples two pixels apart within each row of one
// two-byte frame, read in the machine's byte order and in the other one.
// Two pixels apart, so that in a colour mosaic like is compared with like.
struct Roughness {
    std::uint64_t native = 0;
    std::uint64_t swapped = 0;
};

Roughness MeasureRoughness(const std::uint8_t* frame, const SerSampleFormat& f)
{
    const std::size_t rowSamples = std::size_t(f.rowSamples());
    const std::size_t step = std::size_t(f.planes) * 2;
    Roughness total;
    for (std::int32_t y = 0; y < f.height; ++y) {
        const std::uint8_t* row = frame + std::size_t(y) * rowSamples * 2;
        // Per row at most 16384 x 3 x 65535 < 2^32.
        std::uint32_t native = 0;
        std::uint32_t swapped = 0;
        for (std::size_t i = 0; i + step < rowSamples; ++i) {
            std::uint16_t a;
            std::uint16_t b;
            std::memcpy(&a, row + 2 * i, 2);
            std::memcpy(&b, row + 2 * (i + step), 2);
            const std::int32_t an = a;
            const std::int32_t bn = b;
            const std::int32_t as = (a >> 8) | (a & 0xFF) << 8;
            const std::int32_t bs = (b >> 8) | (b & 0xFF) << 8;
            native += std::uint32_t(an > bn ? an - bn : bn - an);
            swapped += std::uint32_t(as > bs ? as - bs : bs - as);
        }
        total.native += native;
        total.swapped += swapped;
    }
    return total;
}

std::uint64_t OrWords(std::span<const std::uint8_t> bytes)
{
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        any |= word;
    }
    if (i < bytes.size()) {
        // A tail shorter than a word, placed as a word load would place it.
        std::uint8_t tail[8] = {};
        std::memcpy(tail, bytes.data() + i, bytes.size() - i);
        std::uint64_t word;
        std::memcpy(&word, tail, 8);
        any |= word;
    }
    return any;
}

} // namespace

SerFormatProbe::SerFormatProbe(const orbicrop::ser::SerHeader& header)
    : m_declaredDepth(header.depth)
{
    m_format.width = header.width;
    m_format.height = header.height;
    m_format.colour = header.colour;
    m_format.planes = header.planes();
    m_format.bytesPerSample = header.bytesPerSample();
    m_format.depth = header.depth;
    m_format.bigEndian = !header.dataLooksLittleEndian();
}

void SerFormatProbe::addFrame(std::span<const std::uint8_t> frame)
{
    if (!m_sawFrame && m_format.bytesPerSample == 2) {
        const Roughness r = MeasureRoughness(frame.data(), m_format);
        const bool nativeIsBig = std::endian::native == std::endian::big;
        const std::uint64_t asBig = nativeIsBig ? r.native : r.swapped;
        const std::uint64_t asLittle = nativeIsBig ? r.swapped : r.native;
        // Strictly smoother in the other order, or the flag stands.
        if (m_format.bigEndian ? asLittle < asBig : asBig < asLittle)
            m_format.bigEndian = !m_format.bigEndian;
    }
    m_sawFrame = true;
    m_bits |= OrWords(frame);
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
    } else {
        const std::int32_t used = std::bit_width(f.bigEndian ? even << 8 | odd : odd << 8 | even);
        if (used > 0)
            f.depth = std::max(used, 8);
    }
    return f;
}
