// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi/frame_chunks.h"

#include "avi/riff_ids.h"
#include "fileio/little_endian.h"

#include <algorithm>
#include <optional>
#include <system_error>

using orbicrop::fileio::InputFile;

namespace {

using orbicrop::fileio::ReadLe32;
namespace riff = orbicrop::riff;

struct Header {
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint32_t type = 0;   // a LIST's or RIFF's form type
    std::uint64_t data = 0;
    std::uint64_t end() const { return data + size; }   // sizes are even: odd ones are refused
};

// A stream chunk's number: its id's first two characters as digits.
std::optional<int> StreamNumber(std::uint32_t id)
{
    const auto tens = char(id & 0xFF);
    const auto ones = char(id >> 8 & 0xFF);
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
        return std::nullopt;
    return (tens - '0') * 10 + (ones - '0');
}

std::uint16_t Kind(std::uint32_t id)
{
    return std::uint16_t(id >> 16);
}
constexpr std::uint16_t KindOf(const char (&two)[3])
{
    return std::uint16_t(std::uint8_t(two[0]) | std::uint8_t(two[1]) << 8);
}

class Walk {
public:
    Walk(const InputFile& file, int stream, int streams, std::uint32_t frameBytes,
         std::span<const std::int64_t> positions)
        : m_file(file), m_stream(stream), m_streams(streams), m_frameBytes(frameBytes), m_positions(positions)
    {}

    bool run()
    {
        // One header read per frame, scattered over the file: asked for all
        // at once, a cold disk serves them many at a time.
        for (const std::int64_t position : m_positions)
            m_file.willRead(std::uint64_t(position), 8);
        const std::uint64_t fileSize = m_file.size();
        std::uint64_t at = 0;
        bool first = true;
        while (at < fileSize) {
            const std::optional<Header> riff = headerAt(at, fileSize);
            if (!riff || riff->id != riff::kRiff || riff->type != (first ? riff::kAvi : riff::kAvix)
                || !riffBody(riff->data + 4, riff->data + riff->size))
                return false;
            at = riff->end();
            first = false;
        }
        return !first && at == fileSize && m_next == m_positions.size();
    }

private:
    // The chunk whose header starts at `at`, when it lies whole before end;
    // type holds the four bytes after the header (a list's form type).
    std::optional<Header> headerAt(std::uint64_t at, std::uint64_t end) const
    {
        std::uint8_t bytes[12] = {};
        if (at + 8 > end)
            return std::nullopt;
        try {
            const std::size_t wanted = std::size_t(std::min<std::uint64_t>(sizeof bytes, end - at));
            if (m_file.readAt(at, {bytes, wanted}) != wanted)
                return std::nullopt;
        } catch (const std::system_error&) {
            return std::nullopt;
        }
        const Header header{ReadLe32(bytes), ReadLe32(bytes + 4), ReadLe32(bytes + 8), at + 8};
        // Not every part of FFmpeg's demuxer skips the pad byte after an odd
        // chunk; files that hold one are left to it.
        if (header.data + header.size > end || header.size % 2 != 0)
            return std::nullopt;
        return header;
    }

    // A RIFF's chunks: before the first movie list, whatever FFmpeg's
    // header parser takes; from it on, only what its packet reader skips.
    bool riffBody(std::uint64_t at, std::uint64_t end)
    {
        while (at < end) {
            const std::optional<Header> chunk = headerAt(at, end);
            if (!chunk)
                return false;
            const bool list = chunk->id == riff::kList && chunk->size >= 4;
            if (list && chunk->type == riff::kMovieList) {
                if (!movieList(chunk->data + 4, chunk->data + chunk->size))
                    return false;
                m_inMovies = true;
            } else if (m_inMovies && chunk->id != riff::kIndex && chunk->id != riff::kJunk) {
                return false;
            }
            at = chunk->end();
        }
        return at == end;
    }

    bool movieList(std::uint64_t at, std::uint64_t end)
    {
        while (at < end) {
            const std::optional<Header> chunk = headerAt(at, end);
            if (!chunk)
                return false;
            const std::optional<int> number = StreamNumber(chunk->id);
            if (m_next < m_positions.size() && at == std::uint64_t(m_positions[m_next])) {
                if (number != m_stream || (Kind(chunk->id) != KindOf("db") && Kind(chunk->id) != KindOf("dc"))
                    || chunk->size != m_frameBytes)
                    return false;
                ++m_next;
            } else if (chunk->id == riff::kJunk || (chunk->id & 0xFFFF) == KindOf("ix")) {
                // Skipped by the demuxer: padding, and OpenDML's indexes of any stream.
            } else if (!number || *number == m_stream || *number >= m_streams) {
                // An unlisted chunk of this stream, a 'rec ' list, or what the
                // demuxer would search through byte by byte.
                return false;
            }
            at = chunk->end();
        }
        return at == end;
    }

    const InputFile& m_file;
    int m_stream;
    int m_streams;
    std::uint32_t m_frameBytes;
    std::span<const std::int64_t> m_positions;
    std::size_t m_next = 0;    // the next listed chunk to meet
    bool m_inMovies = false;   // a movie list has been walked
};

}   // namespace

bool FramesAreExactlyIndexed(const InputFile& file, int stream, int streams, std::uint32_t frameBytes,
                             std::span<const std::int64_t> positions)
{
    return Walk(file, stream, streams, frameBytes, positions).run();
}
