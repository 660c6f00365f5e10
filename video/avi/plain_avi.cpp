// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi/plain_avi.h"

#include "video/avi/frame_chunks.h"
#include "avi/riff_ids.h"
#include "fileio/little_endian.h"

#include <algorithm>
#include <climits>
#include <new>
#include <numeric>
#include <span>
#include <system_error>

using orbicrop::fileio::InputFile;

namespace {

using orbicrop::fileio::ReadLe16;
using orbicrop::fileio::ReadLe32;
namespace riff = orbicrop::riff;

// A chunk: its four-character code, and where its data lie.
struct Chunk {
    std::uint32_t id = 0;
    std::uint64_t data = 0;   // offset of the first byte after the size
    std::uint32_t size = 0;
    std::uint64_t end() const { return data + size + (size & 1); }
};

// Reads of the file that fail instead of throwing; chunks only where they
// lie whole within the span that holds them.
class Walker {
public:
    explicit Walker(const InputFile& file) : m_file(file) {}

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const
    {
        try {
            return m_file.readAt(offset, out) == out.size();
        } catch (const std::system_error&) {
            return false;
        }
    }

    std::optional<Chunk> chunkAt(std::uint64_t offset, std::uint64_t end) const
    {
        std::uint8_t header[8];
        if (offset + 8 > end || !read(offset, header))
            return std::nullopt;
        const Chunk chunk{ReadLe32(header), offset + 8, ReadLe32(header + 4)};
        // FFmpeg's header parser does not skip the pad byte after an odd
        // chunk: such a file is read differently by the two, so it is left.
        if (chunk.data + chunk.size > end || chunk.size % 2 != 0)
            return std::nullopt;
        return chunk;
    }

