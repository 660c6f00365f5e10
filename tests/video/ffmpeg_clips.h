// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Support for the FFmpeg frame source's tests: tiny clips made with the ffmpeg
// command-line tool in a temporary folder, pixel patterns to feed it, and a
// sink that records what it receives.

#include "analysis/frame_sink.h"
#include "video/frame_source.h"
#include "video/ffmpeg/avi_frame_reader.h"
#include "video/ffmpeg/ffmpeg_source.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace clips {

using Bytes = std::vector<std::uint8_t>;

// A temporary folder in which clips are made with the ffmpeg program.
class ClipFolder : public TempDir {
public:
    // Runs ffmpeg with the given arguments, ending with the output name; the
    // test fails when ffmpeg does.
    std::string ffmpeg(const std::string& arguments, const std::string& output) const
    {
        RequireTool("ffmpeg");
        const std::string out = file(output);
        const CommandResult r =
            RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " " + ShellQuote(out), path());
        EXPECT_EQ(r.status, 0) << arguments << ": " << r.err;
        return out;
    }

    // Raw frames (rawvideo of pixelFormat, top-down) made into a clip.
    std::string encode(const Bytes& frames, const std::string& pixelFormat, int width, int height, int rate,
                       const std::string& outputArguments, const std::string& output) const
    {
        const std::string raw = write(output + ".raw", frames);
        return ffmpeg("-f rawvideo -pix_fmt " + pixelFormat + " -s " + std::to_string(width) + "x"
                          + std::to_string(height) + " -r " + std::to_string(rate) + " -i '" + raw + "' "
                          + outputArguments,
                      output);
    }

    // What ffmpeg itself decodes from a clip, as bottom-up BGR frames.
    Bytes reference(const std::string& clip,
                    const std::string& swsFlags = "bilinear+accurate_rnd+full_chroma_int+bitexact") const
    {
        const std::string out =
            ffmpeg("-i '" + clip + "' -map 0:v:0 -sws_flags " + swsFlags + " -vf format=bgr24,vflip -f rawvideo",
                   std::filesystem::path(clip).filename().string() + ".ref.raw");
        return ReadFileBytes(out);
    }
};

// Top-down frames whose bytes run through every value: byte c of pixel
// (x, y) of frame k. channels is 3 for BGR or RGB, 1 for grey.
inline Bytes patternFrames(int width, int height, int count, int channels)
{
    Bytes bytes;
    bytes.reserve(std::size_t(width) * height * channels * count);
    for (int k = 0; k < count; ++k)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < channels; ++c)
                    bytes.push_back(std::uint8_t((y * width + x) * channels + c + 37 * k));
    return bytes;
}

// BGR frames whose flat green tells their index, for lossy codecs: it steps
// down by 7 per frame from 230 (up to 31 frames). Blue and red are flat too,
// or, with noisy, fresh noise in every frame, which makes frames of a
// realistic coded size.
inline Bytes indexedFrames(int width, int height, int count, bool noisy = false)
{
    Bytes bytes;
    std::uint32_t state = 12345;
    auto noise = [&state] {
        state = state * 1664525u + 1013904223u;
        return std::uint8_t(state >> 24);
    };
    for (int k = 0; k < count; ++k)
        for (int i = 0; i < width * height; ++i) {
            bytes.push_back(noisy ? noise() : std::uint8_t(60 + 5 * k));
            bytes.push_back(std::uint8_t(230 - 7 * k));
            bytes.push_back(noisy ? noise() : 120);
        }
    return bytes;
}

// The index an indexedFrames frame carries, from its mean green.
inline int frameIndexOf(const Bytes& bgr)
{
    double sum = 0;
    for (std::size_t i = 1; i < bgr.size(); i += 3)
        sum += bgr[i];
    return int(std::lround((230.0 - sum / double(bgr.size() / 3)) / 7.0));
}

