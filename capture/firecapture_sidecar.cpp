// SPDX-License-Identifier: GPL-3.0-or-later
// FireCapture's settings file, as version 2.7 writes it beside each capture.
// The forms read here are those of files the program wrote, and a few more
// a user's settings give it (offsets other than UT, other date orders):
//
//   FireCapture v2.7.11 Settings         (the first line tells it apart)
//   Camera=QHY5II-M   Filter=G   Profile=Jupiter (the target)
//   CMI=304.1° CMII=115.4° ...           (degree signs in the Windows code page)
//   Filename=2023-01-20-1323_1-U-G-Jup.zip  (its time as WinJUPOS names, UT)
//   Date=200123   Date_format=ddMMyy     (any order of dd, MM, yy or yyyy)
//   Start=132306.849  Mid=...  End=...   (local, in Time_format, here HHmmss)
//   Start(UT)=132306.849  Mid(UT)=...  End(UT)=...
//   LT=UT   LT=UT+2h   LT=UT-5h   LT=UT+5.5h   LT=UT+5:30h
//   Frames captured=1   FPS (avg.)=2   Shutter=728.0ms or 1.00s   Gain=67 (67%)
//
// Every file seen says LT=UT, so whether Date is the local or the UT date
// cannot be told from them. It is taken as the local date, beside the local
// times it is written with; a UT time of day is placed on the day nearest
// the capture's time as FireCapture's own file name gives it, or else as
// the local time gives it, so that a capture near midnight keeps its date
// either way.
#include "capture/civil_time.h"
#include "capture/local_time.h"
#include "capture/sidecar.h"
#include "capture/sidecar_text.h"

#include "text/ascii_text.h"
#include "time/capture_time.h"

#include <algorithm>
#include <string>

