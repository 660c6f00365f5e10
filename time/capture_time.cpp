// SPDX-License-Identifier: GPL-3.0-or-later
#include "time/capture_time.h"

#include <chrono>
#include <cstdio>
#include <regex>

namespace {

using namespace std::chrono;

// Ticks of a civil UTC time; empty when a field is out of range.
std::optional<std::int64_t> TicksOf(int y, unsigned mo, unsigned d, int h, int mi, int s, std::int64_t fraction = 0)
{
    const year_month_day date{year{y}, month{mo}, day{d}};
    if (!date.ok() || y < 1 || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    return kUnixEpochTicks + ((days * 24 + h) * 60 + mi) * 60 * kTicksPerSecond + s * kTicksPerSecond + fraction;
}

int Number(const std::ssub_match& m)
{
    return std::stoi(m.str());
}

struct Civil {
    int year;
    unsigned month;
    unsigned day;
    std::int64_t secondsOfDay;
    std::int64_t fraction;   // ticks within the second
};

Civil CivilOf(std::int64_t utcTicks)
{
    const std::int64_t sinceEpoch = utcTicks - kUnixEpochTicks;
    std::int64_t days = sinceEpoch / (86'400 * kTicksPerSecond);
    std::int64_t rest = sinceEpoch % (86'400 * kTicksPerSecond);
    if (rest < 0) {
        rest += 86'400 * kTicksPerSecond;
        --days;
    }
    const year_month_day date{sys_days{std::chrono::days{days}}};
    return {int(date.year()), unsigned(date.month()), unsigned(date.day()), rest / kTicksPerSecond,
            rest % kTicksPerSecond};
}

}   // namespace

std::optional<std::int64_t> ParseIsoUtc(const std::string& text)
{
    static const std::regex kIso(
        R"((\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2})(?::(\d{2})(?:[.,](\d{1,7})\d*)?)?(Z|[+-]00:?00)?)");
    std::smatch m;
    if (!std::regex_match(text, m, kIso))
        return std::nullopt;
    std::int64_t fraction = 0;
    if (m[7].matched) {
        std::string digits = m[7].str();
        digits.resize(7, '0');
        fraction = std::stoll(digits);
    }
    return TicksOf(Number(m[1]), unsigned(Number(m[2])), unsigned(Number(m[3])), Number(m[4]), Number(m[5]),
                   m[6].matched ? Number(m[6]) : 0, fraction);
}

std::optional<std::int64_t> CaptureTimeInName(const std::string& path)
{
    // The name alone, cut at the last '/' as every path here is: a time in
    // a folder's name does not date the files in it.
    const std::string name = path.substr(path.rfind('/') + 1);
    static const std::regex kWinJupos(R"((^|[^0-9])(\d{4})-(\d{2})-(\d{2})-(\d{2})(\d{2})_(\d)([^0-9]|$))");
    static const std::regex kStamped(R"((^|[^0-9])(\d{4})(\d{2})(\d{2})_(\d{2})(\d{2})(\d{2})[_-]?UTC?([^A-Za-z]|$))");
    std::smatch m;
    if (std::regex_search(name, m, kWinJupos)) {
        const auto minute =
            TicksOf(Number(m[2]), unsigned(Number(m[3])), unsigned(Number(m[4])), Number(m[5]), Number(m[6]), 0);
        if (minute)
            return *minute + Number(m[7]) * 6 * kTicksPerSecond;
    }
    if (std::regex_search(name, m, kStamped))
        return TicksOf(Number(m[2]), unsigned(Number(m[3])), unsigned(Number(m[4])), Number(m[5]), Number(m[6]),
                       Number(m[7]));
    return std::nullopt;
}

std::string WinJuposPrefix(std::int64_t utcTicks)
{
    constexpr std::int64_t kStep = 6 * kTicksPerSecond;
    // Nearest 6 s, half up; the carry may reach the next day.
    const std::int64_t rounded = (utcTicks + kStep / 2) / kStep * kStep;
    const Civil c = CivilOf(rounded);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u-%02d%02d_%d-", c.year, c.month, c.day, int(c.secondsOfDay / 3600),
                  int(c.secondsOfDay / 60 % 60), int(c.secondsOfDay % 60 / 6));
    return text;
}

std::string WithoutWinJuposPrefix(const std::string& name)
{
    static const std::regex kPrefix(R"(^\d{4}-\d{2}-\d{2}-\d{4}_\d-)");
    return std::regex_replace(name, kPrefix, "", std::regex_constants::format_first_only);
}

std::string WithWinJuposPrefix(const std::string& name, std::int64_t utcTicks)
{
    return WinJuposPrefix(utcTicks) + WithoutWinJuposPrefix(name);
}

std::string IsoUtcMillis(std::int64_t utcTicks)
{
    const Civil c = CivilOf(utcTicks);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03lld", c.year, c.month, c.day,
                  int(c.secondsOfDay / 3600), int(c.secondsOfDay / 60 % 60), int(c.secondsOfDay % 60),
                  static_cast<long long>(c.fraction / 10000));
    return text;
}

std::string IsoUtc(std::int64_t utcTicks)
{
    const Civil c = CivilOf(utcTicks);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%07lldZ", c.year, c.month, c.day,
                  int(c.secondsOfDay / 3600), int(c.secondsOfDay / 60 % 60), int(c.secondsOfDay % 60),
                  static_cast<long long>(c.fraction));
    return text;
}
