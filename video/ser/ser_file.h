// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/input_file.h"

#include <cstdint>
#include <span>
#include <string>

// A file opened for reading, owned: closed by the destructor. Movable, not
// copyable. Failures are answers here, not exceptions: a capture that cannot
// be read is one that does not load.
class SerFile {
public:
    // An unopened handle when path cannot be opened; see isOpen().
    explicit SerFile(const std::string& path);

    bool isOpen() const { return m_file.isOpen(); }
    int descriptor() const { return m_file.descriptor(); }
    // Size in bytes at the moment of asking; 0 when unknown or not a
    // regular file.
    std::uint64_t size() const;
    // Fills out from offset on. Returns how many bytes it read: fewer than
    // out.size() only at the end of the file or on a read error.
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

private:
    orbicrop::fileio::InputFile m_file;
};

// The first size bytes of a file mapped read-only, owned: unmapped by the
// destructor. Movable, not copyable. Empty when the file cannot be mapped.
//
// Touching a page beyond the end of a file that has shrunk since raises
// SIGBUS, so a reader checks the file's size before it touches a range it
// has not touched before.
class SerFileMap {
public:
    SerFileMap() = default;
    SerFileMap(const SerFile& file, std::uint64_t size);
    ~SerFileMap();
    SerFileMap(SerFileMap&& other) noexcept;
    SerFileMap& operator=(SerFileMap&& other) noexcept;
    SerFileMap(const SerFileMap&) = delete;
    SerFileMap& operator=(const SerFileMap&) = delete;

    bool empty() const { return m_data == nullptr; }
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(m_data); }

    // Gives back the pages from the one holding begin up to the one holding
    // end (that one stays): releasing the ranges of frames one after another
    // gives back each page once, whatever order they come in. A long capture
    // read once from start to end would otherwise count in the program's
    // memory in full. The bytes stay readable (the kernel reads them again
    // if asked). Several threads may release at once.
    void release(std::uint64_t begin, std::uint64_t end) const;

    // Maps in the pages of size bytes at offset in one call, so that reading
    // them takes no page faults: a frame costs one call, not hundreds of
    // faults. False when a page is no longer in the file (it shrank).
    bool populate(std::uint64_t offset, std::uint64_t size) const;

private:
    void* m_data = nullptr;
    std::size_t m_size = 0;
};
