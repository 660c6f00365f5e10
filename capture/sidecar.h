// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/capture_facts.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orbicrop::capture {

// A settings file is a page of text; anything larger is not one, and is not
// read into memory to find out.
inline constexpr std::size_t kLargestSidecar = std::size_t{1} << 20;

// The facts FireCapture's settings file (NAME.txt beside NAME.ser or
// NAME.avi) states; empty when it states none, or is not FireCapture's.
std::optional<CaptureFacts> FireCaptureFacts(std::string_view text);

// The facts SharpCap's NAME.CameraSettings.txt states; empty when none.
std::optional<CaptureFacts> SharpCapFacts(std::string_view text);

// The facts of the sidecar beside a capture: SharpCap's
// NAME.CameraSettings.txt (or NAME.ser.CameraSettings.txt), else
// FireCapture's NAME.txt. Empty when there is none, it cannot be read, it is
// larger than kLargestSidecar, or it states nothing; never throws.
std::optional<CaptureFacts> SidecarFacts(const std::string& capturePath);

// facts with the mid filled in from start and end where it is missing, or
// empty when facts hold none at all: the last step of every reader.
std::optional<CaptureFacts> Completed(CaptureFacts facts);

}   // namespace orbicrop::capture
