// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_source.h"

#include <cerrno>

#include "analysis/rounding.h"
#include "video/ser/ser_convert.h"
#include "video/ser/ser_file.h"
#include "video/ser/ser_layout.h"
#include "video/ser/ser_samples.h"
#include "video/read_ahead.h"
#include "fileio/little_endian.h"
#include "fileio/page_buffer.h"
#include "ser/ser_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

using orbicrop::fileio::PageBuffer;
using orbicrop::ser::ParseSerHeader;
using orbicrop::ser::SerHeader;
using orbicrop::ser::SerHeaderParse;

// Reading threads read, convert and measure frames ahead of the sink, each
// frame whole on one thread, so that a frame is measured while it is still in
// that core's cache, and reading the file, narrowing deep samples and the
// measurement of several frames overlap. The ring holds few slots: a 1080p
// picture is 6 MB.
namespace {

// The stored bytes a reader narrows at a time when it reads a frame in
// bands: well within a core's own cache, so that the narrowing reads what
// the read just wrote there, and few enough calls that they cost nothing.
constexpr std::size_t kBandBytes = std::size_t(256) << 10;

// Reads the first bytes bytes of frame index into band, a band's size at a
// time (the last part may be shorter), and hands each part, with where in the
// frame it starts, to use. False when the file no longer holds them.
template <typename Use>
bool ReadInBands(const SerFrameReader& reader, std::uint32_t index, std::uint64_t bytes, std::span<std::uint8_t> band,
                 Use&& use)
{
    for (std::uint64_t from = 0; from < bytes; from += band.size()) {
        const std::span<std::uint8_t> part =
            band.first(std::size_t(std::min<std::uint64_t>(band.size(), bytes - from)));
        if (!reader.readPart(index, from, part))
            return false;
        use(std::span<const std::uint8_t>(part), from);
    }
    return true;
}

// One SER frame read and converted ahead of the sink, with the buffers it
// keeps from frame to frame.
struct SerFrameSlot {
    std::uint32_t index = 0;
    // The stored samples: into buffer, or the file's own mapped pages.
    const std::uint8_t* stored = nullptr;
    PageBuffer buffer;           // the stored samples, when copied
    PageBuffer picture;          // the 24-bit picture, or the grey plane
    PageBuffer swapped;          // big-endian samples turned round
    AheadMeasurement measured;   // the sink's measurement, when it asked for one
};

[[noreturn]] void FailToLoad()
{
    throw FrameSourceError(SourceFailure::Load);
}

// The trailer's stamps as stored (bit for bit): what the frame rate has
// always been measured from.
std::vector<std::int64_t> ReadTimestamps(const SerFile& file, const SerLayout& layout)
{
    std::vector<std::uint8_t> bytes(std::size_t(layout.frames) * 8);
    if (file.readAt(layout.timestampOffset(), bytes) != bytes.size())
        return {};
    std::vector<std::int64_t> ticks(layout.frames);
    for (std::size_t i = 0; i < ticks.size(); ++i)
        ticks[i] = static_cast<std::int64_t>(orbicrop::fileio::ReadLe64(bytes.data() + i * 8));
    return ticks;
}

// The stamps as times: the top two bits are flags of some writers, not time,
// and readers mask them. Empty unless every frame has a stamp and each is
// later than the one before: a clock that stands or jumps back dates no frame.
std::vector<std::int64_t> UsableTimes(std::span<const std::int64_t> stamps)
{
    constexpr std::uint64_t kTimeBits = ~std::uint64_t(0) >> 2;
    std::vector<std::int64_t> times;
    times.reserve(stamps.size());
    for (const std::int64_t stamp : stamps) {
        const auto time = std::int64_t(std::uint64_t(stamp) & kTimeBits);
        if (!times.empty() && time <= times.back())
            return {};
        times.push_back(time);
    }
    return times;
}

CaptureHeader CaptureHeaderOf(const SerHeader& h)
{
    return {h.luId, h.observer, h.instrument, h.telescope, h.dateTime, h.dateTimeUtc};
}

class SerSource final : public FrameSource {
public:
    SerSource(SerFrameReader reader, bool bandsWhenUnread, const SerLayout& layout, const SerSampleFormat& format,
              double frameRate, const SerHeader& header, std::vector<std::int64_t> times, std::string notice)
        : m_reader(std::move(reader)), m_bandsWhenUnread(bandsWhenUnread), m_layout(layout), m_format(format),
          m_frameRate(frameRate), m_converter(format), m_header(CaptureHeaderOf(header)), m_times(std::move(times)),
          m_notice(std::move(notice))
    {}

