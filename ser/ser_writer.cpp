// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_writer.h"

#include "fileio/little_endian.h"

#include <algorithm>
#include <climits>
#include <system_error>
#include <utility>

namespace orbicrop::ser {
namespace {

// How often the header's count follows the frames before close(): one
// 4-byte pwrite per this many frames or bytes, whichever comes first, is
// lost in the cost of the frame writes themselves, and leaves a file that is
// never closed (a crash) showing all but its last frames.
constexpr std::int32_t kCountUpdateFrames = 256;
constexpr std::uint64_t kCountUpdateBytes = 32u << 20;

// Room made for time stamps at a time, so that the vector rarely grows.
constexpr std::size_t kTrailerGrowth = 8 * 1024;

std::string reason(const std::system_error& e)
{
    return e.code().message();
}

}   // namespace

SerWriter::~SerWriter()
{
    try {
        close();
    } catch (...) {
        // A destructor must not throw; the file is as complete as it could be made.
    }
}

void SerWriter::open(const std::string& path, const SerFormat& format)
{
    if (isOpen())
        throw SerError("open called while the SER file " + m_file.path() + " is open; call close first");
    if (const std::string problem = SerFormatProblem(format); !problem.empty())
        throw SerError(problem);

    fileio::OutputFile file;
    try {
        file = fileio::OutputFile::create(path);
    } catch (const std::system_error& e) {
        throw SerError("Failed to create SER file " + path + ": " + reason(e));
    }
    const auto header = SerHeaderBytes(format, 0);
    try {
        file.append({header});
    } catch (const std::system_error& e) {
        // A file without a complete header is of no use to anyone.
        file.discard();
        throw SerError("Failed to write the header of SER file " + path + ": " + reason(e));
    }

    m_file = std::move(file);
    m_format = format;
    m_frameBytes = format.frameBytes();
    m_frames = 0;
    m_allStamped = true;
    m_trailer.clear();
    m_framesAtCountUpdate = 0;
    m_sizeAtCountUpdate = m_file.size();
}

void SerWriter::addFrame(std::span<const std::uint8_t> frame, std::optional<std::int64_t> utcTicks)
{
    if (!isOpen())
        throw SerError("addFrame called while no SER file is open");
    if (frame.size() != m_frameBytes)
        throw SerError("A frame of " + std::to_string(frame.size()) + " bytes cannot go into SER file " + m_file.path()
                       + ", whose frames are " + std::to_string(m_frameBytes) + " bytes");
    if (m_frames == INT32_MAX)
        throw SerError("SER file " + m_file.path() + " is full: its header counts at most " + std::to_string(INT32_MAX)
                       + " frames");

    const bool stamped = m_allStamped && utcTicks.has_value();
    // Room for the stamp first: once the frame is in the file, its stamp
    // must follow without anything left that could fail.
    if (stamped && m_trailer.capacity() - m_trailer.size() < 8)
        m_trailer.reserve(m_trailer.size() + std::max(m_trailer.size(), kTrailerGrowth));

    try {
        m_file.append({frame});
    } catch (const std::system_error& e) {
        throw SerError("Failed to add frame " + std::to_string(m_frames) + " to SER file " + m_file.path() + ": "
                       + reason(e));
    }
    ++m_frames;

    if (stamped) {
        std::uint8_t stamp[8];
        fileio::WriteLe64(stamp, std::uint64_t(*utcTicks));
        m_trailer.insert(m_trailer.end(), stamp, stamp + 8);
    } else if (m_allStamped) {
        m_allStamped = false;
        std::vector<std::uint8_t>().swap(m_trailer);
    }
    updateCountNowAndThen();
}

void SerWriter::updateCountNowAndThen()
{
    if (m_frames - m_framesAtCountUpdate < kCountUpdateFrames
        && m_file.size() - m_sizeAtCountUpdate < kCountUpdateBytes)
        return;
    try {
        m_file.writeAt(kFrameCountOffset, SerFrameCountBytes(m_frames));
    } catch (const std::system_error&) {
        // Only a head start: close() writes the count again and reports.
    }
    m_framesAtCountUpdate = m_frames;
    m_sizeAtCountUpdate = m_file.size();
}

void SerWriter::close()
{
    if (!isOpen())
        return;
    // Idle from here on, whatever happens below.
    fileio::OutputFile file = std::move(m_file);
    const std::vector<std::uint8_t> trailer = std::exchange(m_trailer, {});
    const std::string path = file.path();

    std::string trailerFailure;
    if (m_allStamped && m_frames > 0) {
        try {
            file.append({trailer});
        } catch (const std::system_error& e) {
            // Typically the limit that refused the last frame. The append
            // left nothing behind, and a file without stamps is complete.
            trailerFailure = reason(e);
        }
    }
    try {
        file.writeAt(kFrameCountOffset, SerFrameCountBytes(m_frames));
        file.close();
    } catch (const std::system_error& e) {
        throw SerError("Failed to finish SER file " + path + ": " + reason(e));
    }
    if (!trailerFailure.empty())
        throw SerError("Failed to write the time stamps of SER file " + path + ": " + trailerFailure
                       + "; the file keeps its " + std::to_string(m_frames) + " frames without them");
}

}   // namespace orbicrop::ser
