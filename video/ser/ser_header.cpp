// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_header.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t kStringField = 40;

std::uint32_t ReadU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::int32_t ReadI32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(ReadU32(p));
}

std::int64_t ReadI64(const std::uint8_t* p)
{
    return static_cast<std::int64_t>(std::uint64_t(ReadU32(p)) | std::uint64_t(ReadU32(p + 4)) << 32);
}

std::string ReadText(const std::uint8_t* p)
{
    std::string text(reinterpret_cast<const char*>(p), kStringField);
    const auto end = text.find_last_not_of(std::string_view("\0 ", 2));
    text.resize(end == std::string::npos ? 0 : end + 1);
    return text;
}

} // namespace

std::int32_t SerHeader::planes() const
{
    return colour == SerColour::Rgb || colour == SerColour::Bgr ? 3 : 1;
}

std::int32_t SerHeader::bytesPerSample() const
{
    return depth > 8 ? 2 : 1;
}

std::uint64_t SerHeader::frameBytes() const
{
    return std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(planes()) * std::uint64_t(bytesPerSample());
}

SerHeaderParse ParseSerHeader(std::span<const std::uint8_t> bytes)
{
    SerHeaderParse result;
    if (bytes.size() < kSerHeaderSize) {
        result.fault = SerHeaderFault::TooShort;
        return result;
    }
    const std::uint8_t* p = bytes.data();
    if (std::memcmp(p, kSerFileId, kSerFileIdSize) != 0) {
        result.fault = SerHeaderFault::NotSer;
        return result;
    }

    SerHeader& h = result.header;
    h.luId = ReadI32(p + 14);
    const std::int32_t colourId = ReadI32(p + 18);
    h.littleEndianFlag = ReadI32(p + 22);
    h.width = ReadI32(p + 26);
    h.height = ReadI32(p + 30);
    h.depth = ReadI32(p + 34);
    h.frameCount = ReadU32(p + 38);
    h.observer = ReadText(p + 42);
    h.instrument = ReadText(p + 82);
    h.telescope = ReadText(p + 122);
    h.dateTime = ReadI64(p + 162);
    h.dateTimeUtc = ReadI64(p + 170);

    // The limits keep every size derived from the header (a frame of up to
    // 16384 x 16384 x 3 planes x 2 bytes, its 24-bit picture) far inside
    // 32-bit signed range, so no later product can overflow.
    if (h.width <= 0 || h.width > kSerMaxSide)
        result.fault = SerHeaderFault::BadWidth;
    else if (h.height <= 0 || h.height > kSerMaxSide)
        result.fault = SerHeaderFault::BadHeight;
    else if (h.depth <= 0 || h.depth > 16)
        result.fault = SerHeaderFault::BadDepth;
    else if (!orbicrop::ser::IsKnownSerColour(colourId))
        result.fault = SerHeaderFault::BadColour;
    else
        h.colour = static_cast<SerColour>(colourId);
    return result;
}
