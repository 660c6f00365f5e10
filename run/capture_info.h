// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/name_time.h"
#include "run/file_run.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a capture file tells of itself without being processed: its video,
// its samples, its time and where that came from, and what its capture
// program's sidecar says (camera, filter, target, exposure, gain, rate).
// One fact a pair, key and value, in the order they are shown; a fact that
// is unknown is left out. The key names are the report's.
using CaptureFactList = std::vector<std::pair<std::string, std::string>>;

// The facts of path, or nothing when it cannot be opened as a capture (why
// says why).
std::optional<CaptureFactList> CaptureInfo(const std::string& path, const orbicrop::capture::NameTimeChoices& names,
                                           std::optional<std::int64_t> startTime, std::string& why,
                                           const SourceOpener& open = OpenFrameSource);
