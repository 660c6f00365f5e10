// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/name_time.h"

#include "capture/civil_time.h"
#include "capture/local_time.h"

#include "time/capture_time.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace orbicrop::capture {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number in the width digits at text[at], or -1.
int NumberAt(std::string_view text, std::size_t at, std::size_t width)
{
    if (at + width > text.size())
        return -1;
    int number = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (!IsDigit(text[i]))
            return -1;
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

// A name without its folders and its extension.
std::string_view StemOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// The fields of a pattern, in one table: the letter, its digits (0: any
// number, one at least) and its place in Fields::values.
struct FieldKind {
    char letter;
    std::size_t width;
};
constexpr std::array<FieldKind, 9> kFields = {
    {{'Y', 4}, {'y', 2}, {'m', 2}, {'d', 2}, {'j', 3}, {'H', 2}, {'M', 2}, {'S', 2}, {'f', 0}}};
enum Field { kYear, kShortYear, kMonth, kDay, kDayOfYear, kHour, kMinute, kSecond, kFraction };

struct Token {
    int field;   // -1: the literal
    char literal;
};

// The pattern's tokens, or empty when it has an unknown field or a field
// twice.
std::optional<std::vector<Token>> Tokens(std::string_view pattern)
{
    std::vector<Token> tokens;
    std::array<bool, kFields.size()> seen{};
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            tokens.push_back({-1, pattern[i]});
            continue;
        }
        if (++i == pattern.size())
            return std::nullopt;
        if (pattern[i] == '%') {
            tokens.push_back({-1, '%'});
            continue;
        }
        int field = -1;
        for (std::size_t k = 0; k < kFields.size(); ++k)
            if (kFields[k].letter == pattern[i])
                field = int(k);
        if (field < 0 || seen[field])
            return std::nullopt;
        seen[field] = true;
        tokens.push_back({field, 0});
    }
    return tokens;
}

bool Has(const std::vector<Token>& tokens, int field)
{
    for (const Token& token : tokens)
        if (token.field == field)
            return true;
    return false;
}

struct Fields {
    std::array<int, kFields.size()> values;
    std::int64_t fractionTicks = 0;
};

// Reads tokens from name[at]; the index past the match, or npos.
std::size_t MatchAt(std::string_view name, std::size_t at, const std::vector<Token>& tokens, Fields& fields)
{
    fields.values.fill(-1);
    fields.fractionTicks = 0;
    for (const Token& token : tokens) {
        if (token.field < 0) {
            if (at >= name.size() || name[at] != token.literal)
                return std::string_view::npos;
            ++at;
        } else if (token.field == kFraction) {
            std::int64_t scale = kTicksPerSecond;
            const std::size_t start = at;
            for (; at < name.size() && IsDigit(name[at]); ++at)
                fields.fractionTicks += (name[at] - '0') * (scale /= 10);
            if (at == start)
                return std::string_view::npos;
        } else {
            const std::size_t width = kFields[token.field].width;
            fields.values[token.field] = NumberAt(name, at, width);
            if (fields.values[token.field] < 0)
                return std::string_view::npos;
            at += width;
        }
    }
    return at;
}

std::optional<std::int64_t> TicksOf(const Fields& fields)
{
    const auto& v = fields.values;
    int year = v[kYear];
    if (v[kShortYear] >= 0)
        year = v[kShortYear] + (v[kShortYear] >= 69 ? 1900 : 2000);
    const auto day = v[kDayOfYear] >= 0 ? DayOfYearTicks(year, v[kDayOfYear]) : CivilTicks(year, v[kMonth], v[kDay]);
    const int minute = std::max(v[kMinute], 0);
    const int second = std::max(v[kSecond], 0);
    if (!day || v[kHour] > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return *day + ((std::int64_t{v[kHour]} * 60 + minute) * 60 + second) * kTicksPerSecond + fields.fractionTicks;
}

// "2023-11-01" as the ticks of its midnight.
std::optional<std::int64_t> FolderDate(std::string_view folder)
{
    if (folder.size() != 10 || folder[4] != '-' || folder[7] != '-')
        return std::nullopt;
    const int year = NumberAt(folder, 0, 4);
    const int month = NumberAt(folder, 5, 2);
    const int day = NumberAt(folder, 8, 2);
    if (year < 0 || month < 0 || day < 0)
        return std::nullopt;
    return CivilTicks(year, month, day);
}

}   // namespace

