// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/capture_info.h"

#include "analysis/debayer_crop.h"
#include "capture/capture_facts.h"
#include "run/capture_times.h"
#include "run/joined_source.h"
#include "time/capture_time.h"

#include <cstdio>

namespace {

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void VideoFacts(CaptureFactList& facts, const VideoInfo& video, const std::string& path)
{
    facts.emplace_back("width", std::to_string(video.width));
    facts.emplace_back("height", std::to_string(video.height));
    if (video.declaredFrames)
        facts.emplace_back("frames", std::to_string(*video.declaredFrames));
    else if (video.frameRate > 0 && video.length > 0)
        facts.emplace_back("frames", std::to_string(std::int64_t(video.frameRate * video.length + 0.5)));
    if (video.frameRate > 0)
        facts.emplace_back("stream_fps", Number(video.frameRate));
    if (!video.samples)
        return;
    facts.emplace_back("depth", std::to_string(DeclaredDepthOf(path).value_or(video.samples->depth)));
    const std::int32_t colour = video.samples->colour;
    facts.emplace_back("colour",
                       IsMosaic(colour)             ? "Bayer " + std::string(MosaicName(colour))
                           : colour == kSamplesMono ? std::string("mono")
                                                    : std::string("RGB"));
}

void SidecarFacts(CaptureFactList& facts, const orbicrop::capture::CaptureFacts& sidecar)
{
    facts.emplace_back("sidecar", sidecar.sidecarPath);
    const auto text = [&](const char* key, const std::optional<std::string>& value) {
        if (value && !value->empty())
            facts.emplace_back(key, *value);
    };
    const auto number = [&](const char* key, const std::optional<double>& value) {
        if (value)
            facts.emplace_back(key, Number(*value));
    };
    text("camera", sidecar.camera);
    text("filter", sidecar.filter);
    text("target", sidecar.target);
    number("exposure_seconds", sidecar.exposureSeconds);
    number("gain", sidecar.gain);
    number("average_fps", sidecar.averageFps);
    if (sidecar.framesCaptured)
        facts.emplace_back("frames_captured", std::to_string(*sidecar.framesCaptured));
    if (sidecar.startUtc)
        facts.emplace_back("sidecar_start", IsoUtc(*sidecar.startUtc));
    if (sidecar.endUtc)
        facts.emplace_back("end", IsoUtc(*sidecar.endUtc));
    if (sidecar.midUtc)
        facts.emplace_back("mid", IsoUtc(*sidecar.midUtc));
}

}   // namespace

std::optional<CaptureFactList> CaptureInfo(const std::string& path, const orbicrop::capture::NameTimeChoices& names,
                                           std::optional<std::int64_t> startTime, std::string& why,
                                           const SourceOpener& open)
{
    const auto [source, video] = OpenDescribed(path, open);
    if (!source) {
        why = "it is no capture we read";
        return std::nullopt;
    }
    if (!video) {
        why = "it holds no video";
        return std::nullopt;
    }
    CaptureFactList facts;
    VideoFacts(facts, *video, path);
    CaptureTimes times = CaptureTimesOf(path, names, startTime);
    if (video->samples)
        times.stamps = CaptureTimeOfFrame(*source, 0);
    if (const std::optional<std::int64_t> start = times.trusted()) {
        facts.emplace_back("start", IsoUtc(*start));
        facts.emplace_back("time_from", std::string(NameOf(times.from())));
    }
    if (times.sidecar)
        SidecarFacts(facts, *times.sidecar);
    // The log's words, without its indent.
    for (const std::string& line : times.disagreements())
        facts.emplace_back("note", line.substr(line.find_first_not_of(" -")));
    return facts;
}
