// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orbicrop::fileio {

// A frame-sized block of memory straight from the kernel, in 2 MiB pages
// where the system grants them (blocks of 1 MiB and more). Buffers that hold whole frames are touched
// end to end; in 4 KiB pages a 1080p frame costs hundreds of page faults the
// first time round, and value-initialised vectors zero it once more on top.
// The contents start out as zeros (the kernel's), never as anything else.
// Move-only; throws std::bad_alloc when the memory cannot be had.
class PageBuffer {
public:
    PageBuffer() = default;
    explicit PageBuffer(std::size_t size);
    PageBuffer(PageBuffer&& other) noexcept;
    PageBuffer& operator=(PageBuffer&& other) noexcept;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    ~PageBuffer();

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::span<std::uint8_t> span() const { return {m_data, m_size}; }

private:
    void release() noexcept;

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0;
};

}   // namespace orbicrop::fileio