bool IsTimePattern(std::string_view pattern)
{
    const auto tokens = Tokens(pattern);
    if (!tokens)
        return false;
    const bool year = Has(*tokens, kYear) != Has(*tokens, kShortYear);
    const bool monthDay = Has(*tokens, kMonth) && Has(*tokens, kDay);
    const bool dayOfYear = Has(*tokens, kDayOfYear) && !Has(*tokens, kMonth) && !Has(*tokens, kDay);
    const bool seconds = !Has(*tokens, kSecond) || Has(*tokens, kMinute);
    const bool fraction = !Has(*tokens, kFraction) || Has(*tokens, kSecond);
    return year && (monthDay || dayOfYear) && Has(*tokens, kHour) && seconds && fraction;
}

std::optional<std::int64_t> TimeByPattern(std::string_view name, std::string_view pattern)
{
    if (!IsTimePattern(pattern))
        return std::nullopt;
    const std::vector<Token> tokens = *Tokens(pattern);
    const std::string_view stem = StemOf(name);
    const bool digitFirst = tokens.front().field >= 0;
    const bool digitLast = tokens.back().field >= 0;
    Fields fields;
    for (std::size_t at = 0; at < stem.size(); ++at) {
        if (digitFirst && at > 0 && IsDigit(stem[at - 1]))
            continue;
        const std::size_t end = MatchAt(stem, at, tokens, fields);
        if (end == std::string_view::npos || (digitLast && end < stem.size() && IsDigit(stem[end])))
            continue;
        if (const auto ticks = TicksOf(fields))
            return ticks;
    }
    return std::nullopt;
}

std::optional<NameTime> SharpCapNameTime(std::string_view path)
{
    const std::string_view stem = StemOf(path);
    const int hour = NumberAt(stem, 0, 2);
    const int minute = NumberAt(stem, 3, 2);
    const int second = NumberAt(stem, 6, 2);
    if (hour < 0 || minute < 0 || second < 0 || stem[2] != '_' || stem[5] != '_' || hour > 23 || minute > 59
        || second > 59)
        return std::nullopt;
    const bool utc = stem.size() > 8 && stem[8] == 'Z';
    const std::string_view after = stem.substr(utc ? 9 : 8);
    if (!after.empty() && (IsDigit(after.front()) || std::isalpha(static_cast<unsigned char>(after.front()))))
        return std::nullopt;
    // The nearest folder above the name that is a date.
    std::string_view folders = path.substr(0, path.rfind('/') == std::string_view::npos ? 0 : path.rfind('/'));
    while (!folders.empty()) {
        const std::size_t slash = folders.rfind('/');
        const std::string_view folder = slash == std::string_view::npos ? folders : folders.substr(slash + 1);
        if (const auto date = FolderDate(folder))
            return NameTime{*date + ((std::int64_t{hour} * 60 + minute) * 60 + second) * kTicksPerSecond, utc};
        folders = slash == std::string_view::npos ? std::string_view() : folders.substr(0, slash);
    }
    return std::nullopt;
}

std::optional<std::int64_t> UtcTimeInName(const std::string& path, const NameTimeChoices& choices)
{
    if (!choices.pattern.empty())
        if (const auto written = TimeByPattern(path, choices.pattern))
            return choices.utcOffsetSeconds ? LocalToUt(*written, *choices.utcOffsetSeconds) : *written;
    if (const auto winJupos = CaptureTimeInName(path))
        return winJupos;
    if (const auto sharpCap = SharpCapNameTime(path)) {
        if (sharpCap->isUtc)
            return sharpCap->ticks;
        if (choices.utcOffsetSeconds)
            return LocalToUt(sharpCap->ticks, *choices.utcOffsetSeconds);
    }
    return std::nullopt;
}

}   // namespace orbicrop::capture
