// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_format.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace orbicrop::ser {
namespace {

constexpr char kFileId[] = "LUCAM-RECORDER";

// Serialises fields in little-endian order, one helper per width, so that
// the header depends neither on struct layout nor on the host's byte order.
class HeaderWriter {
public:
    explicit HeaderWriter(std::array<std::uint8_t, kHeaderBytes>& out) : m_out(out) {}

    void i32(std::int32_t v) { le(std::uint64_t(std::uint32_t(v)), 4); }
    void i64(std::int64_t v) { le(std::uint64_t(v), 8); }
    void bytes(const void* data, std::size_t count, std::size_t field)
    {
        assert(count <= field && m_pos + field <= m_out.size());
        std::memcpy(m_out.data() + m_pos, data, count);
        std::fill_n(m_out.data() + m_pos + count, field - count, std::uint8_t(0));
        m_pos += field;
    }
    void text(const std::string& value) { bytes(value.data(), value.size(), kTextFieldBytes); }
    std::size_t position() const { return m_pos; }

private:
    void le(std::uint64_t v, std::size_t count)
    {
        assert(m_pos + count <= m_out.size());
        for (std::size_t i = 0; i < count; ++i)
            m_out[m_pos++] = std::uint8_t(v >> (8 * i));
    }

    std::array<std::uint8_t, kHeaderBytes>& m_out;
    std::size_t m_pos = 0;
};

} // namespace

std::string SerFormatProblem(const SerOutputFormat& format)
{
    const auto side = [](std::int32_t v) { return v >= 1 && v <= kMaxSide; };
    if (!side(format.width) || !side(format.height))
        return "Unsupported SER frame size " + std::to_string(format.width) + " x " + std::to_string(format.height);
    if (!IsKnownSerColour(std::int32_t(format.colour)))
        return "Unknown SER colour id " + std::to_string(std::int32_t(format.colour));
    if (format.depth < 1 || format.depth > 16)
        return "Unsupported SER sample depth of " + std::to_string(format.depth) + " bits";
    for (const auto& [name, value] : {std::pair{"observer", &format.observer},
                                      std::pair{"instrument", &format.instrument},
                                      std::pair{"telescope", &format.telescope}})
        if (value->size() > kTextFieldBytes)
            return std::string("The SER ") + name + " text is longer than " + std::to_string(kTextFieldBytes) + " bytes";
    return {};
}

std::array<std::uint8_t, kHeaderBytes> SerHeaderBytes(const SerOutputFormat& format, std::int32_t frameCount)
{
    assert(SerFormatProblem(format).empty());
    std::array<std::uint8_t, kHeaderBytes> out{};
    HeaderWriter w(out);
    w.bytes(kFileId, sizeof kFileId - 1, sizeof kFileId - 1);
    w.i32(format.luId);
    w.i32(std::int32_t(format.colour));
    w.i32(0);   // byte order: see above
    w.i32(format.width);
    w.i32(format.height);
    w.i32(format.depth);
    assert(w.position() == kFrameCountOffset);
    w.i32(frameCount);
    w.text(format.observer);
    w.text(format.instrument);
    w.text(format.telescope);
    w.i64(format.dateTime);
    w.i64(format.dateTimeUtc);
    assert(w.position() == kHeaderBytes);
    return out;
}

std::array<std::uint8_t, 4> SerFrameCountBytes(std::int32_t frameCount)
{
    const auto v = std::uint32_t(frameCount);
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

} // namespace orbicrop::ser
