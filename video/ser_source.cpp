#include "video/ser_source.h"

#include "analysis/rounding.h"
#include "video/ser_convert.h"
#include "video/ser_decode_ahead.h"
#include "video/ser_file.h"
#include "video/ser_header.h"
#include "video/ser_layout.h"
#include "video/ser_samples.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace {

// HRESULT-style codes, negative as the file run expects; E_FAIL where the
// platform had nothing more precise.
constexpr std::int32_t kFail = std::int32_t(0x80004005u);
constexpr std::int32_t kOutOfMemory = std::int32_t(0x8007000Eu);

// Frames decoded ahead of the one the sink holds: one in the sink, one being
// converted, one spare to absorb uneven sink times.
constexpr std::size_t kSlots = 3;

[[noreturn]] void FailToLoad()
{
    throw FrameSourceError("Couldn't load the file!", kFail);
}

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

class SerSource final : public FrameSource {
public:
    SerSource(SerFile file, const SerLayout& layout, const SerSampleFormat& format, double frameRate,
              std::vector<std::uint8_t> frameBuffer)
        : m_file(std::move(file)), m_layout(layout), m_format(format), m_frameRate(frameRate),
          m_converter(format), m_raw(std::move(frameBuffer))
    {
    }

    std::int32_t streamCount() override { return 1; }

    bool isVideoStream(std::int32_t index) override
    {
        if (index != 0)
            throw FrameSourceError("Couldn't put stream " + std::to_string(index), kFail);
        return true;
    }

    VideoStreamInfo streamInfo() override
    {
        VideoStreamInfo info;
        info.frameRate = m_frameRate;
        info.length = length();
        info.width = m_format.width;
        info.height = m_format.height;
        return info;
    }

    void enterGrabMode() override
    {
        if (!m_slots.empty())
            return;
        try {
            const std::size_t pictureBytes = pictureSize();
            for (std::size_t k = 0; k < kSlots; ++k)
                m_slots.emplace_back(pictureBytes);
        } catch (const std::bad_alloc&) {
            m_slots.clear();
            throw FrameSourceError("Failed in EnterBitmapGrabMode!", kOutOfMemory);
        }
    }

    std::int64_t duration() override { return RoundHalfEven(length() * 1e7); }

    void play(std::int64_t stopPosition, std::int32_t maxFrames, FrameSink& sink) override
    {
        std::int64_t count = m_layout.frames;
        if (stopPosition < duration()) {
            // Frame i plays when its presentation time i / rate lies before
            // the stop; i * 1e7 / rate keeps whole-rate times exact.
            std::int64_t before = 0;
            while (before < count && double(before) * 1e7 / m_frameRate < double(stopPosition))
                ++before;
            count = before;
        }
        if (maxFrames > 0)
            count = std::min<std::int64_t>(count, maxFrames);
        if (count == 0)
            return;
        enterGrabMode();
        m_file.adviseSequential();

        std::array<std::uint8_t*, kSlots> slots{};
        for (std::size_t k = 0; k < kSlots; ++k)
            slots[k] = m_slots[k].data();
        const auto pictureBytes = std::int32_t(pictureSize());

        DecodeAhead(
            count, slots,
            [&](std::int64_t i, std::uint8_t* picture) {
                if (m_file.readAt(m_layout.frameOffset(std::uint32_t(i)), m_raw) != m_raw.size())
                    throw FrameSourceError("Failed in WaitForCompletion!", kFail);
                m_converter.convert(m_raw.data(), picture);
            },
            [&](std::int64_t i, std::uint8_t* picture) {
                sink.BufferCB(double(i) / m_frameRate, picture, pictureBytes);
            });
    }

private:
    double length() const { return double(m_layout.frames) / m_frameRate; }
    std::size_t pictureSize() const { return std::size_t(m_format.width) * std::size_t(m_format.height) * 3; }

    SerFile m_file;
    SerLayout m_layout;
    SerSampleFormat m_format;
    double m_frameRate;
    // Used only by the decoding thread while a play() runs.
    SerConverter m_converter;
    std::vector<std::uint8_t> m_raw;   // one frame as stored
    // The pictures handed to the sink, reused frame after frame.
    std::vector<std::vector<std::uint8_t>> m_slots;
};

} // namespace

bool IsSerFile(const std::string& path)
{
    const SerFile file(path);
    std::array<std::uint8_t, kSerFileIdSize> id{};
    return file.isOpen() && file.readAt(0, id) == id.size()
        && std::memcmp(id.data(), kSerFileId, kSerFileIdSize) == 0;
}

std::unique_ptr<FrameSource> OpenSerSource(const std::string& path)
{
    SerFile file(path);
    if (!file.isOpen())
        FailToLoad();
    const std::uint64_t fileSize = file.size();

    std::array<std::uint8_t, kSerHeaderSize> headerBytes{};
    if (file.readAt(0, headerBytes) != headerBytes.size())
        FailToLoad();
    const SerHeaderParse parsed = ParseSerHeader(headerBytes);
    if (!parsed.ok())
        FailToLoad();
    const SerHeader& header = parsed.header;

    const SerLayout layout = LayOutSerFile(header, fileSize);
    if (layout.frames == 0)
        FailToLoad();

    // The first frames settle byte order and depth; their buffer then serves
    // for reading while playing.
    std::vector<std::uint8_t> frame;
    try {
        frame.resize(std::size_t(layout.frameBytes));
    } catch (const std::bad_alloc&) {
        FailToLoad();
    }
    SerFormatProbe probe(header);
    for (std::uint32_t i = 0; i < std::min(layout.frames, kSerFramesToProbe); ++i) {
        if (file.readAt(layout.frameOffset(i), frame) != frame.size())
            FailToLoad();
        probe.addFrame(frame);
    }

    double rate = kSerDefaultFrameRate;
    if (layout.hasTimestamps)
        rate = FrameRateFromTimestamps(ReadTimestamps(file, layout));

    return std::make_unique<SerSource>(std::move(file), layout, probe.format(), rate, std::move(frame));
}
