#pragma once

#include <cstdint>
#include <span>
#include <string>

// A file opened for reading, owned: closed by the destructor. Movable, not
// copyable. Reads are positional, so one handle may serve two threads.
class SerFile {
public:
    // An unopened handle when path cannot be opened; see isOpen().
    explicit SerFile(const std::string& path);
    ~SerFile();
    SerFile(SerFile&& other) noexcept;
    SerFile& operator=(SerFile&& other) noexcept;
    SerFile(const SerFile&) = delete;
    SerFile& operator=(const SerFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Size in bytes at the moment of asking; 0 when unknown.
    std::uint64_t size() const;
    // Fills out from offset on. Returns how many bytes it read: fewer than
    // out.size() only at the end of the file or on a read error.
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Tells the kernel that the file will be read from start to end.
    void adviseSequential() const;

private:
    int m_fd = -1;
};
