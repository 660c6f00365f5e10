// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/disc_video.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>

// A corpus of damaged and unusual inputs, made in a folder by the tests.
// Each entry says what the tool must answer when the file is the first of a
// batch: the exit status and a text it prints on standard error.
struct BadInput {
    std::string name;
    std::function<void(const std::string& path)> make;
    int exitWhenFirst;     // 0: processed; 1: the test fails
    std::string message;   // on standard error; empty when processed
};

inline std::vector<std::uint8_t> FileBytes(const std::string& path)
{
    // Nothing to compare in a folder, and a named pipe would wait for a writer.
    if (!std::filesystem::is_regular_file(path))
        return {};
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A good 64 x 48 clip with a planet in the middle.
inline DiscClip SmallClip(std::int32_t width = 64, std::int32_t height = 48)
{
    DiscClip clip;
    clip.width = width;
    clip.height = height;
    clip.radius = 8;
    clip.path = [width, height](std::int32_t, double& cx, double& cy) {
        cx = (width / 8) * 4 - 0.5;
        cy = (height / 8) * 4 - 0.5;
    };
    return clip;
}

// The good clip with width and height changed in both the main header and
// the stream format.
inline void WriteWithClaimedSize(const std::string& path, std::int32_t width, std::int32_t height)
{
    SmallClip().write(path, 3);
    auto bytes = FileBytes(path);
    auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&bytes[at], &v, 4); };
    put(64, width);   // avih dwWidth, dwHeight
    put(68, height);
    const std::string strf = "strf";
    const auto it = std::search(bytes.begin(), bytes.end(), strf.begin(), strf.end());
    const std::size_t header = std::size_t(it - bytes.begin()) + 8;
    put(header + 4, width);   // biWidth, biHeight
    put(header + 8, height);
    WriteBytes(path, bytes);
}

// Broken, odd and missing AVIs, and what is no file at all.
inline std::vector<BadInput> BadAviInputs()
{
    std::vector<BadInput> corpus;
    corpus.push_back({"empty.avi", [](const std::string& p) { WriteBytes(p, {}); }, 1, "Couldn't load the file!"});
    corpus.push_back({"random.avi",
                      [](const std::string& p) {
                          std::mt19937 rng(11);
                          std::vector<std::uint8_t> bytes(200000);
                          for (auto& b : bytes)
                              b = std::uint8_t(rng());
                          WriteBytes(p, bytes);
                      },
                      1, "Couldn't load the file!"});
    corpus.push_back({"cut inside a frame.avi",
                      [](const std::string& p) {
                          SmallClip().write(p, 5);
                          auto bytes = FileBytes(p);
                          bytes.resize(bytes.size() - 2 * 64 * 48 * 3 - 1000);
                          WriteBytes(p, bytes);
                      },
                      0, ""});
    corpus.push_back({"cut inside the header.avi",
                      [](const std::string& p) {
                          SmallClip().write(p, 5);
                          auto bytes = FileBytes(p);
                          bytes.resize(200);
                          WriteBytes(p, bytes);
                      },
                      1, "Couldn't load the file!"});
    corpus.push_back({"huge.avi", [](const std::string& p) { WriteWithClaimedSize(p, 100000, 100000); }, 1,
                      "Failed in EnterBitmapGrabMode!"});
    corpus.push_back({"negative.avi", [](const std::string& p) { WriteWithClaimedSize(p, -64, -48); }, 1,
                      "Failed in EnterBitmapGrabMode!"});
    corpus.push_back({"zero size.avi", [](const std::string& p) { WriteWithClaimedSize(p, 0, 0); }, 1,
                      "Failed in EnterBitmapGrabMode!"});
    corpus.push_back({"corrupt chunk.avi",
                      [](const std::string& p) {
                          SmallClip().write(p, 5);
                          auto bytes = FileBytes(p);
                          const std::string id = "00db";
                          auto it = std::search(bytes.begin(), bytes.end(), id.begin(), id.end());
                          it = std::search(it + 8, bytes.end(), id.begin(), id.end());   // the second frame
                          std::memcpy(&*it, "zz\xff\xff\xff\x7f\x00\x00", 8);
                          WriteBytes(p, bytes);
                      },
                      0, ""});
    corpus.push_back({"audio only.avi",
                      [](const std::string& p) {
                          RunProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=d=1", "-f", "avi", p},
                                     std::filesystem::path(p).parent_path().string());
                      },
                      1, "Couldn't find a video stream"});
    corpus.push_back({"a named pipe.avi", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, 1,
                      "Couldn't load the file! (a named pipe.avi is not a regular file)"});
    corpus.push_back({"missing.avi", [](const std::string&) {}, 1, "The file does not exist!"});
    corpus.push_back({"blanks and ünïcödé ☉.avi", [](const std::string& p) { SmallClip().write(p, 3); }, 0, ""});
    corpus.push_back(
        {"one pixel.avi", [](const std::string& p) { SmallClip(1, 1).write(p, 3); }, 1, "COG Threshold Too High!"});
    corpus.push_back(
        {"three by two.avi", [](const std::string& p) { SmallClip(3, 2).write(p, 3); }, 1, "COG Threshold Too High!"});
    corpus.push_back(
        {"smaller than the output.avi", [](const std::string& p) { SmallClip(24, 16).write(p, 3); }, 0, ""});
    corpus.push_back({"one frame.avi", [](const std::string& p) { SmallClip().write(p, 1); }, 0, ""});
    corpus.push_back(
        {"no frame.avi", [](const std::string& p) { SmallClip().write(p, 0); }, 1, "The video holds no frame"});
    return corpus;
}

// SER captures with impossible headers.
inline std::vector<BadInput> BadSerInputs()
{
    std::vector<BadInput> corpus;
    auto ser = [](std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t colour,
                  std::size_t keepBytes) {
        return [=](const std::string& p) {
            SerClip clip;
            clip.width = 16;
            clip.height = 12;
            clip.depth = 8;
            clip.colourId = colour;
            clip.addFrame([](std::int32_t x, std::int32_t y, std::int32_t) { return (x * 7 + y * 3) & 255; });
            auto bytes = clip.bytes();
            auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&bytes[at], &v, 4); };
            put(26, width);
            put(30, height);
            put(34, depth);
            if (keepBytes)
                bytes.resize(keepBytes);
            WriteBytes(p, bytes);
        };
    };
    const std::string load = "Couldn't load the file!";
    corpus.push_back({"short header.ser", ser(16, 12, 8, 0, 100), 1, load});
    corpus.push_back({"zero width.ser", ser(0, 12, 8, 0, 0), 1, load});
    corpus.push_back({"too wide.ser", ser(16385, 12, 8, 0, 0), 1, load});
    corpus.push_back({"depth zero.ser", ser(16, 12, 0, 0, 0), 1, load});
    corpus.push_back({"depth 17.ser", ser(16, 12, 17, 0, 0), 1, load});
    corpus.push_back({"unknown colour.ser", ser(16, 12, 8, 42, 0), 1, load});
    corpus.push_back({"overflowing size.ser", ser(0x7fffffff, 0x7fffffff, 16, 100, 0), 1, load});
    return corpus;
}

inline std::vector<BadInput> BadInputCorpus(const std::string& makeSample)
{
    (void)makeSample;
    std::vector<BadInput> corpus = BadAviInputs();
    std::ranges::move(BadSerInputs(), std::back_inserter(corpus));
    return corpus;
}
