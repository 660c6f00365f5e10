// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

// The kind of file a batch writes for each input: a video (AVI, 8-bit), a
// SER with the source's own samples, or a folder of still images, one a
// frame, at the source's depth.
enum class OutputFormat { Avi, Ser, Tiff, Fits, Png };

// "avi", "ser", "tiff", "fits", "png": the names the tool and the settings
// file use.
constexpr std::string_view NameOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Avi: return "avi";
    case OutputFormat::Ser: return "ser";
    case OutputFormat::Tiff: return "tiff";
    case OutputFormat::Fits: return "fits";
    case OutputFormat::Png: return "png";
    }
    return "avi";
}

// The format of a name, in any case; nothing for another word.
inline std::optional<OutputFormat> ParseOutputFormat(std::string_view text)
{
    for (const OutputFormat format :
         {OutputFormat::Avi, OutputFormat::Ser, OutputFormat::Tiff, OutputFormat::Fits, OutputFormat::Png}) {
        const std::string_view name = NameOf(format);
        if (text.size() != name.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = (text[i] | 0x20) == name[i];
        if (same)
            return format;
    }
    return std::nullopt;
}

// A folder of still images.
constexpr bool IsStillSequence(OutputFormat format)
{
    return format == OutputFormat::Tiff || format == OutputFormat::Fits || format == OutputFormat::Png;
}
