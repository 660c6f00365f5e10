// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

// Reads a SER file back for tests, field by field at the fixed offsets of
// the header and independent of the project's own SER code, so that a wrong
// offset on either side shows up as a mismatch. Takes the declared frame
// count at its word and keeps whatever follows those frames apart.
struct SerFileContents {
    std::string fileId;   // 14 bytes
    std::int32_t luId = 0;
    std::int32_t colourId = 0;
    std::int32_t littleEndianFlag = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 0;
    std::int32_t frameCount = 0;
    std::string observer;   // all 40 bytes, padding included
    std::string instrument;
    std::string telescope;
    std::int64_t dateTime = 0;
    std::int64_t dateTimeUtc = 0;

    std::vector<std::vector<std::uint8_t>> frames;   // frameCount frames
    std::vector<std::uint8_t> tail;                  // every byte after them

    std::size_t frameBytes() const
    {
        const std::size_t planes = colourId == 100 || colourId == 101 ? 3 : 1;
        return std::size_t(width) * std::size_t(height) * planes * (depth > 8 ? 2 : 1);
    }

    // The tail read as one little-endian 64-bit stamp per frame; empty when
    // the tail is not exactly that long.
    std::vector<std::uint64_t> trailer() const
    {
        std::vector<std::uint64_t> stamps;
        if (frameCount <= 0 || tail.size() != 8 * std::size_t(frameCount))
            return stamps;
        for (std::size_t i = 0; i < tail.size(); i += 8) {
            std::uint64_t v = 0;
            for (std::size_t b = 0; b < 8; ++b)
                v |= std::uint64_t(tail[i + b]) << (8 * b);
            stamps.push_back(v);
        }
        return stamps;
    }
};

// Throws std::runtime_error when the file is shorter than its header and
// declared frames.
inline SerFileContents ReadSerFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in)
        throw std::runtime_error("cannot read " + path);
    constexpr std::size_t kHeader = 178;
    if (bytes.size() < kHeader)
        throw std::runtime_error(path + " is shorter than a SER header");

    const auto u64 = [&bytes](std::size_t at, std::size_t size) {
        std::uint64_t v = 0;
        for (std::size_t b = 0; b < size; ++b)
            v |= std::uint64_t(bytes[at + b]) << (8 * b);
        return v;
    };
    const auto i32 = [&u64](std::size_t at) { return std::int32_t(std::uint32_t(u64(at, 4))); };
    const auto text = [&bytes](std::size_t at, std::size_t size) {
        return std::string(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + size));
    };

    SerFileContents s;
    s.fileId = text(0, 14);
    s.luId = i32(14);
    s.colourId = i32(18);
    s.littleEndianFlag = i32(22);
    s.width = i32(26);
    s.height = i32(30);
    s.depth = i32(34);
    s.frameCount = i32(38);
    s.observer = text(42, 40);
    s.instrument = text(82, 40);
    s.telescope = text(122, 40);
    s.dateTime = std::int64_t(u64(162, 8));
    s.dateTimeUtc = std::int64_t(u64(170, 8));

    const std::size_t frameBytes = s.frameBytes();
    if (s.frameCount < 0 || (bytes.size() - kHeader) / (frameBytes == 0 ? 1 : frameBytes) < std::size_t(s.frameCount))
        throw std::runtime_error(path + " holds fewer frames than its header counts");
    std::size_t at = kHeader;
    for (std::int32_t i = 0; i < s.frameCount; ++i, at += frameBytes)
        s.frames.emplace_back(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + frameBytes));
    s.tail.assign(bytes.begin() + std::ptrdiff_t(at), bytes.end());
    return s;
}
