// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace orbicrop::avi {

// A four-character code as the little-endian 32-bit value whose bytes, in
// file order, are the four characters: fourcc("vids") is stored as v,i,d,s.
constexpr std::uint32_t fourcc(const char (&code)[5])
{
    return std::uint32_t(std::uint8_t(code[0])) | std::uint32_t(std::uint8_t(code[1])) << 8
        | std::uint32_t(std::uint8_t(code[2])) << 16 | std::uint32_t(std::uint8_t(code[3])) << 24;
}

// Serialises fields in little-endian order into a caller-owned byte range,
// one helper per width, so that no on-disk record depends on struct layout
// or on the host's byte order. Writing past the end is a programmer error.
class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> out) : m_out(out) {}

    void u8(std::uint8_t v) { put(&v, 1); }
    void u16(std::uint16_t v)
    {
        const std::uint8_t b[2] = {std::uint8_t(v), std::uint8_t(v >> 8)};
        put(b, 2);
    }
    void u32(std::uint32_t v)
    {
        const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                                   std::uint8_t(v >> 24)};
        put(b, 4);
    }
    void u64(std::uint64_t v)
    {
        u32(std::uint32_t(v));
        u32(std::uint32_t(v >> 32));
    }
    void i32(std::int32_t v) { u32(std::uint32_t(v)); }
    void i16(std::int16_t v) { u16(std::uint16_t(v)); }
    void zeros(std::size_t count)
    {
        assert(m_pos + count <= m_out.size());
        std::memset(m_out.data() + m_pos, 0, count);
        m_pos += count;
    }

    std::size_t position() const { return m_pos; }

private:
    void put(const std::uint8_t* bytes, std::size_t count)
    {
        assert(m_pos + count <= m_out.size());
        std::memcpy(m_out.data() + m_pos, bytes, count);
        m_pos += count;
    }

    std::span<std::uint8_t> m_out;
    std::size_t m_pos = 0;
};

} // namespace orbicrop::avi
