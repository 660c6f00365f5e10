// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_convert.h"

#include "image/vector_loop.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

// The loops below are kept to one plain pass each, with restrict-qualified
// pointers, so that the compiler vectorises them; spreading one grey byte
// over three, or swapping red and blue, is what the AVX2 clones are for.

namespace {

// Two-byte samples in the machine's own byte order: plain 16-bit loads. The
// shift is a constant of each instance: with a shift known only at run time
// the compiler widens every sample to 32 bits, twice the instructions.
template <unsigned kShift>
ORBICROP_VECTOR_TEMPLATE void NarrowNative(const std::uint8_t* __restrict in, std::size_t n,
                                           std::uint8_t* __restrict out)
{
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t v;
        std::memcpy(&v, in + 2 * i, 2);
        const unsigned s = unsigned(v) >> kShift;
        out[i] = std::uint8_t(s < 255 ? s : 255);
    }
}

// Two-byte samples in the other byte order.
template <unsigned kShift>
ORBICROP_VECTOR_TEMPLATE void NarrowSwapped(const std::uint8_t* __restrict in, std::size_t n,
                                            std::uint8_t* __restrict out)
{
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t v;
        std::memcpy(&v, in + 2 * i, 2);
        const unsigned s = (unsigned(v) >> 8 | (unsigned(v) & 0xFF) << 8) >> kShift;
        out[i] = std::uint8_t(s < 255 ? s : 255);
    }
}

using NarrowFunction = void (*)(const std::uint8_t* __restrict, std::size_t, std::uint8_t* __restrict);

template <unsigned... kShifts>
NarrowFunction PickNarrow(bool swapped, unsigned shift, std::integer_sequence<unsigned, kShifts...>)
{
    NarrowFunction picked = nullptr;
    ((shift == kShifts ? picked = swapped ? &NarrowSwapped<kShifts> : &NarrowNative<kShifts> : picked), ...);
    return picked;
}

// Two-byte samples of depth - 8 bits more than a byte to bytes: 0 to 8, as
// two-byte samples have a depth of 8 to 16 bits.
void Narrow(const std::uint8_t* in, std::size_t n, unsigned shift, bool swapped, std::uint8_t* out)
{
    PickNarrow(swapped, std::min(shift, 8u), std::make_integer_sequence<unsigned, 9>{})(in, n, out);
}

void Widen(const std::uint8_t* __restrict in, std::size_t n, unsigned shift, std::uint8_t* __restrict out)
{
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned s = unsigned(in[i]) << shift;
        out[i] = std::uint8_t(s < 255 ? s : 255);
    }
}

ORBICROP_VECTOR_LOOP void GreyToBgr(const std::uint8_t* __restrict in, std::size_t width, std::uint8_t* __restrict out)
{
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t g = in[x];
        out[3 * x] = g;
        out[3 * x + 1] = g;
        out[3 * x + 2] = g;
    }
}

ORBICROP_VECTOR_LOOP void SwapRedBlue(const std::uint8_t* __restrict in, std::size_t width,
                                      std::uint8_t* __restrict out)
{
    for (std::size_t x = 0; x < width; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
    }
}

}   // namespace

SerConverter::SerConverter(const SerSampleFormat& format) : m_format(format), m_row(std::size_t(format.rowSamples())) {}

bool SerConverter::storedAsGray() const
{
    return grayFormat() && m_format.bytesPerSample == 1 && m_format.depth == 8;
}

// One row's samples as 8-bit values: the stored bytes themselves, or the row
// scratch after narrowing or widening.
const std::uint8_t* SerConverter::narrowRow(const std::uint8_t* in) noexcept
{
    const SerSampleFormat& f = m_format;
    const std::size_t rowSamples = std::size_t(f.rowSamples());
    if (f.bytesPerSample == 2) {
        Narrow(in, rowSamples, unsigned(f.depth - 8), f.bigEndian != (std::endian::native == std::endian::big),
               m_row.data());
        return m_row.data();
    }
    if (f.depth < 8) {
        Widen(in, rowSamples, unsigned(8 - f.depth), m_row.data());
        return m_row.data();
    }
    return in;
}

void SerConverter::convertGrayRows(const std::uint8_t* frame, std::uint8_t* gray, std::int32_t firstRow,
                                   std::int32_t endRow) noexcept
{
    convertGrayBand(frame + std::size_t(firstRow) * rowBytes(), gray, firstRow, endRow);
}

void SerConverter::convertGrayBand(const std::uint8_t* rows, std::uint8_t* gray, std::int32_t firstRow,
                                   std::int32_t endRow) noexcept
{
    const std::size_t width = std::size_t(m_format.width);
    const std::size_t inStride = rowBytes();
    for (std::int32_t y = firstRow; y < endRow; ++y) {
        const std::uint8_t* in = rows + std::size_t(y - firstRow) * inStride;
        std::uint8_t* out = gray + std::size_t(y) * width;
        if (m_format.bytesPerSample == 2) {
            Narrow(in, width, unsigned(m_format.depth - 8),
                   m_format.bigEndian != (std::endian::native == std::endian::big), out);
        } else {
            std::memcpy(out, narrowRow(in), width);
        }
    }
}

void SerConverter::convertRows(const std::uint8_t* frame, std::uint8_t* picture, std::int32_t firstRow,
                               std::int32_t endRow) noexcept
{
    convertBand(frame + std::size_t(firstRow) * rowBytes(), picture, firstRow, endRow);
}

void SerConverter::convertBand(const std::uint8_t* rows, std::uint8_t* picture, std::int32_t firstRow,
                               std::int32_t endRow) noexcept
{
    const SerSampleFormat& f = m_format;
    const std::size_t width = std::size_t(f.width);
    const std::size_t inStride = rowBytes();
    const std::size_t outStride = width * 3;

    for (std::int32_t y = firstRow; y < endRow; ++y) {
        const std::uint8_t* in = rows + std::size_t(y - firstRow) * inStride;
        std::uint8_t* out = picture + std::size_t(f.height - 1 - y) * outStride;

        const std::uint8_t* samples = narrowRow(in);

        switch (f.colour) {
        case SerColour::Rgb: SwapRedBlue(samples, width, out); break;
        case SerColour::Bgr: std::memcpy(out, samples, outStride); break;
        default: GreyToBgr(samples, width, out); break;
        }
    }
}