    std::optional<VideoInfo> video() override
    {
        VideoInfo info;
        info.frameRate = m_frameRate;
        info.length = length();
        info.width = m_format.width;
        info.height = m_format.height;
        info.samples =
            SampleLayout{m_format.depth, m_format.bytesPerSample, m_format.bigEndian, std::int32_t(m_format.colour)};
        info.notice = m_notice;
        if (m_layout.declared != 0)
            info.declaredFrames = m_layout.declared;
        return info;
    }

    // Every play reads its frames by their place in the file.
    bool replaysAsNew() const override { return true; }

    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        // Named, not bound: a lambda below captures the first frame.
        const PlayedFrames played = FramesToPlay(limits, m_layout.frames, m_frameRate);
        const std::uint32_t first = played.first;
        const std::uint32_t count = played.count;
        // Grey captures go to a sink that takes grey frames without being
        // spread over three bytes; 8-bit ones straight from the file.
        const bool gray = m_converter.grayFormat() && sink.acceptsGrayFrames();
        const std::optional<FrameMeasurer> measurer = sink.measurerAhead();
        // Deep samples are narrowed in any case; when the sink will not look
        // at them, they need not stay in memory beside the picture.
        const bool banded = m_bandsWhenUnread && m_format.bytesPerSample == 2 && !sink.readsStoredSamples();
        const unsigned readers = ReadingThreads();
        const std::size_t bytes = slotBytes(gray, banded);
        // A mapped frame's pages count as a slot's buffer would.
        const std::size_t slots = RingSlots(readers, bytes, count);
        const Fill how{gray, banded, measurer ? &*measurer : nullptr, std::uint32_t(slots)};
        const std::size_t bandRows = std::max<std::size_t>(1, kBandBytes / m_converter.rowBytes());
        PlayAhead<SerFrameSlot>(
            count, readers, bytes, [&](SerFrameSlot& slot) { allocate(slot, gray, banded); },
            // Each reader converts with a converter, and reads bands into a
            // buffer, of its own.
            [&] {
                return [this, &how, first, converter = SerConverter(m_format),
                        band = PageBuffer(banded ? bandRows * m_converter.rowBytes() : 0)](
                           SerFrameSlot& slot, std::uint32_t index) mutable {
                    fill(slot, first + index, how, converter, band);
                };
            },
            [&](SerFrameSlot& slot) { return deliver(slot, gray, sink); });
    }

private:
    double length() const { return double(m_layout.frames) / m_frameRate; }

    // The sizes of a slot's buffers: stored samples, the picture the sink
    // gets, and the samples in the machine's byte order; 0 for those not needed.
    struct SlotSizes {
        std::size_t buffer = 0;
        std::size_t picture = 0;
        std::size_t swapped = 0;
    };
    SlotSizes slotSizes(bool gray, bool banded) const
    {
        const std::size_t pixels = std::size_t(m_format.width) * std::size_t(m_format.height);
        SlotSizes sizes;
        if (banded)
            return {0, gray ? pixels : pixels * 3, 0};
        sizes.buffer = std::size_t(m_layout.frameBytes);   // a mapped frame's pages, when mapped
        if (!gray)
            sizes.picture = pixels * 3;
        else if (!m_converter.storedAsGray())
            sizes.picture = pixels;
        if (m_format.bytesPerSample == 2 && m_format.bigEndian)
            sizes.swapped = std::size_t(m_layout.frameBytes);
        return sizes;
    }
    std::size_t slotBytes(bool gray, bool banded) const
    {
        const SlotSizes sizes = slotSizes(gray, banded);
        return sizes.buffer + sizes.picture + sizes.swapped;
    }

    void allocate(SerFrameSlot& slot, bool gray, bool banded) const
    {
        const SlotSizes sizes = slotSizes(gray, banded);
        if (!m_reader.mapped() && sizes.buffer > 0)
            slot.buffer = PageBuffer(sizes.buffer);
        if (sizes.picture > 0)
            slot.picture = PageBuffer(sizes.picture);
        if (sizes.swapped > 0)
            slot.swapped = PageBuffer(sizes.swapped);
    }

    // What a reader makes of a frame: a grey plane or a 24-bit picture,
    // and the sink's measurement when it gave a measurer.
    struct Fill {
        bool gray = false;
        bool banded = false;   // read in bands and narrowed, no samples kept
        const FrameMeasurer* measurer = nullptr;
        // From a map, the pages of this many frames before the one read are
        // kept: those of the ring, which may still be in the sink's hands.
        std::uint32_t framesKept = 0;
    };

