// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/frame_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

// An in-memory frame source that keeps the delivery contract, with frames
// drawn by a function of the frame index and failures injectable per step.
class SyntheticSource : public FrameSource {
public:
    using Painter = std::function<void(std::int32_t index, std::uint8_t* bgrBottomUp)>;

    struct Options {
        std::int32_t width = 64;
        std::int32_t height = 48;
        std::int32_t frames = 10;
        double frameRate = 25.0;
        std::optional<double> length{};         // seconds; default frames / rate
        std::vector<bool> videoStreams{true};   // which streams are video
        std::string failAt{};                   // "streams", "put", "type", "grab", "duration", "run", "wait"
        bool grayFrames = false;                // hand grey frames (the blue bytes), top-down, to sinks that take them
        // Hand colour frames as green and a painter, to sinks that take them;
        // bytes outside the windows painted are junk.
        bool paintedFrames = false;
        bool replaysAsNew = false;
        // When set, each frame is measured with the sink's measurer, as a
        // source reading ahead does, and the measurement passes through this
        // before it is handed over: a test may falsify it to see it used.
        std::function<void(AheadMeasurement&)> ahead{};
    };
    // What the last play() did; kept by the test, since the run drops the source.
    struct Played {
        std::int32_t frames = 0;
        double stopTime = -1.0;
        std::int32_t maxFrames = -1;
    };

    SyntheticSource(Options options, Painter painter, Played* played = nullptr)
        : m_options(std::move(options)), m_painter(std::move(painter)), m_played(played)
    {}

    std::optional<VideoInfo> video() override
    {
        fail("streams", SourceFailure::Streams);
        for (std::size_t i = 0; i < m_options.videoStreams.size(); ++i) {
            fail("put", SourceFailure::SelectStream, std::int32_t(i));
            fail("type", SourceFailure::StreamType, std::int32_t(i));
            if (!m_options.videoStreams[i])
                continue;
            fail("duration", SourceFailure::Duration);
            VideoInfo info;
            info.frameRate = m_options.frameRate;
            info.length = m_options.length ? *m_options.length : m_options.frames / m_options.frameRate;
            info.width = m_options.width;
            info.height = m_options.height;
            return info;
        }
        return std::nullopt;
    }

    bool replaysAsNew() const override { return m_options.replaysAsNew; }

    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        fail("grab", SourceFailure::Prepare);
        fail("run", SourceFailure::Start);
        std::vector<std::uint8_t> frame(std::size_t(m_options.width) * std::size_t(m_options.height) * 3);
        const std::optional<FrameMeasurer> measurer = m_options.ahead ? sink.measurerAhead() : std::nullopt;
        AheadMeasurement measured;
        std::int32_t delivered = 0;
        for (std::int32_t i = 0; i < m_options.frames; ++i) {
            const double time = i / m_options.frameRate;
            if (time >= limits.stopTime || (limits.maxFrames > 0 && delivered >= limits.maxFrames))
                break;
            std::fill(frame.begin(), frame.end(), 0);
            m_painter(i, frame.data());
            if (measurer) {
                measurer->measure(
                    {frame.data(), std::ptrdiff_t(m_options.width) * 3, m_options.width, m_options.height, 3},
                    measured);
                m_options.ahead(measured);
            }
            SourceFrame handed;
            handed.sampleTime = time;
            handed.measured = measurer ? &measured : nullptr;
            std::vector<std::uint8_t> gray;
            WindowPainter painter(frame, m_options.width, m_options.height);
            if (m_options.paintedFrames && sink.acceptsPaintedFrames()) {
                gray.resize(frame.size() / 3);
                for (std::size_t p = 0; p < gray.size(); ++p)
                    gray[p] = frame[p * 3 + 1];
                handed.grayBottomRow = gray.data();
                handed.grayStride = m_options.width;
                handed.painter = &painter;
            } else if (m_options.grayFrames && sink.acceptsGrayFrames()) {
                const std::size_t w = std::size_t(m_options.width);
                const std::size_t h = std::size_t(m_options.height);
                gray.resize(w * h);
                for (std::size_t y = 0; y < h; ++y)   // stored top-down, as decoders do
                    for (std::size_t x = 0; x < w; ++x)
                        gray[(h - 1 - y) * w + x] = frame[(y * w + x) * 3];
                handed.grayBottomRow = gray.data() + (h - 1) * w;
                handed.grayStride = -std::ptrdiff_t(w);
            } else {
                handed.buffer = frame.data();
                handed.bufferLength = std::int32_t(frame.size());
            }
            const std::int32_t status = sink.FrameCB(handed);
            ++delivered;
            if (status != 0)
                break;
        }
        if (m_played) {
            m_played->frames = delivered;
            m_played->stopTime = limits.stopTime;
            m_played->maxFrames = limits.maxFrames;
        }
        fail("wait", SourceFailure::Decode);
    }

private:
    // Converts by copying from the whole frame, into a picture that holds
    // junk wherever nothing was asked for.
    class WindowPainter final : public FramePainter {
    public:
        WindowPainter(const std::vector<std::uint8_t>& frame, std::int32_t width, std::int32_t height)
            : m_frame(frame), m_picture(frame.size(), 0xA5), m_width(width), m_height(height)
        {}
        std::uint8_t* paint(std::int32_t left, std::int32_t bottom, std::int32_t width, std::int32_t height) override
        {
            for (std::int32_t y = std::max(bottom, 0); y < std::min(bottom + height, m_height); ++y)
                for (std::int32_t x = std::max(left, 0); x < std::min(left + width, m_width); ++x)
                    for (std::size_t k = 0; k < 3; ++k) {
                        const std::size_t at = (std::size_t(y) * std::size_t(m_width) + std::size_t(x)) * 3 + k;
                        m_picture[at] = m_frame[at];
                    }
            return m_picture.data();
        }

    private:
        const std::vector<std::uint8_t>& m_frame;
        std::vector<std::uint8_t> m_picture;
        std::int32_t m_width;
        std::int32_t m_height;
    };

    void fail(const std::string& step, SourceFailure failure, std::int32_t stream = -1)
    {
        if (m_options.failAt == step)
            throw FrameSourceError(failure, -5, stream);
    }

    Options m_options;
    Painter m_painter;
    Played* m_played;
};

// Paints a uniform disc on a dark sky into a bottom-up BGR frame. Centres at
// 4k + 3.5 (between two analysis blocks) keep the disc symmetric on the block
// grid, so its centre of gravity comes out exactly there.
inline void PaintDisc(std::uint8_t* frame, std::int32_t width, std::int32_t height, double cx, double cy, double radius,
                      std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t sky = 8)
{
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = frame + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
            const double dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= radius * radius) {
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            } else {
                p[0] = sky;
                p[1] = sky;
                p[2] = sky;
            }
        }
    }
}
