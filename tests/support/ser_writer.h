// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/temp_dir.h"

// Builds SER files for tests, field by field, so that each test states the
// header it wants, including the wrong ones.
struct SerClip {
    char fileId[15] = "LUCAM-RECORDER";
    std::int32_t colourId = 0;
    std::int32_t littleEndianFlag = 0;   // written as given
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 8;
    std::int64_t declaredFrames = -1;   // -1: frames.size()
    bool bigEndianData = false;         // byte order of two-byte samples
    // Samples of each frame, rows top-down, planes interleaved per pixel.
    std::vector<std::vector<std::uint16_t>> frames;
    std::vector<std::int64_t> timestamps;   // written after the frames when not empty

    std::int32_t planes() const { return colourId == 100 || colourId == 101 ? 3 : 1; }
    std::size_t samplesPerFrame() const { return std::size_t(width) * std::size_t(height) * std::size_t(planes()); }
    std::int32_t bytesPerSample() const { return depth > 8 ? 2 : 1; }
    std::size_t frameBytes() const { return samplesPerFrame() * std::size_t(bytesPerSample()); }

    // Appends a frame whose sample k is make(x, y, plane).
    template <class Make>
    void addFrame(Make make)
    {
        std::vector<std::uint16_t> samples;
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x)
                for (std::int32_t p = 0; p < planes(); ++p)
                    samples.push_back(std::uint16_t(make(x, y, p)));
        frames.push_back(std::move(samples));
    }

    std::vector<std::uint8_t> bytes() const
    {
        std::vector<std::uint8_t> out(fileId, fileId + 14);
        auto put = [&out](std::uint64_t v, int size) {
            for (int i = 0; i < size; ++i)
                out.push_back(std::uint8_t(v >> (8 * i)));
        };
        put(0, 4);   // camera id
        put(std::uint32_t(colourId), 4);
        put(std::uint32_t(littleEndianFlag), 4);
        put(std::uint32_t(width), 4);
        put(std::uint32_t(height), 4);
        put(std::uint32_t(depth), 4);
        put(std::uint32_t(declaredFrames < 0 ? std::int64_t(frames.size()) : declaredFrames), 4);
        for (const char* text : {"Observer", "Instrument", "Telescope"}) {
            std::string field(text);
            field.resize(40, '\0');
            out.insert(out.end(), field.begin(), field.end());
        }
        put(638000000000000000ull, 8);
        put(638000000000000000ull, 8);
        for (const auto& frame : frames)
            for (std::uint16_t s : frame) {
                if (bytesPerSample() == 1)
                    out.push_back(std::uint8_t(s));
                else if (bigEndianData)
                    out.insert(out.end(), {std::uint8_t(s >> 8), std::uint8_t(s)});
                else
                    out.insert(out.end(), {std::uint8_t(s), std::uint8_t(s >> 8)});
            }
        for (std::int64_t t : timestamps)
            put(std::uint64_t(t), 8);
        return out;
    }
};
