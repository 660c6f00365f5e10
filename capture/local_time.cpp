// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/local_time.h"

#include "capture/sidecar_text.h"

#include <cmath>

namespace orbicrop::capture {

namespace {

constexpr std::int32_t kLargestOffset = 14 * 3600;

bool AllDigits(std::string_view text)
{
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.empty();
}

int Digits(std::string_view text)
{
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

std::optional<std::int32_t> Signed(int sign, int hours, int minutes)
{
    if (minutes > 59)
        return std::nullopt;
    const std::int32_t seconds = (hours * 60 + minutes) * 60;
    if (seconds > kLargestOffset)
        return std::nullopt;
    return sign * seconds;
}

}   // namespace

std::optional<std::int32_t> ParseUtcOffset(std::string_view text)
{
    text = TrimmedText(text);
    int sign = 1;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        sign = text.front() == '-' ? -1 : 1;
        text.remove_prefix(1);
    }
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view hours = text.substr(0, colon);
        const std::string_view minutes = text.substr(colon + 1);
        if (hours.size() > 2 || minutes.size() != 2 || !AllDigits(hours) || !AllDigits(minutes))
            return std::nullopt;
        return Signed(sign, Digits(hours), Digits(minutes));
    }
    if (!AllDigits(text))
        return std::nullopt;
    if (text.size() <= 2)
        return Signed(sign, Digits(text), 0);
    if (text.size() == 4)
        return Signed(sign, Digits(text.substr(0, 2)), Digits(text.substr(2)));
    return std::nullopt;
}

std::optional<std::int32_t> ParseHoursOffset(std::string_view text)
{
    if (const auto exact = ParseUtcOffset(text))
        return exact;
    const auto number = ParseLeadingNumber(text);
    if (!number || !number->rest.empty() || std::fabs(number->value) > 14.0)
        return std::nullopt;
    return static_cast<std::int32_t>(std::lround(number->value * 60.0)) * 60;
}

}   // namespace orbicrop::capture
