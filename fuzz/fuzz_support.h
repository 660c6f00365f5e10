// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>
#include <unistd.h>

// Names the broken property: the checks are inlined, so a stack trace alone
// would not.
inline void FuzzCheck(bool condition, const char* text, int line)
{
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d: %s\n", line, text);
        std::abort();
    }
}
#define CHECK(condition) FuzzCheck((condition), #condition, __LINE__)

// A directory of its own for one input, removed after it. In memory where
// the system has such a file system: the files are written at every input.
class FuzzScratch {
public:
    explicit FuzzScratch(const std::string& name)
    {
        namespace fs = std::filesystem;
        const fs::path shm = "/dev/shm";
        std::error_code ec;
        const fs::path base = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
        m_dir = base / ("orbicrop-fuzz-" + name + "-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    ~FuzzScratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;
    std::string file(const char* name) const { return (m_dir / name).string(); }

private:
    std::filesystem::path m_dir;
};

// Touches every byte it is handed, so that the sanitizer sees any frame
// that reaches past its buffer.
class TouchingSink final : public FrameSink {
public:
    TouchingSink(std::int32_t width, std::int32_t height, bool gray, bool readsSamples = true)
        : m_width(width), m_height(height), m_gray(gray), m_readsSamples(readsSamples)
    {}
    bool readsStoredSamples() const override { return m_readsSamples; }

    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override
    {
        CHECK(std::isfinite(sampleTime) && sampleTime >= 0.0);
        CHECK(std::int64_t(bufferLength) == std::int64_t(m_width) * m_height * 3);
        for (std::int32_t i = 0; i < bufferLength; ++i)
            m_sum += buffer[i];
        ++m_frames;
        return 0;
    }
    bool acceptsGrayFrames() const override { return m_gray; }
    std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        CHECK(std::isfinite(sampleTime) && sampleTime >= 0.0);
        CHECK(std::abs(stride) >= m_width);
        for (std::int32_t y = 0; y < m_height; ++y)
            for (std::int32_t x = 0; x < m_width; ++x)
                m_sum += bottomRow[std::ptrdiff_t(y) * stride + x];
        ++m_frames;
        return 0;
    }
    std::uint32_t frames() const { return m_frames; }

private:
    std::int32_t m_width;
    std::int32_t m_height;
    bool m_gray;
    bool m_readsSamples;
    std::uint32_t m_frames = 0;
    std::uint64_t m_sum = 0;
};

// Keeps every frame as the reference decoding lays it out: 24-bit rows
// bottom-up, grey rows top-down.
class RecordingSink final : public FrameSink {
public:
    struct Frame {
        double seconds;
        std::vector<std::uint8_t> pixels;
    };

    RecordingSink(std::int32_t width, std::int32_t height, bool gray) : m_width(width), m_height(height), m_gray(gray)
    {}

    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override
    {
        frames.push_back({sampleTime, std::vector<std::uint8_t>(buffer, buffer + bufferLength)});
        return 0;
    }
    bool acceptsGrayFrames() const override { return m_gray; }
    std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        Frame frame{sampleTime, {}};
        for (std::int32_t y = m_height - 1; y >= 0; --y)
            frame.pixels.insert(frame.pixels.end(), bottomRow + std::ptrdiff_t(y) * stride,
                                bottomRow + std::ptrdiff_t(y) * stride + m_width);
        frames.push_back(std::move(frame));
        return 0;
    }

    std::vector<Frame> frames;

private:
    std::int32_t m_width;
    std::int32_t m_height;
    bool m_gray;
};
