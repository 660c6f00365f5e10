// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace orbicrop::text {

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

// The enumerator whose name, in names (indexed by the enumerators' values),
// matches text in any ASCII case; nothing for another word. The one way
// names of patterns, methods and formats are read, from a command line and
// from the settings file alike.
template <typename Enum, std::size_t N>
constexpr std::optional<Enum> EnumByName(const std::array<std::string_view, N>& names, std::string_view text)
{
    for (std::size_t i = 0; i < N; ++i)
        if (equalIgnoringAsciiCase(names[i], text))
            return Enum(i);
    return std::nullopt;
}

}   // namespace orbicrop::text
