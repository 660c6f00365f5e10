// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The version of an executable, as format filled with its four numbers
// (major, minor, release, build) in place of the "%d"s, "%%" standing for
// "%". Linux executables carry no version resource: the running executable
// has this build's version, and any other file, or one that cannot be read,
// gives the empty text. A fileName of blanks names the running executable.
std::string GetVersionString(const std::string& fileName, const std::string& format);

// This build's version, from the project's version in the build files.
std::array<std::uint16_t, 4> BuildVersion();

// format with "%d" replaced by the numbers in turn (a "%d" past the last
// number stays empty) and "%%" by "%"; nothing else is interpreted.
std::string FormatVersion(const std::string& format, const std::array<std::uint16_t, 4>& numbers);
