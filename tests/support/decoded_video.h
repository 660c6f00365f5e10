// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/subprocess.h"

#include <string>
#include <vector>

// Every frame of a video decoded by the ffmpeg program, an independent
// reader: rows top-down, in the given pixel format ("bgr24" or "gray").
inline std::string DecodeWithFfmpeg(const std::string& video, const std::string& pixelFormat,
                                    const std::string& scratchDir)
{
    const std::string raw = scratchDir + "/.decoded";
    const auto r = RunProgram(
        {"ffmpeg", "-v", "error", "-y", "-i", video, "-f", "rawvideo", "-pix_fmt", pixelFormat, raw}, scratchDir);
    if (r.status != 0)
        return {};
    std::string bytes = ReadWholeFile(raw);
    std::remove(raw.c_str());
    return bytes;
}

// Frames and size as ffprobe reports them.
struct ProbedStream {
    int width = 0, height = 0, frames = -1;
    std::string codec, pixelFormat, rate, averageRate;   // rates as ffprobe's ratios, "60000/1001"
};

inline ProbedStream Probe(const std::string& video, const std::string& scratchDir)
{
    const auto r = RunProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                               "stream=codec_name,pix_fmt,width,height,nb_read_frames,r_frame_rate,avg_frame_rate",
                               "-of", "default=nw=1", video},
                              scratchDir);
    ProbedStream p;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "width")
            p.width = std::stoi(value);
        else if (key == "height")
            p.height = std::stoi(value);
        else if (key == "nb_read_frames" && value != "N/A")
            p.frames = std::stoi(value);
        else if (key == "codec_name")
            p.codec = value;
        else if (key == "pix_fmt")
            p.pixelFormat = value;
        else if (key == "r_frame_rate")
            p.rate = value;
        else if (key == "avg_frame_rate")
            p.averageRate = value;
    }
    return p;
}
