// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/still_read.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orbicrop::stills {

namespace {

enum class Format { Fits, Tiff, Png, Unknown };

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool StartsWith(const std::array<char, 9>& head, std::size_t got, std::string_view magic)
{
    return got >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

// By its first bytes, not its name: a capture program's "frame.fit" may be
// anything its author chose.
Format FormatOf(const std::string& path)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw StillError("Couldn't open " + path + " (" + std::strerror(errno) + ")");
    std::array<char, 9> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file.get());
    using namespace std::string_view_literals;
    if (StartsWith(head, got, "SIMPLE  ="sv))
        return Format::Fits;
    // Classic and big TIFF, in either byte order.
    for (const std::string_view magic : {"II*\0"sv, "MM\0*"sv, "II+\0"sv, "MM\0+"sv})
        if (StartsWith(head, got, magic))
            return Format::Tiff;
    if (StartsWith(head, got, "\x89PNG\r\n\x1a\n"sv))
        return Format::Png;
    return Format::Unknown;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count)
{
    for (std::size_t i = at; i < at + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int Number(std::string_view text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

}   // namespace

void SizeFrame(StillFrame& frame, const std::string& path, const char* format, std::uint64_t width,
               std::uint64_t height, std::int32_t planes, std::int32_t bytesPerSample, std::size_t rowRoom)
{
    const auto fail = [&](const std::string& why) {
        throw StillError(std::string("Couldn't read the ") + format + " file " + path + ": " + why);
    };
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0)
        fail("its image of " + size + " is empty");
    // Width and height are at most 2^30 when multiplied: the product cannot wrap.
    const std::uint64_t pixelBytes = std::uint64_t(planes) * std::uint64_t(bytesPerSample);
    if (width > kMostFrameBytes || height > kMostFrameBytes || width * height > kMostFrameBytes / pixelBytes)
        fail("its image of " + size + " is too large (over 1 GiB)");
    frame.width = std::int32_t(width);
    frame.height = std::int32_t(height);
    frame.planes = planes;
    frame.bytesPerSample = bytesPerSample;
    frame.samples.resize(std::size_t(width * height * pixelBytes) + rowRoom);
}

std::uint8_t* RowRoom(StillFrame& frame)
{
    return frame.samples.data() + frame.rowBytes() * std::size_t(frame.height);
}

void EndRowRoom(StillFrame& frame)
{
    frame.samples.resize(frame.rowBytes() * std::size_t(frame.height));
}

std::string IsoUtcText(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z'))
        text.remove_suffix(1);
    const bool shaped = text.size() >= 19 && Digits(text, 0, 4) && text[4] == '-' && Digits(text, 5, 2)
        && text[7] == '-' && Digits(text, 8, 2) && text[10] == 'T' && Digits(text, 11, 2) && text[13] == ':'
        && Digits(text, 14, 2) && text[16] == ':' && Digits(text, 17, 2);
    if (!shaped)
        return {};
    const std::size_t fraction = text.size() - 19;
    if (fraction > 0 && (text[19] != '.' || fraction < 2 || !Digits(text, 20, fraction - 1)))
        return {};
    const int month = Number(text, 5), day = Number(text, 8);
    if (month < 1 || month > 12 || day < 1 || day > 31 || Number(text, 11) > 23 || Number(text, 14) > 59
        || Number(text, 17) > 60)
        return {};
    return std::string(text);
}

void ReadStill(const std::string& path, double floatScale, StillFrame& frame)
{
    const Format format = FormatOf(path);
    frame.storedAs = StoredAs::Bits8;
    frame.floatScale = 0;
    frame.bayer.clear();
    frame.time.clear();
    frame.instrument.clear();
    frame.telescope.clear();
    frame.observer.clear();
    frame.object.clear();
    frame.filter.clear();
    frame.exposureSeconds.reset();
    frame.gain.reset();
    switch (format) {
    case Format::Fits: ReadFitsStill(path, floatScale, frame); break;
    case Format::Tiff: ReadTiffStill(path, frame); break;
    case Format::Png: ReadPngStill(path, frame); break;
    case Format::Unknown: throw StillError(path + " is not a FITS, TIFF or PNG image");
    }
}

}   // namespace orbicrop::stills
