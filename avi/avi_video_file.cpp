// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_video_file.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace orbicrop::avi {
namespace {

constexpr std::size_t kStagingBytes = 64 * 1024;
static_assert(kStagingBytes >= kHeaderBytes);

// Many readers take RIFF sizes as signed 32-bit values.
constexpr std::uint64_t kMaxRiffSizeLimit = INT32_MAX;

}   // namespace

AviVideoFile::AviVideoFile(OutputFile file, const VideoFormat& format, std::uint64_t riffSizeLimit)
    : m_file(std::move(file)), m_format(format), m_chunkBytes(std::uint32_t(kChunkHeaderBytes) + format.frameBytes())
{
    // Rows are padded to 4 bytes, so a frame chunk never needs a pad byte.
    assert(format.frameBytes() % 2 == 0);
    setRiffSizeLimit(riffSizeLimit);
    m_riffs.reserve(kSuperIndexCapacity);
    m_riffs.push_back(Riff{0, kFirstMoviListPos, 0, 0, false});
    m_staging.resize(kStagingBytes);

    const std::span<std::uint8_t> header(m_staging.data(), kHeaderBytes);
    writeHeaders(header, m_format, HeaderState{});
    try {
        m_file.append({header});
    } catch (...) {
        // A file without complete headers is of no use to anyone.
        m_file.discard();
        throw;
    }
}

void AviVideoFile::setRiffSizeLimit(std::uint64_t bytes)
{
    m_riffSizeLimit = std::min(bytes, kMaxRiffSizeLimit);
}

void AviVideoFile::setFrameRate(std::uint32_t rate, std::uint32_t scale)
{
    assert(rate > 0 && scale > 0);
    m_format.rate = rate;
    m_format.scale = scale;
}

std::uint64_t AviVideoFile::riffBytesWith(const Riff& riff, std::uint32_t frames) const
{
    std::uint64_t bytes =
        firstChunkPos(riff) - riff.start + std::uint64_t(frames) * m_chunkBytes + stdIndexChunkBytes(frames);
    if (&riff == &m_riffs.front())
        bytes += oldIndexChunkBytes(frames);
    return bytes;
}

void AviVideoFile::appendFrame(const std::uint8_t* frame)
{
    const Riff& current = m_riffs.back();
    if (current.frames > 0 && riffBytesWith(current, current.frames + 1) > m_riffSizeLimit)
        startNextRiff(frame);
    else
        writeFrameChunk(frame);
}

void AviVideoFile::writeFrameChunk(const std::uint8_t* frame)
{
    std::uint8_t header[kChunkHeaderBytes];
    ByteWriter w(header);
    w.u32(riff::kFrame);
    w.u32(m_format.frameBytes());
    m_file.append({ByteSpan(header), ByteSpan(frame, m_format.frameBytes())});
    ++m_riffs.back().frames;
    ++m_totalFrames;
}

void AviVideoFile::startNextRiff(const std::uint8_t* frame)
{
    // The super index cannot grow once the header is written.
    if (m_riffs.size() == kSuperIndexCapacity)
        throw std::system_error(EFBIG, std::generic_category(), "super index full");

    const std::uint64_t mark = m_file.size();
    const std::size_t closing = m_riffs.size() - 1;
    const Riff saved = m_riffs[closing];
    const bool savedOldIndex = m_hasOldIndex;
    try {
        closeRiff(m_riffs[closing], closing == 0);
        Riff next;
        next.start = m_file.size();
        next.moviList = next.start + 12;
        std::uint8_t header[kAvixHeaderBytes];
        // Sizes 0 until finish(): readers then take the list to run to the
        // end of the file, which is the best guess for a file never finished.
        writeAvixHeader(header, 0, 0);
        m_file.append({ByteSpan(header)});
        m_riffs.push_back(next);
        writeFrameChunk(frame);
    } catch (...) {
        m_riffs.resize(closing + 1);
        m_riffs[closing] = saved;
        m_hasOldIndex = savedOldIndex;
        m_stagingUsed = 0;
        m_file.rollbackTo(mark);
        throw;
    }

    // The closed RIFF is final: put its sizes and the super index on disk now,
    // so that a file that is never finished keeps the indexes written so far.
    // finish() writes the same fields again and reports a failure then.
    try {
        if (closing > 0) {
            const Riff& r = m_riffs[closing];
            std::uint8_t header[kAvixHeaderBytes];
            const std::uint64_t moviEnd =
                firstChunkPos(r) + std::uint64_t(r.frames) * m_chunkBytes + stdIndexChunkBytes(r.frames);
            writeAvixHeader(header, std::uint32_t(r.end - r.start - 8), std::uint32_t(moviEnd - r.moviList - 8));
            m_file.writeAt(r.start, ByteSpan(header));
        }
        rewriteHeaders();
    } catch (const std::system_error&) {
    }
}

void AviVideoFile::closeRiff(Riff& riff, bool withOldIndex)
{
    appendStdIndex(riff);
    if (withOldIndex)
        appendOldIndex(riff);
    flushStaging();
    riff.stdIndexed = true;
    if (withOldIndex)
        m_hasOldIndex = true;
    riff.end = m_file.size();
}

