// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// Little-endian integers in byte buffers, one helper per width: the file
// formats we read and write (RIFF AVI, SER) store every integer this way,
// and spelling it out byte by byte keeps their records independent of
// struct layout, alignment and the host's byte order.
namespace orbicrop::fileio {

// The free functions leave checking the buffer's length to the caller.
constexpr std::uint16_t ReadLe16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

constexpr std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

constexpr std::uint64_t ReadLe64(const std::uint8_t* p)
{
    return std::uint64_t(ReadLe32(p)) | std::uint64_t(ReadLe32(p + 4)) << 32;
}

constexpr void WriteLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

constexpr void WriteLe32(std::uint8_t* p, std::uint32_t v)
{
    WriteLe16(p, std::uint16_t(v));
    WriteLe16(p + 2, std::uint16_t(v >> 16));
}

constexpr void WriteLe64(std::uint8_t* p, std::uint64_t v)
{
    WriteLe32(p, std::uint32_t(v));
    WriteLe32(p + 4, std::uint32_t(v >> 32));
}

// A four-character code as the little-endian 32-bit value whose bytes, in
// file order, are the four characters: fourcc("vids") is stored as v,i,d,s.
constexpr std::uint32_t fourcc(const char (&code)[5])
{
    return std::uint32_t(std::uint8_t(code[0])) | std::uint32_t(std::uint8_t(code[1])) << 8
        | std::uint32_t(std::uint8_t(code[2])) << 16 | std::uint32_t(std::uint8_t(code[3])) << 24;
}

// Writes a record's fields one after the other into a caller-owned byte
// range. Writing past the end is a programmer error.
class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> out) : m_out(out) {}

    void u8(std::uint8_t v) { *take(1) = v; }
    void u16(std::uint16_t v) { WriteLe16(take(2), v); }
    void u32(std::uint32_t v) { WriteLe32(take(4), v); }
    void u64(std::uint64_t v) { WriteLe64(take(8), v); }
    void i16(std::int16_t v) { u16(std::uint16_t(v)); }
    void i32(std::int32_t v) { u32(std::uint32_t(v)); }
    void i64(std::int64_t v) { u64(std::uint64_t(v)); }
    void bytes(std::span<const std::uint8_t> data) { std::memcpy(take(data.size()), data.data(), data.size()); }
    void zeros(std::size_t count) { std::memset(take(count), 0, count); }

    std::size_t position() const { return m_pos; }

private:
    std::uint8_t* take(std::size_t count)
    {
        assert(m_pos + count <= m_out.size());
        std::uint8_t* at = m_out.data() + m_pos;
        m_pos += count;
        return at;
    }

    std::span<std::uint8_t> m_out;
    std::size_t m_pos = 0;
};

// Reads a record's fields one after the other from a byte range. Reading
// past the end is a programmer error: the caller checks the record's size.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> in) : m_in(in) {}

    std::uint16_t u16() { return ReadLe16(take(2)); }
    std::uint32_t u32() { return ReadLe32(take(4)); }
    std::uint64_t u64() { return ReadLe64(take(8)); }
    std::int32_t i32() { return std::int32_t(u32()); }
    std::int64_t i64() { return std::int64_t(u64()); }
    // The next count bytes as they are stored.
    std::span<const std::uint8_t> bytes(std::size_t count) { return {take(count), count}; }

    std::size_t position() const { return m_pos; }

private:
    const std::uint8_t* take(std::size_t count)
    {
        assert(m_pos + count <= m_in.size());
        const std::uint8_t* at = m_in.data() + m_pos;
        m_pos += count;
        return at;
    }

    std::span<const std::uint8_t> m_in;
    std::size_t m_pos = 0;
};

}   // namespace orbicrop::fileio
