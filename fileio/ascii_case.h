// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <string_view>

namespace orbicrop::fileio {

// Letters compared the way file formats and file names of this program's
// world compare them: A-Z against a-z only, whatever the locale, so that an
// ini key or a ".WAV" extension matches the same on every machine and bytes
// of UTF-8 names are never folded.
constexpr char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

constexpr bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

}   // namespace orbicrop::fileio
