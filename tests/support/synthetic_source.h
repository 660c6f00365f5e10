#pragma once

#include "video/frame_source.h"

#include <cmath>
#include <cstdint>
#include <functional>
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
        std::optional<double> length;             // seconds; default frames / rate
        std::vector<bool> videoStreams{true};     // which streams are video
        std::string failAt;                       // "streams", "put", "type", "grab", "duration", "run", "wait"
        bool grayFrames = false;                  // hand grey frames (the blue bytes), top-down, to sinks that take them
    };
    // What the last play() did; kept by the test, since the run drops the source.
    struct Played {
        std::int32_t frames = 0;
        std::int64_t stopPosition = -1;
    };

    SyntheticSource(Options options, Painter painter, Played* played = nullptr)
        : m_options(std::move(options)), m_painter(std::move(painter)), m_played(played) {}

    std::int32_t streamCount() override
    {
        fail("streams", "Couldn't get the output streams!");
        return std::int32_t(m_options.videoStreams.size());
    }
    bool isVideoStream(std::int32_t index) override
    {
        fail("put", "Couldn't put stream " + std::to_string(index));
        fail("type", "Couldn't get stream media type for stream " + std::to_string(index));
        return m_options.videoStreams.at(std::size_t(index));
    }
    VideoStreamInfo streamInfo() override
    {
        VideoStreamInfo info;
        info.frameRate = m_options.frameRate;
        info.length = m_options.length ? *m_options.length : m_options.frames / m_options.frameRate;
        info.width = m_options.width;
        info.height = m_options.height;
        return info;
    }
    void enterGrabMode() override { fail("grab", "Failed in EnterBitmapGrabMode!"); }
    std::int64_t duration() override
    {
        fail("duration", "Failed in GetDuration!");
        return std::int64_t(std::llround(streamInfo().length * 1e7));
    }
    void play(std::int64_t stopPosition, std::int32_t maxFrames, FrameSink& sink) override
    {
        fail("run", "Failed to run the graph!");
        std::vector<std::uint8_t> frame(std::size_t(m_options.width) * std::size_t(m_options.height) * 3);
        std::int32_t delivered = 0;
        for (std::int32_t i = 0; i < m_options.frames; ++i) {
            const double time = i / m_options.frameRate;
            if (time * 1e7 >= double(stopPosition) || (maxFrames > 0 && delivered >= maxFrames))
                break;
            std::fill(frame.begin(), frame.end(), 0);
            m_painter(i, frame.data());
            if (m_options.grayFrames && sink.acceptsGrayFrames()) {
                const std::size_t w = std::size_t(m_options.width);
                const std::size_t h = std::size_t(m_options.height);
                std::vector<std::uint8_t> gray(w * h);
                for (std::size_t y = 0; y < h; ++y)   // stored top-down, as decoders do
                    for (std::size_t x = 0; x < w; ++x)
                        gray[(h - 1 - y) * w + x] = frame[(y * w + x) * 3];
                sink.GrayBufferCB(time, gray.data() + (h - 1) * w, -std::ptrdiff_t(w));
            } else {
                sink.BufferCB(time, frame.data(), std::int32_t(frame.size()));
            }
            ++delivered;
        }
        if (m_played) {
            m_played->frames = delivered;
            m_played->stopPosition = stopPosition;
        }
        fail("wait", "Failed in WaitForCompletion!");
    }

private:
    void fail(const std::string& step, const std::string& message)
    {
        if (m_options.failAt == step)
            throw FrameSourceError(message, -2147467259);
    }

    Options m_options;
    Painter m_painter;
    Played* m_played;
};

// Paints a uniform disc on a dark sky into a bottom-up BGR frame. Centres at
// 4k + 3.5 (between two analysis blocks) keep the disc symmetric on the block
// grid, so its centre of gravity comes out exactly there.
inline void PaintDisc(std::uint8_t* frame, std::int32_t width, std::int32_t height, double cx, double cy,
                      double radius, std::uint8_t blue, std::uint8_t green, std::uint8_t red,
                      std::uint8_t sky = 8)
{
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = frame + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
            const double dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= radius * radius) {
                p[0] = blue; p[1] = green; p[2] = red;
            } else {
                p[0] = sky; p[1] = sky; p[2] = sky;
            }
        }
    }
}
