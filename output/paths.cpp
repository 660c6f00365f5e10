// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/paths.h"

#include "fileio/frame_sequence.h"

#include <string_view>

// Only '/' separates directories here: a colon or backslash is an ordinary
// character of a Linux file name (capture programs put times in names).
std::string FileNameOf(const std::string& path)
{
    const auto cut = path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DirectoryOf(const std::string& path)
{
    const auto cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

namespace {

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where the character that ends at end (> 0) starts. Bytes that do not form a
// valid sequence (a Latin-1 name, say) count one character each.
std::size_t StartOfCharacterBefore(const std::string& text, std::size_t end)
{
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && IsContinuationByte(text[start]))
        --start;
    const unsigned char lead = static_cast<unsigned char>(text[start]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF7 ? 4
        : lead >= 0xE0 && lead <= 0xEF                      ? 3
        : lead >= 0xC0 && lead <= 0xDF                      ? 2
                                                            : 1;
    return length > 1 && length == end - start ? start : end - 1;
}

std::string NameWithoutLastFour(const std::string& path)
{
    // A capture saved as still images has no ending to drop: its outputs
    // take its folder's name, or its glob's ("Jup_*.fits" -> "Jup").
    if (IsFrameSequence(path))
        return FrameSequenceName(path);
    std::size_t end = path.size();
    for (int dropped = 0; dropped < 4 && end > 0; ++dropped)
        end = StartOfCharacterBefore(path, end);
    return FileNameOf(path.substr(0, end));
}

}   // namespace

std::string OutputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale)
{
    return outputDir + NameWithoutLastFour(inputPath) + "_" + (grayscale ? "Y8" : "") + "orbic.avi";
}

std::string SerOutputPathFor(const std::string& inputPath, const std::string& outputDir)
{
    return outputDir + NameWithoutLastFour(inputPath) + "_orbic.ser";
}

std::string BestFramePathFor(const std::string& inputPath, const std::string& outputDir)
{
    std::string path = OutputPathFor(inputPath, outputDir, false);
    constexpr std::string_view kSuffix = "orbic.avi";
    return path.substr(0, path.size() - kSuffix.size()) + "best.png";
}