    // The list type of a LIST chunk.
    std::optional<std::uint32_t> listType(const Chunk& list) const
    {
        std::uint8_t type[4];
        if (list.id != riff::kList || list.size < 4 || !read(list.data, type))
            return std::nullopt;
        return ReadLe32(type);
    }

private:
    const InputFile& m_file;
};

// What the header list tells of the one stream.
struct StreamHeader {
    bool seen = false;         // the strh came
    bool formatSeen = false;   // the strf came, after it
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t length = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool gray = false;
};

bool ReadStreamHeader(const Walker& walker, const Chunk& chunk, StreamHeader& stream)
{
    // fccType, fccHandler, flags, priority and language, initial frames,
    // scale, rate, start, length, buffer size, quality, sample size.
    std::uint8_t h[48];
    if (stream.seen || chunk.size < sizeof h || !walker.read(chunk.data, h) || ReadLe32(h) != riff::kVideoStream)
        return false;
    stream.seen = true;
    stream.scale = ReadLe32(h + 20);
    stream.rate = ReadLe32(h + 24);
    stream.length = ReadLe32(h + 32);
    const std::uint32_t start = ReadLe32(h + 28);
    return stream.scale > 0 && stream.rate > 0 && stream.scale <= INT_MAX && stream.rate <= INT_MAX && start == 0
        && stream.length > 0;
}

bool ReadStreamFormat(const Walker& walker, const Chunk& chunk, StreamHeader& stream)
{
    // A BITMAPINFOHEADER, then nothing (no codec data), or for grey frames
    // the grey palette our writer adds, which FFmpeg does not apply to them.
    std::uint8_t b[40];
    if (!stream.seen || stream.formatSeen || chunk.size < sizeof b || !walker.read(chunk.data, b) || ReadLe32(b) != 40)
        return false;
    stream.formatSeen = true;
    stream.width = std::int32_t(ReadLe32(b + 4));
    stream.height = std::int32_t(ReadLe32(b + 8));
    const std::uint16_t bits = ReadLe16(b + 14);
    const std::uint32_t compression = ReadLe32(b + 16);
    // Positive heights only: an uncompressed 24-bit frame stored bottom-up
    // is the sink's own layout, and FFmpeg flips nothing else here.
    if (stream.width <= 0 || stream.height <= 0 || stream.width % 4 != 0)
        return false;
    // Within the picture sizes FFmpeg's decoders accept (each side first,
    // so that the product cannot overflow).
    if (stream.width >= INT_MAX / 8 || stream.height >= INT_MAX / 8
        || (8 * std::int64_t(stream.width) + 1024) * (std::int64_t(stream.height) + 128) >= INT_MAX)
        return false;
    stream.gray = bits == 8 && compression == riff::kGrayCodec;
    if (chunk.size != sizeof b && !(stream.gray && chunk.size == sizeof b + 256 * 4))
        return false;
    return stream.gray || (bits == 24 && compression == 0);
}

bool ReadStreamList(const Walker& walker, const Chunk& list, StreamHeader& stream)
{
    for (std::uint64_t at = list.data + 4; at < list.data + list.size;) {
        const std::optional<Chunk> chunk = walker.chunkAt(at, list.data + list.size);
        if (!chunk)
            return false;
        if (chunk->id == riff::kStreamHeader) {
            if (!ReadStreamHeader(walker, *chunk, stream))
                return false;
        } else if (chunk->id == riff::kStreamFormat) {
            if (!ReadStreamFormat(walker, *chunk, stream))
                return false;
        } else if (chunk->id != riff::kStreamName && chunk->id != riff::kJunk) {
            return false;   // an OpenDML index ('indx') among them: left to FFmpeg
        }
        at = chunk->end();
    }
    return stream.formatSeen;
}

bool ReadHeaderList(const Walker& walker, const Chunk& list, StreamHeader& stream)
{
    bool mainHeader = false;
    for (std::uint64_t at = list.data + 4; at < list.data + list.size;) {
        const std::optional<Chunk> chunk = walker.chunkAt(at, list.data + list.size);
        if (!chunk)
            return false;
        const std::optional<std::uint32_t> type = walker.listType(*chunk);
        if (chunk->id == riff::kMainHeader && !mainHeader && !stream.seen) {
            mainHeader = true;
        } else if (type == riff::kStreamList && mainHeader && !stream.seen) {
            if (!ReadStreamList(walker, *chunk, stream))
                return false;
        } else if (type == riff::kOdmlList) {
            // The extended header ('dmlh') tells only the total frame count.
            for (std::uint64_t in = chunk->data + 4; in < chunk->data + chunk->size;) {
                const std::optional<Chunk> inner = walker.chunkAt(in, chunk->data + chunk->size);
                if (!inner || (inner->id != riff::kOdmlHeader && inner->id != riff::kJunk))
                    return false;
                in = inner->end();
            }
        } else if (chunk->id != riff::kJunk) {
            return false;
        }
        at = chunk->end();
    }
    return stream.formatSeen;
}

// Where idx1's frames lie: their chunk headers, in the index's order, each a
// whole frame of frameBytes within the movie list's data [begin, end),
// positions increasing. The first entry's offset is taken to be the movie
// list's first chunk, as FFmpeg takes it. nullopt for anything else.
struct Span {
    std::uint64_t begin;
    std::uint64_t end;
};
std::optional<std::vector<std::int64_t>> IndexedChunks(const Walker& walker, const Chunk& index, Span movie,
                                                       std::uint32_t frameBytes, std::uint32_t frames)
{
    std::vector<std::int64_t> chunks;
    try {
        chunks.reserve(frames);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::int64_t firstOffset = 0;
    std::vector<std::uint8_t> block(16 * 4096);
    for (std::uint32_t k = 0; k < frames; ++k) {
        const std::uint32_t inBlock = k % 4096;
        if (inBlock == 0) {
            const std::size_t bytes = std::min<std::size_t>(block.size(), 16 * std::size_t(frames - k));
            if (!walker.read(index.data + 16 * std::uint64_t(k), std::span(block).first(bytes)))
                return std::nullopt;
        }
        const std::uint8_t* entry = block.data() + 16 * inBlock;
        if (k == 0)
            firstOffset = ReadLe32(entry + 8);
        const std::uint32_t id = ReadLe32(entry);
        const std::int64_t position = std::int64_t(movie.begin) + (std::int64_t(ReadLe32(entry + 8)) - firstOffset);
        if ((id != riff::kFrame && id != riff::kCompressedFrame) || ReadLe32(entry + 12) != frameBytes
            || (!chunks.empty() && position <= chunks.back()) || std::uint64_t(position) + 8 + frameBytes > movie.end)
            return std::nullopt;
        chunks.push_back(position);
    }
    return chunks;
}

}   // namespace

std::optional<PlainAvi> ReadPlainAvi(const InputFile& file)
{
    const Walker walker(file);
    const std::uint64_t fileSize = file.size();
    std::uint8_t riff[12];
    if (fileSize < sizeof riff || !walker.read(0, riff) || ReadLe32(riff) != riff::kRiff
        || ReadLe32(riff + 8) != riff::kAvi)
        return std::nullopt;
    // The RIFF chunk is the whole file (an odd one ends in a pad byte): no
    // OpenDML extension after it, and not cut short.
    const std::uint64_t riffEnd = 8 + std::uint64_t(ReadLe32(riff + 4));
    if (riffEnd > fileSize || fileSize - riffEnd > 1)
        return std::nullopt;

    StreamHeader stream;
    std::optional<Chunk> movi;
    for (std::uint64_t at = sizeof riff; !movi;) {
        const std::optional<Chunk> chunk = walker.chunkAt(at, riffEnd);
        if (!chunk)
            return std::nullopt;
        const std::optional<std::uint32_t> type = walker.listType(*chunk);
        if (type == riff::kHeaderList && !stream.seen) {
            if (!ReadHeaderList(walker, *chunk, stream))
                return std::nullopt;
        } else if (type == riff::kMovieList && stream.formatSeen) {
            movi = chunk;
        } else if (type != riff::kInfoList && chunk->id != riff::kJunk) {
            return std::nullopt;
        }
        at = chunk->end();
    }

    PlainAvi avi;
    avi.width = std::uint32_t(stream.width);
    avi.height = std::uint32_t(stream.height);
    avi.gray = stream.gray;
    const std::int64_t common = std::gcd(std::int64_t(stream.scale), std::int64_t(stream.rate));
    avi.scale = stream.scale / common;
    avi.rate = stream.rate / common;
    const std::uint32_t frameBytes = avi.width * avi.height * (avi.gray ? 1 : 3);

    // The first frame opens the movie list: FFmpeg takes the index's
    // offsets as counted from wherever its first entry then lands.
    const std::uint64_t moviData = movi->data + 4;
    const std::uint64_t moviEnd = movi->data + movi->size;
    const auto isFrame = [&](const std::optional<Chunk>& chunk) {
        return chunk && chunk->size == frameBytes && (chunk->id == riff::kFrame || chunk->id == riff::kCompressedFrame);
    };
    if (!isFrame(walker.chunkAt(moviData, moviEnd)))
        return std::nullopt;

    // The index follows the movie list and closes the file.
    const std::optional<Chunk> index = walker.chunkAt(movi->end(), riffEnd);
    if (!index || index->id != riff::kIndex || index->size % 16 != 0 || index->end() != riffEnd
        || index->size / 16 != stream.length)
        return std::nullopt;
    // Every frame a whole chunk of the movie list: that bounds the index
    // before any memory is spent on it.
    if (std::uint64_t(stream.length) * (8 + std::uint64_t(frameBytes)) > movi->size)
        return std::nullopt;
    std::optional<std::vector<std::int64_t>> chunks =
        IndexedChunks(walker, *index, {moviData, moviEnd}, frameBytes, stream.length);
    if (!chunks)
        return std::nullopt;
    avi.chunks = std::move(*chunks);
    if (!FramesAreExactlyIndexed(file, 0, 1, frameBytes, avi.chunks))
        return std::nullopt;
    return avi;
}
