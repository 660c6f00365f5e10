// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_source.h"

#include <cerrno>

#include "analysis/rounding.h"
#include "video/ser/ser_convert.h"
#include "video/ser/ser_file.h"
#include "video/ser/ser_header.h"
#include "video/ser/ser_layout.h"
#include "video/ser/ser_samples.h"

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

// Frames are converted one at a time into one picture that the sink then
// takes while it is still in the cache. Measured on 1920 x 1080 captures, a
// worker thread decoding ahead into a ring of pictures was slower: the ring
// no longer fits in the cache. What pays instead is a second thread that
// converts half of each large frame alongside the calling thread; reading
// the samples from memory is the bottleneck, and two cores pull more.
namespace {

// Below this many pixels a frame converts faster than a thread starts.
constexpr std::int64_t kSplitPixels = 512 * 512;

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
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        std::uint64_t v = 0;
        for (int b = 7; b >= 0; --b)
            v = v << 8 | bytes[i * 8 + std::size_t(b)];
        ticks[i] = static_cast<std::int64_t>(v);
    }
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

// Frames 0 and last and about eight evenly between: a capture that starts
// dark shows its depth only later on. Frame 0 comes first, as the probe takes
// the byte order from its first frame.
std::vector<std::uint32_t> FramesToProbe(std::uint32_t frames)
{
    std::vector<std::uint32_t> picks;
    if (frames <= kSerFramesToProbe + 2) {
        for (std::uint32_t i = 0; i < frames; ++i)
            picks.push_back(i);
        return picks;
    }
    picks.push_back(0);
    for (std::uint32_t k = 1; k <= kSerFramesToProbe; ++k)
        picks.push_back(std::uint32_t(std::uint64_t(frames - 1) * k / (kSerFramesToProbe + 1)));
    picks.push_back(frames - 1);
    return picks;
}

CaptureHeader CaptureHeaderOf(const SerHeader& h)
{
    return {h.luId, h.observer, h.instrument, h.telescope, h.dateTime, h.dateTimeUtc};
}

class SerSource final : public FrameSource {
public:
    SerSource(SerFrameReader reader, const SerLayout& layout, const SerSampleFormat& format, double frameRate,
              const SerHeader& header, std::vector<std::int64_t> times, std::string notice)
        : m_reader(std::move(reader)), m_layout(layout), m_format(format), m_frameRate(frameRate),
          m_converter(format), m_helperConverter(format), m_header(CaptureHeaderOf(header)),
          m_times(std::move(times)), m_notice(std::move(notice))
    {
    }

    std::optional<VideoInfo> video() override
    {
        VideoInfo info;
        info.frameRate = m_frameRate;
        info.length = length();
        info.width = m_format.width;
        info.height = m_format.height;
        info.samples = SampleLayout{m_format.depth, m_format.bytesPerSample, m_format.bigEndian};
        info.notice = m_notice;
        return info;
    }

    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        std::uint32_t count = m_layout.frames;
        if (limits.stopTime < length()) {
            // Frame i plays when its presentation time i / rate lies before the stop.
            std::uint32_t before = 0;
            while (before < count && double(before) / m_frameRate < limits.stopTime)
                ++before;
            count = before;
        }
        if (limits.maxFrames > 0)
            count = std::min(count, std::uint32_t(limits.maxFrames));
        if (count == 0)
            return;
        try {
            m_picture.resize(std::size_t(m_format.width) * std::size_t(m_format.height) * 3);
        } catch (const std::bad_alloc&) {
            throw FrameSourceError(SourceFailure::Prepare, -ENOMEM);
        }

        // Grey captures go to a sink that takes grey frames without being
        // spread over three bytes; 8-bit ones straight from the file.
        const bool gray = m_converter.grayFormat() && sink.acceptsGrayFrames();
        const std::ptrdiff_t width = m_format.width;
        const std::ptrdiff_t lastRow = std::ptrdiff_t(m_format.height - 1) * width;
        const auto pictureBytes = std::int32_t(m_picture.size());
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* stored = m_reader.frame(i);
            if (!stored)
                throw FrameSourceError(SourceFailure::Decode, -EIO);
            const double time = double(i) / m_frameRate;
            // Lives until the 8-bit call below has returned, as promised.
            const NativeFrame native = nativeFrame(stored, i);
            sink.NativeFrameCB(native);
            if (gray) {
                const std::uint8_t* plane = stored;
                if (!m_converter.storedAsGray()) {
                    convertGray(stored);
                    plane = m_gray.data();
                }
                if (sink.GrayBufferCB(time, plane + lastRow, -width) != 0)   // stored top-down
                    return;
            } else {
                convert(stored);
                if (sink.BufferCB(time, m_picture.data(), pictureBytes) != 0)
                    return;
            }
        }
    }

