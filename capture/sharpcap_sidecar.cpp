// SPDX-License-Identifier: GPL-3.0-or-later
// SharpCap's NAME.CameraSettings.txt, as version 4 writes it beside each
// capture. The forms read here are those of files the program wrote and of
// the tools that read them; a bare exposure is taken as seconds:
//
//   [ZWO ASI290MM]                        (the camera, the first line)
//   Exposure=315.0000ms  Exposure=20.000s  Exposure=0,0125 (bare: seconds)
//   Gain=300  Analogue Gain=125  Colour Space=RAW8  Binning=1 ...
//   StartCapture=2023-11-01T13:28:08.5058266Z   MidCapture=...  EndCapture=...
//   FrameCount=3000   TimeZone=+2.00 (hours; also -5,5 or +05:30)
//   ActualFrameRate=97,8567fps   Filter=R   Target=Jupiter
//
// SharpCap 4 writes its times in UT with a "Z". A time with another zone is
// taken at that zone; one with none is local, at TimeZone when the file
// states it, and left out when it does not: a guess of UT would be a
// plausible time hours off.
#include "capture/local_time.h"
#include "capture/sidecar.h"
#include "capture/sidecar_text.h"

#include "time/capture_time.h"

#include <initializer_list>
#include <string>

namespace orbicrop::capture {

namespace {

std::optional<std::int64_t> SharpCapTime(std::optional<std::string_view> written, std::optional<std::int32_t> zone)
{
    if (!written)
        return std::nullopt;
    std::string value(TrimmedText(*written));
    if (value.empty())
        return std::nullopt;
    if (value.back() == 'Z' || value.back() == 'z') {
        value.back() = 'Z';
        return ParseIsoUtc(value);
    }
    // A zone after the time; the date's own hyphens come before index 10.
    const std::size_t sign = value.find_last_of("+-");
    if (sign != std::string::npos && sign > 10) {
        const auto offset = ParseUtcOffset(std::string_view(value).substr(sign));
        const auto atZone = ParseIsoUtc(value.substr(0, sign));
        if (!offset || !atZone)
            return std::nullopt;
        return LocalToUt(*atZone, *offset);
    }
    const auto local = ParseIsoUtc(value);
    if (!local || !zone)
        return std::nullopt;
    return LocalToUt(*local, *zone);
}

std::optional<std::string_view> FirstOf(const SidecarText& sidecar, std::initializer_list<std::string_view> keys)
{
    for (const std::string_view key : keys)
        if (const auto value = sidecar.value(key))
            return value;
    return std::nullopt;
}

std::optional<std::string> Named(std::optional<std::string_view> value)
{
    if (!value || value->empty())
        return std::nullopt;
    return std::string(*value);
}

}   // namespace

std::optional<CaptureFacts> SharpCapFacts(std::string_view text)
{
    const SidecarText sidecar = SplitSidecar(text);
    CaptureFacts facts;
    facts.source = FactsSource::SharpCapSidecar;
    if (!sidecar.firstSection.empty())
        facts.camera = sidecar.firstSection;
    facts.filter = Named(sidecar.value("Filter"));
    facts.target = Named(FirstOf(sidecar, {"Target", "Object"}));
    if (const auto exposure = sidecar.value("Exposure"))
        facts.exposureSeconds = ParseExposureSeconds(*exposure, true);
    if (const auto gain = ParseLeadingNumber(FirstOf(sidecar, {"Gain", "Analogue Gain"}).value_or("")))
        facts.gain = gain->value;
    if (const auto frames = sidecar.value("FrameCount"))
        facts.framesCaptured = ParseCount(*frames);
    if (const auto fps = FirstOf(sidecar, {"ActualFrameRate", "Actual Frame Rate", "FrameRate", "FPS"}))
        facts.averageFps = ParseFrameRate(*fps);
    if (const auto zone = sidecar.value("TimeZone"))
        facts.utcOffsetSeconds = ParseHoursOffset(*zone);
    facts.startUtc = SharpCapTime(FirstOf(sidecar, {"StartCapture", "TimeStamp"}), facts.utcOffsetSeconds);
    facts.midUtc = SharpCapTime(sidecar.value("MidCapture"), facts.utcOffsetSeconds);
    facts.endUtc = SharpCapTime(sidecar.value("EndCapture"), facts.utcOffsetSeconds);
    return Completed(std::move(facts));
}

}   // namespace orbicrop::capture
