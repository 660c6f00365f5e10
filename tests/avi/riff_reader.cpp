// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/avi/riff_reader.h"

#include <fstream>
#include <stdexcept>

namespace avitest {

std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint16_t(b.at(at) | b.at(at + 1) << 8);
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t(le16(b, at)) | std::uint32_t(le16(b, at + 2)) << 16;
}

std::uint64_t le64(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint64_t(le32(b, at)) | std::uint64_t(le32(b, at + 4)) << 32;
}

std::string fourcc(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

const Chunk* Chunk::find(const std::string& wanted, const std::string& type) const
{
    for (const Chunk& c : children)
        if (c.id == wanted && (type.empty() || c.listType == type))
            return &c;
    return nullptr;
}

RiffFile::RiffFile(const std::string& path) : m_path(path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    m_fileSize = std::uint64_t(in.tellg());
    std::uint64_t pos = 0;
    while (pos + 12 <= m_fileSize) {
        const auto head = read(pos, 12);
        Chunk riff(fourcc(head, 0), pos, le32(head, 4));
        riff.listType = fourcc(head, 8);
        if (riff.id != "RIFF") {
            m_problems.push_back("no RIFF at " + std::to_string(pos));
            return;
        }
        const std::uint64_t end = pos + 8 + riff.size;
        if (end > m_fileSize)
            m_problems.push_back("RIFF at " + std::to_string(pos) + " overruns the file");
        parseList(riff, std::min(end, m_fileSize));
        m_riffs.push_back(std::move(riff));
        pos = end;
    }
    if (pos != m_fileSize)
        m_problems.push_back(std::to_string(m_fileSize - pos) + " bytes after the last RIFF");
}

void RiffFile::parseList(Chunk& list, std::uint64_t end)
{
    const bool movi = list.listType == "movi";
    std::uint64_t pos = list.offset + 12;
    while (pos + 8 <= end) {
        const auto head = read(pos, 12 <= end - pos ? 12 : 8);
        Chunk c(fourcc(head, 0), pos, le32(head, 4));
        const std::uint64_t next = pos + 8 + c.size + (c.size & 1);
        if (next > end)
            m_problems.push_back(c.id + " at " + std::to_string(pos) + " overruns its parent");
        if (movi && c.id == "00db") {
            if (list.frameChunks == 0) {
                list.firstFrameOffset = pos;
                list.frameSize = c.size;
            } else if (c.size != list.frameSize) {
                m_problems.push_back("frame chunk of another size at " + std::to_string(pos));
            }
            ++list.frameChunks;
        } else {
            if (c.id == "LIST" || c.id == "RIFF") {
                c.listType = fourcc(head, 8);
                parseList(c, std::min(next, end));
            }
            list.children.push_back(std::move(c));
        }
        pos = next;
    }
    if (pos != end)
        m_problems.push_back(list.id + " " + list.listType + " at " + std::to_string(list.offset)
                             + " is not tiled by its chunks");
}

std::vector<std::uint8_t> RiffFile::read(std::uint64_t offset, std::size_t count) const
{
    std::ifstream in(m_path, std::ios::binary);
    in.seekg(std::streamoff(offset));
    std::vector<std::uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
    if (std::size_t(in.gcount()) != count)
        throw std::runtime_error("short read at " + std::to_string(offset));
    return bytes;
}

const Chunk* RiffFile::hdrl() const
{
    return m_riffs.empty() ? nullptr : m_riffs[0].find("LIST", "hdrl");
}

const Chunk* RiffFile::strl() const
{
    const Chunk* h = hdrl();
    return h ? h->find("LIST", "strl") : nullptr;
}

const Chunk* RiffFile::movi(std::size_t riff) const
{
    return riff < m_riffs.size() ? m_riffs[riff].find("LIST", "movi") : nullptr;
}

std::vector<IndexEntry> RiffFile::idx1() const
{
    std::vector<IndexEntry> entries;
    const Chunk* c = m_riffs.empty() ? nullptr : m_riffs[0].find("idx1");
    if (c == nullptr)
        return entries;
    const auto b = data(*c);
    for (std::size_t at = 0; at + 16 <= b.size(); at += 16) {
        if (fourcc(b, at) != "00db")
            throw std::runtime_error("idx1 entry for " + fourcc(b, at));
        entries.push_back({le32(b, at + 8), le32(b, at + 12), le32(b, at + 4)});
    }
    return entries;
}

std::vector<IndexEntry> RiffFile::stdIndex(const Chunk& ix, std::uint64_t* baseOffset) const
{
    const auto b = data(ix);
    if (le16(b, 0) != 2 || b.at(2) != 0 || b.at(3) != 1 || fourcc(b, 8) != "00db")
        throw std::runtime_error("not a standard index of 00db chunks");
    *baseOffset = le64(b, 12);
    std::vector<IndexEntry> entries;
    const std::uint32_t count = le32(b, 4);
    for (std::uint32_t i = 0; i < count; ++i)
        entries.push_back({le32(b, 24 + 8 * i), le32(b, 28 + 8 * i), 0});
    return entries;
}

}   // namespace avitest
