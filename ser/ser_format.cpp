// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_format.h"

#include "fileio/little_endian.h"

#include <cassert>
#include <cstring>

namespace orbicrop::ser {
namespace {

constexpr char kFileId[] = "LUCAM-RECORDER";

// The text fields are zero-padded.
void WriteText(fileio::ByteWriter& w, const std::string& value)
{
    assert(value.size() <= kTextFieldBytes);
    w.bytes({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()});
    w.zeros(kTextFieldBytes - value.size());
}

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
    fileio::ByteWriter w(out);
    w.bytes({reinterpret_cast<const std::uint8_t*>(kFileId), sizeof kFileId - 1});
    w.i32(format.luId);
    w.i32(std::int32_t(format.colour));
    w.i32(0);   // byte order: see above
    w.i32(format.width);
    w.i32(format.height);
    w.i32(format.depth);
    assert(w.position() == kFrameCountOffset);
    w.i32(frameCount);
    WriteText(w, format.observer);
    WriteText(w, format.instrument);
    WriteText(w, format.telescope);
    w.i64(format.dateTime);
    w.i64(format.dateTimeUtc);
    assert(w.position() == kHeaderBytes);
    return out;
}

std::array<std::uint8_t, 4> SerFrameCountBytes(std::int32_t frameCount)
{
    std::array<std::uint8_t, 4> out{};
    fileio::WriteLe32(out.data(), std::uint32_t(frameCount));
    return out;
}

} // namespace orbicrop::ser