    // Reads frame index into the slot, converts it as the sink takes it and
    // measures it. Allocates nothing: allocate() sized the slot.
    void fill(SerFrameSlot& slot, std::uint32_t index, const Fill& how, SerConverter& converter, PageBuffer& band)
    {
        slot.index = index;
        slot.measured.valid = false;
        if (how.banded) {
            slot.stored = nullptr;
            fillBanded(slot, index, how.gray, converter, band);
            if (how.measurer != nullptr)
                how.measurer->measure(picture(slot, how.gray), slot.measured);
            return;
        }
        slot.stored = m_reader.frame(index, slot.buffer.span(), how.framesKept);
        if (!slot.stored)
            throw FrameSourceError(SourceFailure::Decode, -EIO);   // the file shrank since it was opened
        if (how.gray) {
            if (!converter.storedAsGray())
                converter.convertGrayRows(slot.stored, slot.picture.data(), 0, m_format.height);
        } else {
            converter.convert(slot.stored, slot.picture.data());
        }
        if (!slot.swapped.empty()) {
            std::uint8_t* swapped = slot.swapped.data();
            for (std::size_t k = 0; k + 1 < slot.swapped.size(); k += 2) {
                swapped[k] = slot.stored[k + 1];
                swapped[k + 1] = slot.stored[k];
            }
        }
        if (how.measurer != nullptr)
            how.measurer->measure(picture(slot, how.gray), slot.measured);
    }

    // The picture of frame index, read band by band into band and narrowed
    // from there.
    void fillBanded(SerFrameSlot& slot, std::uint32_t index, bool gray, SerConverter& converter, PageBuffer& band)
    {
        const std::size_t rowBytes = converter.rowBytes();
        const std::span<std::uint8_t> wholeRows = band.span().first(band.size() / rowBytes * rowBytes);
        const bool read = ReadInBands(m_reader, index, std::uint64_t(m_format.height) * rowBytes, wholeRows,
                                      [&](std::span<const std::uint8_t> rows, std::uint64_t from) {
                                          const auto y = std::int32_t(from / rowBytes);
                                          const auto end = std::int32_t(y + rows.size() / rowBytes);
                                          if (gray)
                                              converter.convertGrayBand(rows.data(), slot.picture.data(), y, end);
                                          else
                                              converter.convertBand(rows.data(), slot.picture.data(), y, end);
                                      });
        if (!read)
            throw FrameSourceError(SourceFailure::Decode, -EIO);   // the file shrank since it was opened
    }

    // The frame as the sink gets it.
    FrameView picture(const SerFrameSlot& slot, bool gray) const
    {
        return ConvertedPicture(m_format.width, m_format.height, gray,
                                slot.picture.empty() ? nullptr : slot.picture.data(), slot.stored);
    }

    // One filled slot handed to the sink: its picture with its stored samples.
    std::int32_t deliver(SerFrameSlot& slot, bool gray, FrameSink& sink)
    {
        const NativeFrame native = nativeFrame(slot);
        SourceFrame frame;
        frame.sampleTime = double(slot.index) / m_frameRate;
        frame.native = &native;
        frame.measured = slot.measured.valid ? &slot.measured : nullptr;
        HandOverPicture(frame, picture(slot, gray), gray, slot.picture.data(), slot.picture.size());
        return sink.FrameCB(frame);
    }

    // The stored samples in the order sinks take them: two-byte samples
    // little-endian, which only a file written the other way round needs
    // turned round for.
    NativeFrame nativeFrame(const SerFrameSlot& slot) const
    {
        return NativeFrameOf(m_format, slot.swapped.empty() ? slot.stored : slot.swapped.data(), &m_header,
                             slot.index < m_times.size() ? std::optional<std::int64_t>(m_times[slot.index])
                                                         : std::nullopt);
    }

    SerFrameReader m_reader;
    bool m_bandsWhenUnread;   // two-byte frames are read in bands when the sink reads no samples
    SerLayout m_layout;
    SerSampleFormat m_format;
    double m_frameRate;
    SerConverter m_converter;   // for its questions only: each reader converts with its own
    CaptureHeader m_header;
    std::vector<std::int64_t> m_times;   // one per frame, or none
    std::string m_notice;
};

}   // namespace

bool IsSerFile(const std::string& path)
{
    const SerFile file(path);
    std::array<std::uint8_t, orbicrop::ser::kFileIdBytes> id{};
    return file.isOpen() && file.readAt(0, id) == id.size()
        && std::memcmp(id.data(), orbicrop::ser::kFileId, id.size()) == 0;
}

