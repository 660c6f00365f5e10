// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace orbicrop::fileio {

using ByteSpan = std::span<const std::uint8_t>;

// A file created for writing and owned through its descriptor.
//
// Data is appended at size() with gathered writes straight from the caller's
// buffers, so a frame costs one system call and no copy. Every failure throws
// std::system_error whose code().value() is the errno value. A failed append
// leaves nothing behind: the file is cut back to the size before the call.
// Larger all-or-nothing steps mark size() and call rollbackTo() themselves.
// Appended data is handed to the disk to write every few MiB, unwaited, so
// that making the file durable at the end waits for little.
//
// Not thread-safe; one owner at a time (move-only).
class OutputFile {
public:
    // Creates path for writing, replacing an existing file of that name.
    static OutputFile create(const std::string& path);

    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();   // closes; errors are ignored here, call close() to see them

    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    // Bytes of the file that hold completed appends.
    std::uint64_t size() const { return m_size; }

    // Appends the pieces in order, all of them or (after a throw) none.
    void append(std::initializer_list<ByteSpan> pieces);

    // Overwrites bytes that already exist; never extends the file.
    void writeAt(std::uint64_t offset, ByteSpan bytes);

    // Discards everything past size. Never throws: should the operating
    // system refuse, the next append overwrites the excess and close()
    // retries the cut.
    void rollbackTo(std::uint64_t size) noexcept;

    // Closes the descriptor, reporting a failure of the final cut or close.
    void close();

    // Closes the descriptor and deletes the file; for a file that never
    // became valid.
    void discard() noexcept;

private:
    OutputFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    void reset() noexcept;
    void writeBehind() noexcept;

    int m_fd = -1;
    std::string m_path;
    std::uint64_t m_size = 0;
    std::uint64_t m_writtenBehind = 0;   // bytes before this were handed to the disk to write
    bool m_excessPending = false;        // a cut back to m_size has not succeeded yet
};

}   // namespace orbicrop::fileio
