// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orbicrop::fileio {

// A file opened for reading and owned through its descriptor: the reading
// counterpart of OutputFile.
//
// Every failure throws std::system_error whose code().value() is the errno
// value; an interrupted call is retried.
//
// Not thread-safe for read(); readAt() keeps no position and may be called
// from one thread while no other moves or closes the file. Move-only.
class InputFile {
public:
    // Opens path for reading, never waiting: a named pipe without a writer
    // opens at once and reads as empty (an open that waited for one could
    // not be stopped); one with a writer reads to its end.
    static InputFile open(const std::string& path);

    InputFile() = default;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }

    // Size in bytes of a regular file at the moment of asking; 0 for other
    // kinds (pipes, devices), whose size is not known ahead.
    std::uint64_t size() const;

    // Reads from the current position into out; returns how many bytes it
    // read, 0 only at the end of the file.
    std::size_t read(std::span<std::uint8_t> out);

    // Fills out from offset on, leaving the current position alone. Returns
    // how many bytes it read: fewer than out.size() only at the end of the file.
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

    // Tells the system that bytes from offset on will be read soon, so that
    // many scattered small reads reach the disk at once rather than one
    // after the other. Only a hint: it fails silently.
    void willRead(std::uint64_t offset, std::size_t bytes) const;

private:
    explicit InputFile(int fd) : m_fd(fd) {}

    int m_fd = -1;
};

}   // namespace orbicrop::fileio
