// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "avi/avi_headers.h"
#include "fileio/output_file.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orbicrop::avi {
using fileio::ByteSpan;
using fileio::OutputFile;

// The container side of one AVI file with a single uncompressed video
// stream: RIFF chunks, the legacy idx1 and, past the RIFF size limit, the
// OpenDML extension ('AVIX' RIFFs, ix00 standard indexes, the super index and
// dmlh). Frames are key frames of one fixed size, stored as '00db' chunks.
//
// Every failure throws std::system_error with an errno value. A failed
// appendFrame() leaves the file as it was before the call, so finish() still
// produces a valid AVI holding every frame appended before the failure.
//
// Allocates only when constructed; appending a frame costs one gathered
// write of the chunk header and the caller's bytes.
class AviVideoFile {
public:
    static constexpr std::uint64_t kDefaultRiffSizeLimit = 0x40000000;   // 1 GiB

    // Takes over a freshly created, empty file and writes the headers of a
    // file with no frames, so that even an unfinished file opens in readers.
    AviVideoFile(OutputFile file, const VideoFormat& format, std::uint64_t riffSizeLimit);
    AviVideoFile(const AviVideoFile&) = delete;
    AviVideoFile& operator=(const AviVideoFile&) = delete;
    ~AviVideoFile() = default;   // an unfinished file stays on disk as written so far

    const VideoFormat& format() const { return m_format; }
    const std::string& path() const { return m_file.path(); }
    std::uint32_t frameCount() const { return m_totalFrames; }

    // Upper bound for the size of one RIFF, index included, before the next
    // frame goes into a new 'AVIX' RIFF. Every RIFF holds at least one frame.
    // Values above the signed 32-bit range are clamped to it, because many
    // readers take RIFF sizes as signed.
    void setRiffSizeLimit(std::uint64_t bytes);

    // The rate the whole stream plays at (see VideoFormat), whenever it is
    // set: the headers take it when the file is finished.
    void setFrameRate(std::uint32_t rate, std::uint32_t scale);

    // Appends one frame of format().frameBytes() bytes, stored as given.
    void appendFrame(const std::uint8_t* frame);

    // Writes the indexes and the final counts and closes the file. If the
    // indexes cannot be appended (disk full, file size limit), the file is
    // finished without them: the headers no longer claim an index, and
    // readers that scan the chunks still find every frame. Throws only when
    // the headers cannot be rewritten or the file cannot be closed.
    // Returns whether every index was written.
    bool finish();

private:
    struct Riff {
        std::uint64_t start = 0;      // position of its 'RIFF' id
        std::uint64_t moviList = 0;   // position of its movi 'LIST' id
        std::uint32_t frames = 0;
        std::uint64_t end = 0;     // end of the RIFF once closed
        bool stdIndexed = false;   // an ix00 ends its movi list
    };

    std::uint64_t firstChunkPos(const Riff& riff) const { return riff.moviList + 12; }
    std::uint64_t riffBytesWith(const Riff& riff, std::uint32_t frames) const;
    void writeFrameChunk(const std::uint8_t* frame);
    void startNextRiff(const std::uint8_t* frame);
    void closeRiff(Riff& riff, bool withOldIndex);
    void appendStdIndex(const Riff& riff);
    void appendOldIndex(const Riff& riff);
    void flushStaging();
    void rewriteHeaders();

    OutputFile m_file;
    VideoFormat m_format;
    std::uint32_t m_chunkBytes = 0;   // header + data of one frame chunk
    std::uint64_t m_riffSizeLimit = kDefaultRiffSizeLimit;
    std::uint32_t m_totalFrames = 0;
    bool m_hasOldIndex = false;
    std::vector<Riff> m_riffs;   // capacity kSuperIndexCapacity
    std::array<SuperIndexEntry, kSuperIndexCapacity> m_superIndex{};
    std::vector<std::uint8_t> m_staging;   // headers and index entries on their way out
    std::size_t m_stagingUsed = 0;
};

}   // namespace orbicrop::avi
