// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_format.h"

#include "fileio/little_endian.h"

#include <cassert>
#include <cstring>
#include <string_view>

namespace orbicrop::ser {
namespace {

// The text fields: zero-padded, and read without the NULs or spaces that
// capture programs pad with.
void WriteText(fileio::ByteWriter& w, const std::string& value)
{
    assert(value.size() <= kTextFieldBytes);
    w.bytes({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()});
    w.zeros(kTextFieldBytes - value.size());
}

std::string ReadText(fileio::ByteReader& r)
{
    const std::span<const std::uint8_t> field = r.bytes(kTextFieldBytes);
    std::string value(field.begin(), field.end());
    const auto end = value.find_last_not_of(std::string_view("\0 ", 2));
    value.resize(end == std::string::npos ? 0 : end + 1);
    return value;
}

// The limits both on what is written and on what is read. They keep every
// size derived from a header (a frame of up to 16384 x 16384 x 3 planes x
// 2 bytes, its 24-bit picture) far inside 32-bit signed range, so no later
// product can overflow.
SerHeaderFault FormatFault(const SerFormat& format)
{
    if (format.width < 1 || format.width > kMaxSide)
        return SerHeaderFault::BadWidth;
    if (format.height < 1 || format.height > kMaxSide)
        return SerHeaderFault::BadHeight;
    if (format.depth < 1 || format.depth > 16)
        return SerHeaderFault::BadDepth;
    if (!IsKnownSerColour(std::int32_t(format.colour)))
        return SerHeaderFault::BadColour;
    return SerHeaderFault::None;
}

}   // namespace

std::string SerFormatProblem(const SerFormat& format)
{
    switch (FormatFault(format)) {
    case SerHeaderFault::BadWidth:
    case SerHeaderFault::BadHeight:
        return "Unsupported SER frame size " + std::to_string(format.width) + " x " + std::to_string(format.height);
    case SerHeaderFault::BadDepth: return "Unsupported SER sample depth of " + std::to_string(format.depth) + " bits";
    case SerHeaderFault::BadColour: return "Unknown SER colour id " + std::to_string(std::int32_t(format.colour));
    default: break;
    }
    for (const auto& [name, value] :
         {std::pair{"observer", &format.observer}, std::pair{"instrument", &format.instrument},
          std::pair{"telescope", &format.telescope}})
        if (value->size() > kTextFieldBytes)
            return std::string("The SER ") + name + " text is longer than " + std::to_string(kTextFieldBytes)
                + " bytes";
    return {};
}

std::array<std::uint8_t, kHeaderBytes> SerHeaderBytes(const SerFormat& format, std::int32_t frameCount)
{
    assert(SerFormatProblem(format).empty());
    std::array<std::uint8_t, kHeaderBytes> out{};
    fileio::ByteWriter w(out);
    w.bytes({reinterpret_cast<const std::uint8_t*>(kFileId), kFileIdBytes});
    w.i32(format.luId);
    w.i32(std::int32_t(format.colour));
    w.i32(0);   // byte order: see SerHeader::dataLooksLittleEndian()
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

SerHeaderParse ParseSerHeader(std::span<const std::uint8_t> bytes)
{
    SerHeaderParse result;
    if (bytes.size() < kHeaderBytes) {
        result.fault = SerHeaderFault::TooShort;
        return result;
    }
    if (std::memcmp(bytes.data(), kFileId, kFileIdBytes) != 0) {
        result.fault = SerHeaderFault::NotSer;
        return result;
    }
    SerHeader& h = result.header;
    fileio::ByteReader r(bytes.first(kHeaderBytes));
    r.bytes(kFileIdBytes);
    h.luId = r.i32();
    // Any id, so that the check below sees it; the enum holds every int32.
    h.colour = SerColour(r.i32());
    h.littleEndianFlag = r.i32();
    h.width = r.i32();
    h.height = r.i32();
    h.depth = r.i32();
    assert(r.position() == kFrameCountOffset);
    h.frameCount = r.u32();
    h.observer = ReadText(r);
    h.instrument = ReadText(r);
    h.telescope = ReadText(r);
    h.dateTime = r.i64();
    h.dateTimeUtc = r.i64();
    assert(r.position() == kHeaderBytes);
    result.fault = FormatFault(h);
    return result;
}

}   // namespace orbicrop::ser
