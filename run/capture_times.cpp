// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/capture_times.h"

#include "fileio/frame_sequence.h"

#include "capture/sidecar.h"
#include "time/capture_time.h"

#include <cstdio>
#include <cstdlib>

using orbicrop::capture::FactsSource;

std::string_view NameOf(TimeFrom from)
{
    switch (from) {
    case TimeFrom::None: return {};
    case TimeFrom::SerTrailer: return "ser trailer";
    case TimeFrom::FrameFiles: return "frame files";
    case TimeFrom::FireCaptureSidecar: return "firecapture sidecar";
    case TimeFrom::SharpCapSidecar: return "sharpcap sidecar";
    case TimeFrom::FileName: return "file name";
    case TimeFrom::Option: return "option";
    }
    return {};
}

namespace {

std::optional<std::int64_t> SidecarStart(const CaptureTimes& times)
{
    return times.sidecar ? times.sidecar->startUtc : std::nullopt;
}

TimeFrom SidecarKind(const CaptureTimes& times)
{
    return times.sidecar && times.sidecar->source == FactsSource::SharpCapSidecar ? TimeFrom::SharpCapSidecar
                                                                                  : TimeFrom::FireCaptureSidecar;
}

// How far two times of one capture may lie apart before it is worth a word.
std::int64_t Tolerance(TimeFrom source)
{
    constexpr std::int64_t kTwoSeconds = 2 * kTicksPerSecond;
    // WinJUPOS-style names hold the time to a tenth of a minute.
    return source == TimeFrom::FileName ? kTwoSeconds + 6 * kTicksPerSecond : kTwoSeconds;
}

std::string Seconds(std::int64_t ticks)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(ticks) / double(kTicksPerSecond));
    return text;
}

}   // namespace

std::optional<std::int64_t> CaptureTimes::start() const
{
    if (const auto sidecarStart = SidecarStart(*this))
        return sidecarStart;
    return name ? name : option;
}

TimeFrom CaptureTimes::from() const
{
    if (stamps)
        return stillFrames ? TimeFrom::FrameFiles : TimeFrom::SerTrailer;
    if (SidecarStart(*this))
        return SidecarKind(*this);
    if (name)
        return TimeFrom::FileName;
    return option ? TimeFrom::Option : TimeFrom::None;
}

std::optional<std::int64_t> CaptureTimes::trusted() const
{
    return stamps ? stamps : start();
}

std::vector<std::string> CaptureTimes::disagreements() const
{
    std::vector<std::string> lines;
    const std::optional<std::int64_t> best = trusted();
    if (!best)
        return lines;
    const TimeFrom trustedFrom = from();
    const std::pair<TimeFrom, std::optional<std::int64_t>> others[] = {
        {SidecarKind(*this), SidecarStart(*this)}, {TimeFrom::FileName, name}, {TimeFrom::Option, option}};
    for (const auto& [source, time] : others) {
        if (!time || source == trustedFrom)
            continue;
        const std::int64_t apart = *time - *best;
        if (std::llabs(apart) > Tolerance(source))
            lines.push_back(" - The " + std::string(NameOf(source)) + " gives the start as " + IsoUtc(*time) + ", "
                            + Seconds(apart) + " s from the " + std::string(NameOf(trustedFrom)) + "'s " + IsoUtc(*best)
                            + ", which is taken");
    }
    return lines;
}

CaptureTimes CaptureTimesOf(const std::string& path, const orbicrop::capture::NameTimeChoices& names,
                            std::optional<std::int64_t> option)
{
    CaptureTimes times;
    times.sidecar = orbicrop::capture::SidecarFacts(path);
    orbicrop::capture::NameTimeChoices choices = names;
    if (times.sidecar && times.sidecar->utcOffsetSeconds)
        choices.utcOffsetSeconds = times.sidecar->utcOffsetSeconds;
    times.name = orbicrop::capture::UtcTimeInName(path, choices);
    times.option = option;
    times.stillFrames = IsFrameSequence(path);
    return times;
}
