// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi/avi_chunk_player.h"

#include "video/read_ahead.h"
#include "fileio/little_endian.h"
#include "fileio/page_buffer.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

using orbicrop::fileio::InputFile;
using orbicrop::fileio::PageBuffer;
using orbicrop::fileio::ReadLe16;
using orbicrop::fileio::ReadLe32;

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// Wide enough for any product of a 64-bit count and two 32-bit factors.
__extension__ using Wide = __int128;

}   // namespace

// No product can overflow, so the results are FFmpeg's av_compare_ts and
// av_rescale_q (round to nearest) to the last tick.
bool AtOrAfter(std::int64_t ticks, AviTimeBase timeBase, std::int64_t stopPosition)
{
    return Wide(ticks) * timeBase.num * kTicksPerSecond >= Wide(stopPosition) * timeBase.den;
}

std::int64_t HundredNanoseconds(std::int64_t ticks, AviTimeBase timeBase)
{
    const Wide product = Wide(ticks) * timeBase.num * kTicksPerSecond;
    const Wide half = timeBase.den / 2;
    return std::int64_t(product >= 0 ? (product + half) / timeBase.den : -((-product + half) / timeBase.den));
}

AviChunkPlayer::AviChunkPlayer(InputFile file, std::vector<Entry> entries, std::uint32_t width, std::uint32_t height,
                               bool gray, AviTimeBase timeBase, std::int64_t start, int streamIndex)
    : m_file(std::move(file)), m_entries(std::move(entries)), m_width(width), m_height(height),
      m_chunkBytes(width * height * (gray ? 1 : 3)), m_gray(gray), m_timeBase(timeBase), m_start(start),
      m_streamTag(std::uint16_t('0' + streamIndex / 10) | std::uint16_t('0' + streamIndex % 10) << 8)
{}

bool AviChunkPlayer::readChunk(const Entry& entry, std::uint8_t* chunk) const
{
    const std::size_t bytes = kChunkHeader + m_chunkBytes;
    try {
        if (m_file.readAt(std::uint64_t(entry.position), {chunk, bytes}) != bytes)
            return false;
    } catch (const std::system_error&) {
        return false;
    }
    return ReadLe16(chunk) == m_streamTag && ReadLe32(chunk + 4) == m_chunkBytes;
}

struct AviChunkPlayer::Slot {
    PageBuffer chunk;    // header and pixels, allocated once and reused
    PageBuffer spread;   // grey pixels over three bytes, for a sink that wants them so
    double sampleTime = 0.0;
    AheadMeasurement measured;
};

std::uint32_t AviChunkPlayer::framesWithin(const StreamLimits& limits) const
{
    std::uint32_t count = 0;
    for (std::size_t k = firstEntry(limits); k < m_entries.size(); ++k) {
        if (limits.byTime && AtOrAfter(m_entries[k].timestamp - m_start, m_timeBase, limits.stopPosition))
            break;
        if (limits.maxFrames > 0 && count >= std::uint32_t(limits.maxFrames))
            break;
        ++count;
    }
    return count;
}

std::size_t AviChunkPlayer::firstEntry(const StreamLimits& limits) const
{
    return std::min(std::size_t(std::max(limits.firstFrame, 0)), m_entries.size());
}

FrameView AviChunkPlayer::picture(const Slot& slot, bool spread) const
{
    const auto width = std::int32_t(m_width);
    const auto height = std::int32_t(m_height);
    if (spread)
        return {slot.spread.data(), std::ptrdiff_t(width) * 3, width, height, 3};
    const std::uint8_t* pixels = slot.chunk.data() + kChunkHeader;
    if (!m_gray)
        return {pixels, std::ptrdiff_t(width) * 3, width, height, 3};
    // A Y800 chunk is stored top-down: the view's row 0, the bottom one, is the last.
    return {pixels + std::ptrdiff_t(height - 1) * width, -std::ptrdiff_t(width), width, height, 1};
}

void AviChunkPlayer::fill(Slot& slot, std::size_t index, bool spread, const FrameMeasurer* measurer) const
{
    const Entry& entry = m_entries[index];
    slot.measured.valid = false;
    if (!readChunk(entry, slot.chunk.data()))
        throw FrameSourceError(SourceFailure::Decode, -EIO);   // checked at opening: the file has changed since
    slot.sampleTime = double(entry.timestamp - m_start) * (double(m_timeBase.num) / double(m_timeBase.den));
    if (spread) {
        // Bottom-up 24-bit rows from top-down grey ones, each sample in all three bytes.
        const std::uint8_t* gray = slot.chunk.data() + kChunkHeader;
        for (std::uint32_t y = 0; y < m_height; ++y) {
            const std::uint8_t* from = gray + std::size_t(y) * m_width;
            std::uint8_t* to = slot.spread.data() + std::size_t(m_height - 1 - y) * m_width * 3;
            for (std::uint32_t x = 0; x < m_width; ++x)
                to[3 * x] = to[3 * x + 1] = to[3 * x + 2] = from[x];
        }
    }
    if (measurer != nullptr)
        measurer->measure(picture(slot, spread), slot.measured);
}

void AviChunkPlayer::play(const StreamLimits& limits, FrameSink& sink)
{
    const bool spread = m_gray && !limits.grayFrames;
    const std::optional<FrameMeasurer> measurer = sink.measurerAhead();
    const FrameMeasurer* measuring = measurer ? &*measurer : nullptr;
    const std::size_t slotBytes = (kChunkHeader + m_chunkBytes) * (spread ? 4 : 1);
    // Entry k is frame k, so a later start reads from its entry on.
    const std::size_t first = firstEntry(limits);
    PlayAhead<Slot>(
        framesWithin(limits), ReadingThreads(), slotBytes,
        [&](Slot& slot) {
            slot.chunk = PageBuffer(kChunkHeader + m_chunkBytes);
            if (spread)
                slot.spread = PageBuffer(std::size_t(m_chunkBytes) * 3);
        },
        [&] { return [&](Slot& slot, std::uint32_t index) { fill(slot, first + index, spread, measuring); }; },
        [&](Slot& slot) {
            SourceFrame frame;
            frame.sampleTime = slot.sampleTime;
            frame.measured = slot.measured.valid ? &slot.measured : nullptr;
            if (m_gray && !spread) {
                const FrameView view = picture(slot, false);
                frame.grayBottomRow = view.data;
                frame.grayStride = view.stride;
            } else {
                frame.buffer = spread ? slot.spread.data() : slot.chunk.data() + kChunkHeader;
                frame.bufferLength = std::int32_t(std::size_t(m_width) * m_height * 3);
            }
            return sink.FrameCB(frame);
        });
}
