// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// An independent reader of the AVI files under test: it walks the RIFF tree
// reading only chunk headers and the small records, so it also serves for
// files of several GiB. It shares no code with the writer on purpose.
namespace avitest {

struct Chunk {
    Chunk() = default;
    Chunk(std::string chunkId, std::uint64_t at, std::uint32_t sizeField)
        : id(std::move(chunkId)), offset(at), size(sizeField)
    {}

    std::string id;                       // four characters
    std::string listType;                 // for RIFF and LIST: the type; empty otherwise
    std::uint64_t offset = 0;             // of the chunk header
    std::uint32_t size = 0;               // size field
    std::vector<Chunk> children;          // lists only; movi lists keep only non-frame chunks
    std::uint32_t frameChunks = 0;        // '00db' children of a movi list
    std::uint64_t firstFrameOffset = 0;   // header offset of its first '00db'
    std::uint32_t frameSize = 0;          // size of every '00db' (checked equal)

    std::uint64_t dataOffset() const { return offset + (listType.empty() ? 8 : 12); }
    const Chunk* find(const std::string& id, const std::string& type = {}) const;
};

struct IndexEntry {
    std::uint64_t offset;   // as stored (relative)
    std::uint32_t size;
    std::uint32_t flags;   // idx1 only
};

class RiffFile {
public:
    // Reads the structure; problems (chunks that overrun their parent, bytes
    // after the last RIFF, frame chunks of differing sizes) are collected in
    // problems() rather than thrown, so a test can show all of them.
    explicit RiffFile(const std::string& path);

    const std::vector<Chunk>& riffs() const { return m_riffs; }
    const std::vector<std::string>& problems() const { return m_problems; }
    std::uint64_t fileSize() const { return m_fileSize; }

    std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t count) const;
    std::vector<std::uint8_t> data(const Chunk& chunk) const { return read(chunk.dataOffset(), chunk.size); }

    // The stream's records in the first RIFF; nullptr when absent.
    const Chunk* hdrl() const;
    const Chunk* strl() const;
    const Chunk* movi(std::size_t riff) const;

    std::vector<IndexEntry> idx1() const;
    std::vector<IndexEntry> stdIndex(const Chunk& ix, std::uint64_t* baseOffset) const;

private:
    void parseList(Chunk& list, std::uint64_t end);

    std::string m_path;
    std::uint64_t m_fileSize = 0;
    std::vector<Chunk> m_riffs;
    std::vector<std::string> m_problems;
};

std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint64_t le64(const std::vector<std::uint8_t>& b, std::size_t at);
std::string fourcc(const std::vector<std::uint8_t>& b, std::size_t at);

}   // namespace avitest