void AviVideoFile::appendStdIndex(const Riff& riff)
{
    // Entries point at the frame data, relative to the 'movi' id of the RIFF.
    const std::uint64_t base = riff.moviList + 8;
    assert(m_stagingUsed == 0);
    ByteWriter head(std::span(m_staging.data(), kStdIndexHeaderBytes));
    writeStdIndexHeader(head, riff.frames, base);
    m_stagingUsed = kStdIndexHeaderBytes;
    std::uint64_t data = firstChunkPos(riff) + kChunkHeaderBytes;
    for (std::uint32_t i = 0; i < riff.frames; ++i, data += m_chunkBytes) {
        if (m_stagingUsed + 8 > m_staging.size())
            flushStaging();
        ByteWriter w(std::span(m_staging.data() + m_stagingUsed, 8));
        w.u32(std::uint32_t(data - base));
        w.u32(m_format.frameBytes());   // bit 31 clear: a key frame
        m_stagingUsed += 8;
    }
}

void AviVideoFile::appendOldIndex(const Riff& riff)
{
    // Offsets of the chunk headers, relative to the 'movi' id.
    const std::uint64_t base = riff.moviList + 8;
    if (m_stagingUsed + kChunkHeaderBytes > m_staging.size())
        flushStaging();
    ByteWriter head(std::span(m_staging.data() + m_stagingUsed, kChunkHeaderBytes));
    head.u32(riff::kIndex);
    head.u32(oldIndexChunkBytes(riff.frames) - std::uint32_t(kChunkHeaderBytes));
    m_stagingUsed += kChunkHeaderBytes;
    std::uint64_t chunk = firstChunkPos(riff);
    for (std::uint32_t i = 0; i < riff.frames; ++i, chunk += m_chunkBytes) {
        if (m_stagingUsed + 16 > m_staging.size())
            flushStaging();
        ByteWriter w(std::span(m_staging.data() + m_stagingUsed, 16));
        w.u32(riff::kFrame);
        w.u32(kKeyFrameFlag);
        w.u32(std::uint32_t(chunk - base));
        w.u32(m_format.frameBytes());
        m_stagingUsed += 16;
    }
}

void AviVideoFile::flushStaging()
{
    const std::size_t used = std::exchange(m_stagingUsed, 0);
    if (used > 0)
        m_file.append({ByteSpan(m_staging.data(), used)});
}

void AviVideoFile::rewriteHeaders()
{
    const Riff& first = m_riffs.front();
    assert(first.end != 0);
    std::array<SuperIndexEntry, kSuperIndexCapacity> entries{};
    std::size_t used = 0;
    if (m_riffs.size() > 1) {
        for (const Riff& r : m_riffs) {
            if (!r.stdIndexed)
                continue;
            entries[used++] = SuperIndexEntry{firstChunkPos(r) + std::uint64_t(r.frames) * m_chunkBytes,
                                              stdIndexChunkBytes(r.frames), r.frames};
        }
    }
    HeaderState state;
    state.totalFrames = m_totalFrames;
    state.firstRiffFrames = first.frames;
    state.firstRiffSize = std::uint32_t(first.end - first.start - 8);
    const std::uint64_t firstMoviEnd = firstChunkPos(first) + std::uint64_t(first.frames) * m_chunkBytes
        + (first.stdIndexed ? stdIndexChunkBytes(first.frames) : 0);
    state.firstMoviSize = std::uint32_t(firstMoviEnd - first.moviList - 8);
    state.hasOldIndex = m_hasOldIndex;
    state.superIndex = std::span<const SuperIndexEntry>(entries.data(), used);

    assert(m_stagingUsed == 0);
    const std::span<std::uint8_t> header(m_staging.data(), kHeaderBytes);
    writeHeaders(header, m_format, state);
    m_file.writeAt(0, header);
}

bool AviVideoFile::finish()
{
    Riff& last = m_riffs.back();
    const bool openDml = m_riffs.size() > 1;
    const std::uint64_t mark = m_file.size();
    bool indexed = true;
    try {
        if (openDml)
            appendStdIndex(last);
        else
            appendOldIndex(last);
        flushStaging();
        if (openDml)
            last.stdIndexed = true;
        else
            m_hasOldIndex = true;
    } catch (const std::system_error&) {
        // Typically the same limit that refused the last frame. Without the
        // index the file is still complete: every size below is patched to
        // the frames actually present.
        m_stagingUsed = 0;
        m_file.rollbackTo(mark);
        indexed = false;
    }
    last.end = m_file.size();

    for (std::size_t k = 1; k < m_riffs.size(); ++k) {
        const Riff& r = m_riffs[k];
        const std::uint64_t moviEnd = firstChunkPos(r) + std::uint64_t(r.frames) * m_chunkBytes
            + (r.stdIndexed ? stdIndexChunkBytes(r.frames) : 0);
        std::uint8_t header[kAvixHeaderBytes];
        writeAvixHeader(header, std::uint32_t(r.end - r.start - 8), std::uint32_t(moviEnd - r.moviList - 8));
        m_file.writeAt(r.start, ByteSpan(header));
    }
    rewriteHeaders();
    m_file.close();
    return indexed;
}

}   // namespace orbicrop::avi