// Top-down rows turned bottom-up, frame by frame.
inline Bytes flipRows(const Bytes& frames, int rowBytes, int height)
{
    Bytes out(frames.size());
    const std::size_t frameBytes = std::size_t(rowBytes) * height;
    for (std::size_t f = 0; f < frames.size() / frameBytes; ++f)
        for (int y = 0; y < height; ++y)
            std::copy_n(frames.begin() + std::ptrdiff_t(f * frameBytes + std::size_t(y) * rowBytes), rowBytes,
                        out.begin() + std::ptrdiff_t(f * frameBytes + std::size_t(height - 1 - y) * rowBytes));
    return out;
}

struct Received {
    double sampleTime;
    Bytes bytes;
    std::int32_t length;
    std::thread::id thread;
};

class RecordingSink : public FrameSink {
public:
    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t length) override
    {
        frames.push_back({sampleTime, Bytes(buffer, buffer + length), length, std::this_thread::get_id()});
        return std::int32_t(frames.size()) == stopAfter ? 1 : 0;
    }

    Bytes allBytes() const
    {
        Bytes all;
        for (const Received& f : frames)
            all.insert(all.end(), f.bytes.begin(), f.bytes.end());
        return all;
    }
    std::vector<int> indices() const
    {
        std::vector<int> out;
        for (const Received& f : frames)
            out.push_back(frameIndexOf(f.bytes));
        return out;
    }

    std::vector<Received> frames;
    std::int32_t stopAfter = -1;   // answer "stop" after this many frames
};

// Records grey frames, rows top-down.
class GraySink : public RecordingSink {
public:
    GraySink(int width, int height) : m_width(width), m_height(height) {}
    bool acceptsGrayFrames() const override { return true; }
    std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        Bytes picture;
        for (int y = m_height - 1; y >= 0; --y)
            picture.insert(picture.end(), bottomRow + y * stride, bottomRow + y * stride + m_width);
        frames.push_back({sampleTime, picture, m_width * m_height, std::this_thread::get_id()});
        return 0;
    }

private:
    int m_width;
    int m_height;
};

// A file opened with FFmpeg's source (whichever source the programs would
// choose for it): its video stream described.
struct Opened {
    std::unique_ptr<FrameSource> source;
    VideoInfo info;
};

inline Opened openVideo(const std::string& path)
{
    Opened opened{std::make_unique<FfmpegSource>(path), {}};
    const std::optional<VideoInfo> video = opened.source->video();
    if (!video)
        throw std::runtime_error("no video stream in " + path);
    opened.info = *video;
    return opened;
}

// Limits that stop at a time given in 100 ns ticks.
inline PlayLimits StopAt(std::int64_t ticks, std::int32_t maxFrames = 0)
{
    return {maxFrames, double(ticks) / 1e7};
}

// Plays a whole file (or up to a stop in 100 ns ticks and a frame count)
// into a recording sink.
inline RecordingSink playFile(const std::string& path, std::int64_t stopTicks = -1, std::int32_t maxFrames = 0)
{
    Opened opened = openVideo(path);
    RecordingSink sink;
    PlayLimits limits = stopTicks < 0 ? PlayLimits{} : StopAt(stopTicks);
    limits.maxFrames = maxFrames;
    opened.source->play(limits, sink);
    return sink;
}

// Whether FFmpeg's straight reader takes the first stream of path, opened as
// the frame source opens it: its decoder turns the first chunk into exactly
// the stored bytes, laid out as the reader takes them.
inline bool ReadStraight(const std::string& path)
{
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return false;
    FormatContextPtr format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return false;
    const AVCodecParameters& parameters = *format->streams[0]->codecpar;
    CodecContextPtr decoder(avcodec_alloc_context3(avcodec_find_decoder(parameters.codec_id)));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), &parameters) < 0
        || avcodec_open2(decoder.get(), nullptr, nullptr) < 0)
        return false;
    return OpenAviFrameReader(path, *format, 0, *decoder, parameters.width, std::abs(parameters.height)) != nullptr;
}

inline std::vector<int> iota(int count)
{
    std::vector<int> out;
    for (int i = 0; i < count; ++i)
        out.push_back(i);
    return out;
}

}   // namespace clips