private:
    double length() const { return double(m_layout.frames) / m_frameRate; }

    // The stored samples in the order sinks take them: two-byte samples
    // little-endian, which only a file written the other way round needs
    // copying for.
    NativeFrame nativeFrame(const std::uint8_t* stored, std::uint32_t index)
    {
        NativeFrame frame;
        frame.width = m_format.width;
        frame.height = m_format.height;
        frame.layout = std::int32_t(m_format.colour);
        frame.planes = m_format.planes;
        frame.bytesPerSample = m_format.bytesPerSample;
        frame.depth = m_format.depth;
        frame.stride = std::ptrdiff_t(frame.rowBytes());
        frame.header = &m_header;
        if (index < m_times.size())
            frame.utcTicks = m_times[index];
        frame.topRow = stored;
        if (m_format.bytesPerSample == 2 && m_format.bigEndian) {
            m_swapped.resize(std::size_t(m_layout.frameBytes));
            for (std::size_t k = 0; k + 1 < m_swapped.size(); k += 2) {
                m_swapped[k] = stored[k + 1];
                m_swapped[k + 1] = stored[k];
            }
            frame.topRow = m_swapped.data();
        }
        return frame;
    }

    // Runs convertRows(converter, firstRow, endRow) over the whole frame; a
    // large frame is split, a helper thread taking the top half. The helper
    // is joined before this returns, so before the sink sees the result.
    template <class ConvertRows>
    void splitRows(ConvertRows convertRows)
    {
        const std::int32_t height = m_format.height;
        if (std::int64_t(m_format.width) * height >= kSplitPixels) {
            const std::int32_t half = height / 2;
            try {
                const std::jthread helper([&] { convertRows(m_helperConverter, 0, half); });
                convertRows(m_converter, half, height);
                return;
            } catch (const std::system_error&) {
                // No thread to be had: the calling thread does it all.
            }
        }
        convertRows(m_converter, 0, height);
    }

    void convert(const std::uint8_t* stored)
    {
        splitRows([&](SerConverter& c, std::int32_t first, std::int32_t end) {
            c.convertRows(stored, m_picture.data(), first, end);
        });
    }

    void convertGray(const std::uint8_t* stored)
    {
        m_gray.resize(std::size_t(m_format.width) * std::size_t(m_format.height));
        splitRows([&](SerConverter& c, std::int32_t first, std::int32_t end) {
            c.convertGrayRows(stored, m_gray.data(), first, end);
        });
    }

    SerFrameReader m_reader;
    SerLayout m_layout;
    SerSampleFormat m_format;
    double m_frameRate;
    SerConverter m_converter;
    SerConverter m_helperConverter;   // the helper thread's, for the top half
    // What the sink gets, frame after frame; it may write into it.
    std::vector<std::uint8_t> m_picture;
    std::vector<std::uint8_t> m_gray;   // grey frames that needed converting, rows top-down
    CaptureHeader m_header;
    std::vector<std::int64_t> m_times;   // one per frame, or none
    std::string m_notice;
    std::vector<std::uint8_t> m_swapped;   // big-endian samples turned round, for the native frame
};

} // namespace

bool IsSerFile(const std::string& path)
{
    const SerFile file(path);
    std::array<std::uint8_t, kSerFileIdSize> id{};
    return file.isOpen() && file.readAt(0, id) == id.size()
        && std::memcmp(id.data(), kSerFileId, kSerFileIdSize) == 0;
}

std::unique_ptr<FrameSource> OpenSerSource(const std::string& path, SerReading reading)
{
    SerFile file(path);
    if (!file.isOpen())
        FailToLoad();

    std::array<std::uint8_t, kSerHeaderSize> headerBytes{};
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
    } else if (header.frameCount != 0 && layout.frames == header.frameCount
               && file.size() > layout.timestampOffset()) {
        notice = "The frames' time stamps are incomplete; the file is read as having none";
    }

    std::optional<SerFrameReader> reader;
    try {
        reader.emplace(std::move(file), layout, reading);
    } catch (const std::bad_alloc&) {
        FailToLoad();
    }

    // Frames spread over the file settle byte order and depth.
    SerFormatProbe probe(header);
    for (const std::uint32_t i : FramesToProbe(layout.frames)) {
        const std::uint8_t* stored = reader->frame(i);
        if (!stored)
            FailToLoad();
        probe.addFrame({stored, std::size_t(layout.frameBytes)});
    }

    return std::make_unique<SerSource>(std::move(*reader), layout, probe.format(), rate, header, std::move(times),
                                       std::move(notice));
}
