// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The name endings a capture is recognised by, lower case with the dot, in
// the order the window's open dialog offers them.
const std::vector<std::string>& CaptureExtensions();

// Whether a file name is one of this program's own outputs: NAME_orbic.avi,
// NAME_Y8orbic.avi, NAME_orbic.ser, NAME_orbic_part2.avi and the like.
bool IsOwnOutputName(const std::string& fileName);

// The name of the resume file a night's output folder gets.
inline constexpr const char* kNightManifestName = "orbicrop-night.json";

// Every capture in dir, and with recurse in its folders too: files with a
// capture's ending that are not our own outputs, sorted by path, and the
// captures saved as numbered still images, in dir and in its folders (a
// folder of frames is a capture, recurse or not; see
// fileio/frame_sequence.h). Hidden entries, our own outputs, and folders
// that hold a night's resume file (an output folder inside the night's
// folder), are passed over. Throws std::runtime_error naming dir when it
// cannot be read.
std::vector<std::string> CapturesIn(const std::string& dir, bool recurse);

// The inputs as given, each folder replaced by the captures in it; a folder
// without any is told in notes ("No captures in DIR").
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, bool recurse,
                                      std::vector<std::string>& notes);

// Whether path is a folder that is one capture: a numbered series of still
// images and nothing else to process. It opens as a file does.
bool IsCaptureFolder(const std::string& path);
// Whether path is a folder of captures (a night's), not one capture.
bool IsNightFolder(const std::string& path);

// Whether any input is a folder of captures.
bool AnyFolder(const std::vector<std::string>& inputs);

// The files in capture-time order (timeOf gives a file's first frame's UTC
// ticks, when known); files without a time follow in the order given.
std::vector<std::string> ByCaptureTime(std::vector<std::string> files,
                                       const std::function<std::optional<std::int64_t>(const std::string&)>& timeOf);