namespace orbicrop::capture {

namespace {

std::size_t RunLength(std::string_view format, std::size_t at)
{
    std::size_t end = at;
    while (end < format.size() && format[end] == format[at])
        ++end;
    return end - at;
}

// The digits of width at value[at], or -1.
int DigitsAt(std::string_view value, std::size_t at, std::size_t width)
{
    if (at + width > value.size())
        return -1;
    int number = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (value[i] < '0' || value[i] > '9')
            return -1;
        number = number * 10 + (value[i] - '0');
    }
    return number;
}

// The fields of value as format places them: the letters of fields (each run
// one field of that many digits) and literal characters between them. The
// value may go on past the format; rest is what it has left.
bool ReadFields(std::string_view value, std::string_view format, std::string_view fields, int (&numbers)[3],
                std::string_view& rest)
{
    std::size_t at = 0;
    for (std::size_t f = 0; f < format.size();) {
        const std::size_t run = RunLength(format, f);
        const std::size_t field = fields.find(format[f]);
        if (field != std::string_view::npos) {
            const int number = DigitsAt(value, at, run);
            if (number < 0 || numbers[field] >= 0)
                return false;
            numbers[field] = number;
            at += run;
        } else {
            if (value.substr(at, run) != format.substr(f, run))
                return false;
            at += run;
        }
        f += run;
    }
    rest = value.substr(at);
    return true;
}

std::optional<std::int64_t> DateByFormat(std::string_view value, std::string_view format)
{
    int numbers[3] = {-1, -1, -1};   // day, month, year
    std::string_view rest;
    if (!ReadFields(TrimmedText(value), TrimmedText(format), "dMy", numbers, rest) || !rest.empty() || numbers[0] < 0
        || numbers[1] < 0 || numbers[2] < 0)
        return std::nullopt;
    // Two-digit years: FireCapture is younger than 2000.
    const int year = format.find("yyyy") == std::string_view::npos ? 2000 + numbers[2] : numbers[2];
    return CivilTicks(year, numbers[1], numbers[0]);
}

// Ticks since midnight of "132306.849" in "HHmmss" (or "HH:mm:ss"...).
std::optional<std::int64_t> TimeOfDay(std::optional<std::string_view> value, std::string_view format)
{
    if (!value)
        return std::nullopt;
    // The fraction is read from the value whatever the format says of it.
    format = TrimmedText(format.substr(0, format.find_first_of(".,")));
    int numbers[3] = {-1, -1, -1};   // hours, minutes, seconds
    std::string_view rest;
    if (!ReadFields(TrimmedText(*value), format, "Hms", numbers, rest) || numbers[0] < 0 || numbers[1] < 0
        || numbers[0] > 23 || numbers[1] > 59 || numbers[2] > 59)
        return std::nullopt;
    std::int64_t ticks =
        ((std::int64_t{numbers[0]} * 60 + numbers[1]) * 60 + std::max(numbers[2], 0)) * kTicksPerSecond;
    if (!rest.empty()) {
        if ((rest.front() != '.' && rest.front() != ',') || rest.size() < 2)
            return std::nullopt;
        std::int64_t scale = kTicksPerSecond;
        for (const char c : rest.substr(1)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            scale /= 10;
            ticks += (c - '0') * scale;
        }
    }
    return ticks;
}

// "UT+2h", "UT-5h", "UT", "UT+5:30h" in seconds east of UT.
std::optional<std::int32_t> LocalTimeOffset(std::string_view value)
{
    value = TrimmedText(value);
    if (value.size() < 2 || !text::equalIgnoringAsciiCase(value.substr(0, 2), "UT"))
        return std::nullopt;
    value = TrimmedText(value.substr(2));
    if (value.empty())
        return 0;
    if (value.back() == 'h' || value.back() == 'H')
        value.remove_suffix(1);
    if (value.empty() || (value.front() != '+' && value.front() != '-'))
        return std::nullopt;
    return ParseHoursOffset(value);
}

struct Clock {
    std::optional<std::int64_t> localDate;   // its midnight
    std::optional<std::int32_t> offset;
    std::optional<std::int64_t> nameTime;   // the Filename key's WinJUPOS time
    std::string timeFormat;
};

std::int64_t NearestDay(std::int64_t anchor, std::int64_t timeOfDay)
{
    std::int64_t best = MidnightOf(anchor) + timeOfDay;
    for (const std::int64_t other : {best - kTicksPerDay, best + kTicksPerDay})
        if ((other > anchor ? other - anchor : anchor - other) < (best > anchor ? best - anchor : anchor - best))
            best = other;
    return best;
}

// One of start, mid and end: the UT time of day when it is written, else the
// local one turned to UT.
std::optional<std::int64_t> CaptureTime(const SidecarText& sidecar, const Clock& clock, const std::string& key)
{
    const auto utTime = TimeOfDay(sidecar.value(key + "(UT)"), clock.timeFormat);
    const auto localTime = TimeOfDay(sidecar.value(key), clock.timeFormat);
    std::optional<std::int64_t> fromLocal;
    if (clock.localDate && localTime && clock.offset)
        fromLocal = LocalToUt(*clock.localDate + *localTime, *clock.offset);
    if (!utTime)
        return fromLocal;
    if (clock.nameTime)
        return NearestDay(*clock.nameTime, *utTime);
    if (fromLocal)
        return NearestDay(*fromLocal, *utTime);
    if (clock.localDate)   // no local time to go by: the date read as UT's
        return *clock.localDate + *utTime;
    return std::nullopt;
}

std::optional<std::string> Named(std::optional<std::string_view> value)
{
    if (!value || value->empty())
        return std::nullopt;
    return std::string(*value);
}

bool IsFireCaptures(const SidecarText& sidecar)
{
    const std::string_view first = sidecar.firstLine;
    for (std::size_t i = 0; i + 11 <= first.size(); ++i)
        if (text::equalIgnoringAsciiCase(first.substr(i, 11), "FireCapture"))
            return true;
    // A first line lost to editing: keys no other program writes.
    for (const char* key : {"Start(UT)", "Mid(UT)", "End(UT)", "Date_format", "Frames captured"})
        if (sidecar.value(key))
            return true;
    return false;
}

void ReadTimes(const SidecarText& sidecar, CaptureFacts& facts)
{
    Clock clock;
    const auto date = sidecar.value("Date");
    const auto dateFormat = sidecar.value("Date_format");
    if (date && dateFormat)
        clock.localDate = DateByFormat(*date, *dateFormat);
    if (const auto lt = sidecar.value("LT"))
        clock.offset = LocalTimeOffset(*lt);
    if (const auto name = sidecar.value("Filename"))
        clock.nameTime = CaptureTimeInName(std::string(*name));
    clock.timeFormat = std::string(sidecar.value("Time_format").value_or("HHmmss"));
    facts.utcOffsetSeconds = clock.offset;
    facts.startUtc = CaptureTime(sidecar, clock, "Start");
    facts.midUtc = CaptureTime(sidecar, clock, "Mid");
    facts.endUtc = CaptureTime(sidecar, clock, "End");
}

}   // namespace

std::optional<CaptureFacts> FireCaptureFacts(std::string_view text)
{
    const SidecarText sidecar = SplitSidecar(text);
    if (!IsFireCaptures(sidecar))
        return std::nullopt;
    CaptureFacts facts;
    facts.source = FactsSource::FireCaptureSidecar;
    facts.camera = Named(sidecar.value("Camera"));
    facts.filter = Named(sidecar.value("Filter"));
    facts.target = Named(sidecar.value("Profile"));
    if (const auto frames = sidecar.value("Frames captured"))
        facts.framesCaptured = ParseCount(*frames);
    if (const auto fps = sidecar.value("FPS (avg.)"))
        facts.averageFps = ParseFrameRate(*fps);
    if (const auto shutter = sidecar.value("Shutter"))
        facts.exposureSeconds = ParseExposureSeconds(*shutter, false);
    if (const auto gain = ParseLeadingNumber(sidecar.value("Gain").value_or("")))
        facts.gain = gain->value;
    ReadTimes(sidecar, facts);
    return Completed(std::move(facts));
}

}   // namespace orbicrop::capture
