// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/capture_facts.h"
#include "capture/name_time.h"
#include "video/frame_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a capture's time came from, in the order it is trusted: the frames'
// own stamps (a SER trailer, or the files of a capture saved as still
// images), a capture program's sidecar, the file's name, the user's
// --start-time.
enum class TimeFrom : std::uint8_t {
    None,
    SerTrailer,
    FireCaptureSidecar,
    SharpCapSidecar,
    FileName,
    Option,
    FrameFiles
};

// "ser trailer", "firecapture sidecar", "sharpcap sidecar", "file name",
// "option", "frame files"; empty for None. The report's words.
std::string_view NameOf(TimeFrom from);

// What each source says of a capture's start, in UT.
struct CaptureTimes {
    std::optional<std::int64_t> stamps;   // the first frame's own stamp
    std::optional<orbicrop::capture::CaptureFacts> sidecar;
    std::optional<std::int64_t> name;
    std::optional<std::int64_t> option;   // --start-time
    bool stillFrames = false;             // the stamps are those of still images' files

    // The start the frames without a stamp of their own are dated from: the
    // sidecar's, else the name's, else the option's.
    std::optional<std::int64_t> start() const;
    // The most trusted source that gives a time, and its time.
    TimeFrom from() const;
    std::optional<std::int64_t> trusted() const;
    // A line for every less trusted source that disagrees with the trusted
    // one by more than two seconds (a name's time, written to a tenth of a
    // minute, by more than that step as well): worth a word, not an error.
    std::vector<std::string> disagreements() const;
};

// The times path's sidecar and name give, and option; a local time in the
// name is read at the sidecar's stated offset, which wins over the user's.
CaptureTimes CaptureTimesOf(const std::string& path, const orbicrop::capture::NameTimeChoices& names,
                            std::optional<std::int64_t> option);
