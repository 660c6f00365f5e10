// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/frames/frame_folder_source.h"

#include "analysis/debayer_crop.h"
#include "fileio/page_buffer.h"
#include "fileio/program_module.h"
#include "time/capture_time.h"
#include "video/read_ahead.h"
#include "video/ser/ser_convert.h"
#include "video/ser/ser_layout.h"
#include "video/ser/ser_samples.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using orbicrop::fileio::PageBuffer;
using orbicrop::stills::StillFrame;
using orbicrop::stills::StoredAsText;

namespace {

std::string NameOf(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

// What every frame of a capture shares with its first.
struct FrameShape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
    orbicrop::stills::StoredAs storedAs = orbicrop::stills::StoredAs::Bits8;
    std::string bayer;

    static FrameShape Of(const StillFrame& frame)
    {
        return {frame.width, frame.height, frame.planes, frame.storedAs, frame.bayer};
    }
    bool operator==(const FrameShape&) const = default;

    std::string text() const
    {
        std::string words = std::to_string(width) + " x " + std::to_string(height) + " " + StoredAsText(storedAs);
        words += planes == 3 ? " RGB" : bayer.empty() ? " mono" : " " + bayer + " mosaic";
        return words;
    }
};

// Why frame at path cannot join a capture whose frames are like first.
std::string Mismatch(const std::string& path, const FrameShape& frame, const FrameShape& first)
{
    return NameOf(path) + " is " + frame.text() + ", not " + first.text() + " as the capture's first frame";
}

// The module's reader, or why it cannot be had: captures saved as videos
// never load it.
struct StillModule {
    StillReader read = nullptr;
    std::string problem;
};

StillModule LoadStillModule()
{
    const LoadedModule module = LoadModule(ORBICROP_STILLS_MODULE, kReadStillSymbol);
    if (module.entry == nullptr)
        return {nullptr, "cannot load the still-image module " + module.path + ": " + module.why};
    return {reinterpret_cast<StillReader>(module.entry), {}};
}

// Reads one frame through read; throws FrameSourceError(failure) with the
// module's reason, which names the file.
void ReadFrame(StillReader read, const std::string& path, double floatScale, StillFrame& frame, SourceFailure failure)
{
    char error[512] = {};
    if (read(path.c_str(), floatScale, &frame, error, sizeof error) != 0)
        throw FrameSourceError(failure, -EIO, -1, error);
}

std::optional<std::int64_t> TimeOf(const StillFrame& frame)
{
    return frame.time.empty() ? std::nullopt : ParseIsoUtc(frame.time);
}

// Bits the largest sample of frame uses.
std::uint32_t SampleBits(const StillFrame& frame)
{
    if (frame.bytesPerSample == 1)
        return 0xFF;
    std::uint16_t any = 0;
    for (std::size_t at = 0; at + 1 < frame.samples.size(); at += 2)
        any |= std::uint16_t(frame.samples[at] | frame.samples[at + 1] << 8);
    return any;
}

// What opening settles from the first frame and frames spread over the capture.
struct Settled {
    SerSampleFormat format;
    FrameShape shape;
    double floatScale = 0;
    CaptureHeader header;
    bool framesTimed = false;   // each frame is dated by its own file
    double frameRate = kSerDefaultFrameRate;
};

Settled SettleCapture(StillReader read, const std::vector<std::string>& frames)
{
    Settled settled;
    StillFrame frame;
    std::uint32_t bits = 0;
    std::vector<std::int64_t> times;
    bool timed = true;
    const std::vector<std::uint32_t> picks = FramesToProbe(std::uint32_t(frames.size()));
    for (const std::uint32_t pick : picks) {
        ReadFrame(read, frames[pick], settled.floatScale, frame, SourceFailure::Load);
        if (pick == 0) {
            settled.shape = FrameShape::Of(frame);
            settled.floatScale = frame.floatScale;
            settled.header.instrument = frame.instrument;
            settled.header.telescope = frame.telescope;
            settled.header.observer = frame.observer;
            // Whole seconds (TIFF's DateTime) cannot date frames taken many a second.
            timed = frame.time.find('.') != std::string::npos;
        } else if (FrameShape::Of(frame) != settled.shape) {
            throw FrameSourceError(SourceFailure::Load, 0, -1,
                                   Mismatch(frames[pick], FrameShape::Of(frame), settled.shape));
        }
        bits |= SampleBits(frame);
        const std::optional<std::int64_t> time = TimeOf(frame);
        if (pick == 0 && time)
            settled.header.dateTimeUtc = *time;
        timed = timed && time && (times.empty() || *time > times.back());
        if (time)
            times.push_back(*time);
    }
    SerSampleFormat& format = settled.format;
    format.width = settled.shape.width;
    format.height = settled.shape.height;
    format.planes = settled.shape.planes;
    format.bytesPerSample = frame.bytesPerSample;
    format.colour = settled.shape.planes == 3 ? SerColour::Rgb : SerColour::Mono;
    if (const auto pattern = ParseBayerPattern(settled.shape.bayer); pattern && settled.shape.planes == 1)
        format.colour = SerColour(LayoutOf(*pattern));
    // As a SER file's: the bits the data uses, never below 8.
    format.depth = std::max(8, std::int32_t(std::bit_width(bits)));
    settled.framesTimed = timed && times.size() == picks.size();
    if (settled.framesTimed && frames.size() >= 2)
        settled.frameRate = double(frames.size() - 1) * double(kTicksPerSecond) / double(times.back() - times.front());
    return settled;
}

// One frame read and converted ahead of the sink, with the buffers it keeps
// from frame to frame.
struct StillSlot {
    std::uint32_t index = 0;
    StillFrame still;     // the stored samples, as the file holds them
    PageBuffer picture;   // the 24-bit picture, or the grey plane
    std::optional<std::int64_t> utcTicks;
    AheadMeasurement measured;
};

class FrameFolderSource final : public FrameSource {
public:
    FrameFolderSource(std::vector<std::string> frames, StillReader read, Settled settled)
        : m_frames(std::move(frames)), m_read(read), m_settled(std::move(settled)), m_converter(m_settled.format)
    {}