std::optional<std::int32_t> SerColourIdOf(const std::string& path)
{
    const SerFile file(path);
    std::array<std::uint8_t, orbicrop::ser::kHeaderBytes> bytes{};
    if (!file.isOpen() || file.readAt(0, bytes) != bytes.size())
        return std::nullopt;
    const auto parsed = orbicrop::ser::ParseSerHeader(bytes);
    if (!parsed.ok())
        return std::nullopt;
    return std::int32_t(parsed.header.colour);
}

std::vector<std::int64_t> SerFrameTimesOf(const std::string& path)
{
    const SerFile file(path);
    std::array<std::uint8_t, orbicrop::ser::kHeaderBytes> bytes{};
    if (!file.isOpen() || file.readAt(0, bytes) != bytes.size())
        return {};
    const auto parsed = orbicrop::ser::ParseSerHeader(bytes);
    if (!parsed.ok())
        return {};
    const SerLayout layout = LayOutSerFile(parsed.header, file.size());
    return layout.hasTimestamps ? UsableTimes(ReadTimestamps(file, layout)) : std::vector<std::int64_t>{};
}

namespace {

// Frames spread over the file settle byte order and depth, read before the
// first frame can be shown: ten frames, 40 MB of a 1080p 16-bit capture. They
// are read in bands into a buffer that stays in the core's cache (mapping
// their pages in and out cost more than the reading), half of them on a
// second thread where the process may use a second core. False when the file
// no longer holds them or no buffer could be had.
bool ProbeFrames(const SerFrameReader& reader, const SerLayout& layout, const SerHeader& header, SerFormatProbe& probe)
{
    const std::vector<std::uint32_t> picks = FramesToProbe(layout.frames);
    const auto read = [&](std::span<const std::uint32_t> frames, SerFormatProbe& into) {
        try {
            PageBuffer band(std::size_t(std::min<std::uint64_t>(kBandBytes, layout.frameBytes)));
            return std::all_of(frames.begin(), frames.end(), [&](std::uint32_t i) {
                return ReadInBands(reader, i, layout.frameBytes, band.span(),
                                   [&](std::span<const std::uint8_t> part, std::uint64_t) { into.addBytes(part); });
            });
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
    const std::span<const std::uint32_t> all(picks);
    if (ReadingThreads() < 2 || picks.size() < 2)
        return read(all, probe);
    const std::size_t half = picks.size() / 2;
    SerFormatProbe second(header);
    bool secondRead = false;
    {
        std::jthread helper([&] { secondRead = read(all.subspan(half), second); });
        if (!read(all.first(half), probe))
            return false;
    }
    probe.merge(second);
    return secondRead;
}

}   // namespace

std::unique_ptr<FrameSource> OpenSerSource(const std::string& path, SerReading reading)
{
    SerFile file(path);
    if (!file.isOpen())
        FailToLoad();

    std::array<std::uint8_t, orbicrop::ser::kHeaderBytes> headerBytes{};
    if (file.readAt(0, headerBytes) != headerBytes.size())
        FailToLoad();
    const SerHeaderParse parsed = ParseSerHeader(headerBytes);
    if (!parsed.ok())
        FailToLoad();
    const SerHeader& header = parsed.header;

    const SerLayout layout = LayOutSerFile(header, file.size());
    if (layout.frames == 0)
        FailToLoad();

    double rate = kSerDefaultFrameRate;
    std::vector<std::int64_t> times;
    std::string notice;
    if (layout.hasTimestamps) {
        const std::vector<std::int64_t> stamps = ReadTimestamps(file, layout);
        rate = FrameRateFromTimestamps(stamps);
        times = UsableTimes(stamps);
        if (times.empty())
            notice = "The frames' time stamps do not increase; the file is read as having none";
    } else if (header.frameCount != 0 && layout.frames == header.frameCount && file.size() > layout.timestampOffset()) {
        notice = "The frames' time stamps are incomplete; the file is read as having none";
    } else if (layout.frames < header.frameCount) {
        notice = "The header names " + std::to_string(header.frameCount) + " frames; the file holds "
            + std::to_string(layout.frames) + " whole frames";
    }

    const bool automatic = reading == SerReading::Automatic;
    if (automatic)
        reading = header.bytesPerSample() == 2 ? SerReading::Mapped : SerReading::Copied;
    SerFrameReader reader(std::move(file), layout, reading);

    SerFormatProbe probe(header);
    if (probe.wantsFrames() && !ProbeFrames(reader, layout, header, probe))
        FailToLoad();

    return std::make_unique<SerSource>(std::move(reader), automatic, layout, probe.format(), rate, header,
                                       std::move(times), std::move(notice));
}
