// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/output_file.h"
#include "ser/ser_format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orbicrop::ser {

// Raised by SerWriter; what() is the message shown to the user.
class SerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes frames one after the other into a SER file.
//
// Life cycle: idle -> open -> addFrame ... -> close -> idle; one writer
// serves any number of files. Calls out of that order and frames of the
// wrong size throw SerError and write nothing.
//
// A refused write (disk full, file size limit) throws SerError naming the
// failure and leaves the file holding every frame added before it; close()
// then makes the header count those frames. Between closes the header's
// count is brought up to date every few frames (see ser_writer.cpp), so that
// even a file whose writer never closes it shows most of its frames.
//
// Single-threaded: all calls from one thread, or serialised by the caller.
// The process should ignore SIGXFSZ if it may run under a file size limit,
// so that the limit shows up as an error instead of ending the process.
class SerWriter {
public:
    SerWriter() = default;
    // Closes an open file as close() would; never throws.
    ~SerWriter();
    SerWriter(const SerWriter&) = delete;
    SerWriter& operator=(const SerWriter&) = delete;

    // Creates path (replacing an existing file) and writes the header of a
    // file with no frames. A format SerFormatProblem() refuses throws before
    // anything is created; a header that cannot be written leaves no file.
    void open(const std::string& path, const SerFormat& format);

    // Appends one frame: exactly format().frameBytes() bytes, rows top-down,
    // samples of a pixel interleaved, two-byte samples little-endian. The
    // bytes are stored as given and stay the caller's. utcTicks is the
    // frame's time (see SerFormat); the time stamps are written at
    // close() only if every frame of the file has one.
    void addFrame(std::span<const std::uint8_t> frame, std::optional<std::int64_t> utcTicks = std::nullopt);

    // Writes the time stamps (if every frame has one), the final frame count
    // and closes the file. Time stamps that do not fit (disk full) are left
    // out whole and the file still closes valid; that failure is reported
    // by throwing SerError afterwards. The writer is idle after close() even
    // when it throws. Does nothing when no file is open.
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    // Valid while a file is open.
    const SerFormat& format() const { return m_format; }
    // Frames in the open file; after close(), in the file just closed.
    std::int32_t framesWritten() const { return m_frames; }

private:
    void updateCountNowAndThen();

    fileio::OutputFile m_file;
    SerFormat m_format;
    std::uint64_t m_frameBytes = 0;
    std::int32_t m_frames = 0;
    bool m_allStamped = true;
    std::vector<std::uint8_t> m_trailer;   // the time stamps as they will be stored
    std::int32_t m_framesAtCountUpdate = 0;
    std::uint64_t m_sizeAtCountUpdate = 0;
};

}   // namespace orbicrop::ser