    std::optional<VideoInfo> video() override
    {
        VideoInfo info;
        info.frameRate = m_settled.frameRate;
        info.length = double(m_frames.size()) / m_settled.frameRate;
        info.width = m_settled.format.width;
        info.height = m_settled.format.height;
        const SerSampleFormat& f = m_settled.format;
        info.samples = SampleLayout{f.depth, f.bytesPerSample, false, std::int32_t(f.colour)};
        return info;
    }

    // Every play reads each frame from its own file.
    bool replaysAsNew() const override { return true; }

    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        // Named, not bound: a lambda below captures the first frame.
        const PlayedFrames played = FramesToPlay(limits, std::uint32_t(m_frames.size()), m_settled.frameRate);
        const std::uint32_t first = played.first;
        const std::uint32_t count = played.count;
        const bool gray = m_converter.grayFormat() && sink.acceptsGrayFrames();
        const std::optional<FrameMeasurer> measurer = sink.measurerAhead();
        const FrameMeasurer* measuring = measurer ? &*measurer : nullptr;
        const std::size_t pictureBytes = pictureSize(gray);
        const std::size_t frameBytes = std::size_t(m_settled.format.height) * m_converter.rowBytes();
        PlayAhead<StillSlot>(
            count, ReadingThreads(), frameBytes + pictureBytes,
            [&](StillSlot& slot) {
                slot.still.samples.reserve(frameBytes);
                if (pictureBytes > 0)
                    slot.picture = PageBuffer(pictureBytes);
            },
            [&] {
                return [this, gray, measuring, first,
                        converter = SerConverter(m_settled.format)](StillSlot& slot, std::uint32_t index) mutable {
                    fill(slot, first + index, gray, converter);
                    if (measuring != nullptr)
                        measuring->measure(picture(slot, gray), slot.measured);
                };
            },
            [&](StillSlot& slot) { return deliver(slot, gray, sink); });
    }

private:
    std::size_t pictureSize(bool gray) const
    {
        const std::size_t pixels = std::size_t(m_settled.format.width) * std::size_t(m_settled.format.height);
        if (!gray)
            return pixels * 3;
        return m_converter.storedAsGray() ? 0 : pixels;
    }

    void fill(StillSlot& slot, std::uint32_t index, bool gray, SerConverter& converter) const
    {
        slot.index = index;
        slot.measured.valid = false;
        const std::string& path = m_frames[index];
        ReadFrame(m_read, path, m_settled.floatScale, slot.still, SourceFailure::Decode);
        if (const FrameShape shape = FrameShape::Of(slot.still); shape != m_settled.shape)
            throw FrameSourceError(SourceFailure::Decode, 0, -1, Mismatch(path, shape, m_settled.shape));
        slot.utcTicks = std::nullopt;
        if (m_settled.framesTimed)
            slot.utcTicks = TimeOf(slot.still);
        else if (index == 0 && m_settled.header.dateTimeUtc != 0)
            slot.utcTicks = m_settled.header.dateTimeUtc;
        if (!gray)
            converter.convert(slot.still.samples.data(), slot.picture.data());
        else if (!converter.storedAsGray())
            converter.convertGrayRows(slot.still.samples.data(), slot.picture.data(), 0, m_settled.format.height);
    }

    FrameView picture(const StillSlot& slot, bool gray) const
    {
        return ConvertedPicture(m_settled.format.width, m_settled.format.height, gray,
                                slot.picture.empty() ? nullptr : slot.picture.data(), slot.still.samples.data());
    }

    std::int32_t deliver(StillSlot& slot, bool gray, FrameSink& sink) const
    {
        const NativeFrame native =
            NativeFrameOf(m_settled.format, slot.still.samples.data(), &m_settled.header, slot.utcTicks);
        SourceFrame frame;
        frame.sampleTime = double(slot.index) / m_settled.frameRate;
        frame.native = &native;
        frame.measured = slot.measured.valid ? &slot.measured : nullptr;
        HandOverPicture(frame, picture(slot, gray), gray, slot.picture.data(), slot.picture.size());
        return sink.FrameCB(frame);
    }

    std::vector<std::string> m_frames;
    StillReader m_read;
    Settled m_settled;
    SerConverter m_converter;   // for its questions only: each reader converts with its own
};

}   // namespace

std::unique_ptr<FrameSource> OpenFrameFolderSource(std::vector<std::string> frames, StillReader read)
{
    if (frames.empty())
        throw FrameSourceError(SourceFailure::Load);
    if (read == nullptr) {
        static const StillModule module = LoadStillModule();
        if (module.read == nullptr)
            throw FrameSourceError(SourceFailure::Load, 0, -1, module.problem);
        read = module.read;
    }
    Settled settled = SettleCapture(read, frames);
    return std::make_unique<FrameFolderSource>(std::move(frames), read, std::move(settled));
}
