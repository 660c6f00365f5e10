// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_file.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

SerFile::SerFile(const std::string& path)
{
    try {
        m_file = orbicrop::fileio::InputFile::open(path);
    } catch (const std::system_error&) {
    }
}

std::uint64_t SerFile::size() const
{
    try {
        return m_file.isOpen() ? m_file.size() : 0;
    } catch (const std::system_error&) {
        return 0;
    }
}

std::size_t SerFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    // A read error reads as nothing: every caller needs all it asked for.
    try {
        return m_file.isOpen() ? m_file.readAt(offset, out) : 0;
    } catch (const std::system_error&) {
        return 0;
    }
}

SerFileMap::SerFileMap(const SerFile& file, std::uint64_t size)
{
    if (!file.isOpen() || size == 0 || size > SIZE_MAX)
        return;
    void* data = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_PRIVATE, file.descriptor(), 0);
    if (data == MAP_FAILED)
        return;
    // Frames are read once, front to back: let the kernel read well ahead.
    ::madvise(data, std::size_t(size), MADV_SEQUENTIAL);
    m_data = data;
    m_size = std::size_t(size);
}

SerFileMap::~SerFileMap()
{
    if (m_data)
        ::munmap(m_data, m_size);
}

SerFileMap::SerFileMap(SerFileMap&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{}

SerFileMap& SerFileMap::operator=(SerFileMap&& other) noexcept
{
    if (this != &other) {
        if (m_data)
            ::munmap(m_data, m_size);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void SerFileMap::release(std::uint64_t begin, std::uint64_t end) const
{
    const auto page = std::uint64_t(::sysconf(_SC_PAGESIZE));
    const std::uint64_t from = std::min<std::uint64_t>(begin, m_size) / page * page;
    const std::uint64_t to = std::min<std::uint64_t>(end, m_size) / page * page;
    if (m_data && from < to)
        ::madvise(static_cast<std::uint8_t*>(m_data) + from, std::size_t(to - from), MADV_DONTNEED);
}

bool SerFileMap::populate(std::uint64_t offset, std::uint64_t size) const
{
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t begin = std::size_t(std::min<std::uint64_t>(offset, m_size)) / page * page;
    const std::size_t end = std::size_t(std::min<std::uint64_t>(offset + size, m_size));
    if (!m_data || begin >= end)
        return false;
#ifdef MADV_POPULATE_READ
    if (::madvise(static_cast<std::uint8_t*>(m_data) + begin, end - begin, MADV_POPULATE_READ) == 0)
        return true;
    // A kernel before 5.14 does not know the advice: the pages fault in as
    // they are touched. Any other failure is a page the file no longer has.
    return errno == EINVAL;
#else
    return true;
#endif
}
