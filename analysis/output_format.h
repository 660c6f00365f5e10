// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/ascii_text.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

// The kind of file a batch writes for each input: a video (AVI, 8-bit), a
// SER with the source's own samples, or a folder of still images, one a
// frame, at the source's depth.
enum class OutputFormat { Avi, Ser, Tiff, Fits, Png };

inline constexpr std::array<std::string_view, 5> kOutputFormatNames{"avi", "ser", "tiff", "fits", "png"};

// "avi", "ser", "tiff", "fits", "png": the names the tool and the settings
// file use.
constexpr std::string_view NameOf(OutputFormat format)
{
    return kOutputFormatNames[std::size_t(format)];
}

// The format of a name, in any case; nothing for another word.
constexpr std::optional<OutputFormat> ParseOutputFormat(std::string_view text)
{
    return orbicrop::text::EnumByName<OutputFormat>(kOutputFormatNames, text);
}

// A folder of still images.
constexpr bool IsStillSequence(OutputFormat format)
{
    return format == OutputFormat::Tiff || format == OutputFormat::Fits || format == OutputFormat::Png;
}
