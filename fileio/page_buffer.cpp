// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/page_buffer.h"

#include <sys/mman.h>

#include <new>
#include <utility>

namespace orbicrop::fileio {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

}   // namespace

PageBuffer::PageBuffer(std::size_t size)
{
    if (size == 0)
        return;
    if (size < kHugePage / 2) {
        // A huge page would mostly hold nothing.
        void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<std::uint8_t*>(data);
        m_size = size;
        m_mapped = size;
        return;
    }
    // Whole huge pages, on a huge page boundary: a mapping that starts or
    // ends inside one gets small pages there. Mapped with room to spare,
    // then trimmed to the boundary.
    const std::size_t mapped = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* raw = ::mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const std::size_t tail = kHugePage - (aligned - start))
        ::munmap(reinterpret_cast<void*>(aligned + mapped), tail);
    void* data = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Advice only: without transparent huge pages the buffer works as well.
    ::madvise(data, mapped, MADV_HUGEPAGE);
#endif
    m_data = static_cast<std::uint8_t*>(data);
    m_size = size;
    m_mapped = mapped;
}

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, 0))
{}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

PageBuffer::~PageBuffer()
{
    release();
}

void PageBuffer::release() noexcept
{
    if (m_data != nullptr)
        ::munmap(m_data, m_mapped);
    m_data = nullptr;
    m_size = 0;
    m_mapped = 0;
}

}   // namespace orbicrop::fileio
