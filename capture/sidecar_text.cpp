// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/sidecar_text.h"

#include "text/ascii_text.h"

#include <charconv>
#include <cmath>

namespace orbicrop::capture {

namespace {

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Whether bytes are well-formed UTF-8; overlong forms and surrogates are
// not looked for, as nothing here decodes the code points.
bool IsUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if (!IsContinuation(static_cast<unsigned char>(bytes[i + k])))
                return false;
        i += length;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 8);
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            text.push_back(byte);
        } else {
            text.push_back(char(0xC0 | (c >> 6)));
            text.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return text;
}

void TakeLine(std::string_view line, SidecarText& sidecar)
{
    line = TrimmedText(line);
    if (line.empty())
        return;
    if (sidecar.firstLine.empty())
        sidecar.firstLine = line;
    if (line.front() == '[' && line.back() == ']') {
        if (sidecar.firstSection.empty())
            sidecar.firstSection = TrimmedText(line.substr(1, line.size() - 2));
        return;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return;
    sidecar.entries.push_back(
        {std::string(TrimmedText(line.substr(0, equals))), std::string(TrimmedText(line.substr(equals + 1)))});
}

}   // namespace

std::string_view TrimmedText(std::string_view text)
{
    constexpr std::string_view kSpace = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::optional<std::string_view> SidecarText::value(std::string_view key) const
{
    for (const SidecarEntry& entry : entries)
        if (text::equalIgnoringAsciiCase(entry.key, key))
            return std::string_view(entry.value);
    return std::nullopt;
}

SidecarText SplitSidecar(std::string_view bytes)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.starts_with(kBom))
        bytes.remove_prefix(kBom.size());
    const std::string text = IsUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
    SidecarText sidecar;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        TakeLine(std::string_view(text).substr(start, end - start), sidecar);
        start = end + 1;
    }
    return sidecar;
}

std::optional<LeadingNumber> ParseLeadingNumber(std::string_view text)
{
    text = TrimmedText(text);
    std::string digits;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        digits.push_back(text[i++]);
    const auto isDigit = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
    while (isDigit(i))
        digits.push_back(text[i++]);
    if ((i < text.size() && (text[i] == '.' || text[i] == ',')) && isDigit(i + 1)) {
        digits.push_back('.');
        for (++i; isDigit(i); ++i)
            digits.push_back(text[i]);
    }
    if (digits.empty() || digits == "-" || digits == "+")
        return std::nullopt;
    double value = 0;
    const char* begin = digits.data() + (digits.front() == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(begin, digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return LeadingNumber{value, TrimmedText(text.substr(i))};
}

std::optional<double> ParseExposureSeconds(std::string_view text, bool bareIsSeconds)
{
    const auto number = ParseLeadingNumber(text);
    if (!number || number->value <= 0)
        return std::nullopt;
    struct Unit {
        std::string_view name;
        double seconds;
    };
    static constexpr Unit kUnits[] = {{"s", 1.0},   {"sec", 1.0},        {"ms", 1e-3},
                                      {"us", 1e-6}, {"\xC2\xB5s", 1e-6}, {"\xCE\xBCs", 1e-6}};
    if (number->rest.empty())
        return bareIsSeconds ? std::optional<double>(number->value) : std::nullopt;
    for (const Unit& unit : kUnits)
        if (text::equalIgnoringAsciiCase(number->rest, unit.name))
            return number->value * unit.seconds;
    return std::nullopt;
}

std::optional<std::int64_t> ParseCount(std::string_view text)
{
    text = TrimmedText(text);
    std::int64_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || count < 0)
        return std::nullopt;
    return count;
}

std::optional<double> ParseFrameRate(std::string_view text)
{
    const auto number = ParseLeadingNumber(text);
    if (!number || number->value < 0 || !(number->rest.empty() || text::equalIgnoringAsciiCase(number->rest, "fps")))
        return std::nullopt;
    return number->value;
}

}   // namespace orbicrop::capture
