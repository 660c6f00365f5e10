// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/orbicrop_settings.h"

#include "analysis/processing_state.h"
#include "fileio/ascii_case.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

// Written and read with '.' whatever the user's locale, as to_chars and
// from_chars do: a file moved between machines reads the same.
std::optional<double> ParseSaturatedPercent(std::string_view text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return std::round(std::clamp(value, 0.0, 100.0) * 10.0) / 10.0;
}

std::string SaturatedPercentText(double percent)
{
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, percent, std::chars_format::fixed, 1);
    return error == std::errc() ? std::string(text, end) : std::string("off");
}

KeepBestUnit ReadKeepBestUnit(const IniFile& file)
{
    if (file.readBool("Centring", "keepbestscore", false))
        return KeepBestUnit::Score;
    return file.readBool("Centring", "keepbestframes", false) ? KeepBestUnit::Frames : KeepBestUnit::Percent;
}

}   // namespace

OrbicropSettings ReadOrbicropSettings(const IniFile& file)
{
    OrbicropSettings s;
    s.threshold = std::clamp(file.readInteger("COG", "threshold", s.threshold), kThresholdMin, kThresholdMax);
    s.showEffect = file.readBool("COG", "showeffect", s.showEffect);
    s.ignoreIncomplete = file.readBool("Output", "ignoreIncomplete", s.ignoreIncomplete);
    s.debayerSafe = file.readBool("Output", "debayersafe", s.debayerSafe);
    s.autoColor = file.readBool("Output", "autocolor", s.autoColor);
    s.width = std::clamp(file.readInteger("Size", "width", s.width), kCropPositionMin, kCropPositionMax);
    s.height = std::clamp(file.readInteger("Size", "height", s.height), kCropPositionMin, kCropPositionMax);
    s.largestObject = file.readBool("Centring", "largestobject", s.largestObject);
    s.surface = file.readBool("Centring", "surface", s.surface);
    s.surfaceRefresh = std::clamp(file.readInteger("Centring", "surfacerefresh", s.surfaceRefresh), 1, 10000);
    s.keepBestUnit = ReadKeepBestUnit(file);
    s.keepBest = std::clamp(file.readInteger("Centring", "keepbest", s.keepBest), 0,
                            s.keepBestUnit == KeepBestUnit::Frames ? kKeepBestFramesMax : 100);
    s.bestFrame = file.readBool("Centring", "bestframe", s.bestFrame);
    const auto format = file.readString("Output", "format");
    s.format = format ? ParseOutputFormat(*format).value_or(OutputFormat::Avi) : OutputFormat::Avi;
    s.winJuposName = file.readBool("Output", "winjuposname", s.winJuposName);
    s.outputFolder = file.readString("Output", "folder").value_or(std::string());
    s.keepGoing = file.readBool("Batch", "keepgoing", s.keepGoing);
    s.openFilter = file.readString("Open", "filter").value_or(s.openFilter);
    if (const auto bayer = file.readString("Colour", "bayer"))
        s.bayer = ParseBayerPattern(*bayer);
    s.debayer = file.readBool("Colour", "debayer", s.debayer);
    if (const auto method = file.readString("Colour", "debayermethod"))
        s.debayerMethod = ParseDemosaicMethod(*method).value_or(s.debayerMethod);
    s.largeSize = file.readBool("Size", "large", s.largeSize);
    s.largeWidth = SnappedLargeSize(file.readInteger("Size", "largewidth", s.largeWidth));
    s.largeHeight = SnappedLargeSize(file.readInteger("Size", "largeheight", s.largeHeight));
    s.fullFrame = file.readBool("Size", "wholeframe", s.fullFrame);
    s.rejectCut = file.readBool("Reject", "cut", s.rejectCut);
    s.rejectMinSize = std::clamp(file.readInteger("Reject", "minsize", s.rejectMinSize), 0, kRejectMinSizeMax);
    if (const auto saturated = file.readString("Reject", "maxsaturated"))
        s.rejectMaxSaturated = ParseSaturatedPercent(*saturated);
    if (const auto dim = file.readString("Reject", "dim"))
        if (const auto percent = ParseIniInteger(*dim); percent && *percent > 0)
            s.rejectDim = std::min(*percent, 100);
    s.frameRange = file.readBool("Frames", "range", s.frameRange);
    s.framesFirst = std::max(file.readInteger("Frames", "first", s.framesFirst), 0);
    s.framesLast = std::max(file.readInteger("Frames", "last", s.framesLast), -1);
    s.join = file.readBool("Frames", "join", s.join);
    s.timeRange = file.readBool("Frames", "timerange", s.timeRange);
    if (const auto times = file.readString("Frames", "times"))
        if (const auto range = ParseTimeRange(*times)) {
            s.timeFirst = range->first;
            s.timeEnd = range->end;
        }
    s.segment = file.readBool("Frames", "segment", s.segment);
    s.segmentSeconds =
        std::clamp(file.readInteger("Frames", "segmentseconds", s.segmentSeconds), 1, kSegmentSecondsMax);
    return s;
}

std::optional<TimeRange> TimeRangeFrom(const OrbicropSettings& settings)
{
    if (!settings.timeRange || settings.timeFirst == settings.timeEnd)
        return std::nullopt;
    return TimeRange{settings.timeFirst, settings.timeEnd};
}

std::optional<std::int32_t> SegmentFrom(const OrbicropSettings& settings)
{
    return settings.segment ? std::optional(settings.segmentSeconds) : std::nullopt;
}

FrameRange FramesFrom(const OrbicropSettings& settings)
{
    FrameRange range;
    if (!settings.frameRange)
        return range;
    range.first = settings.framesFirst;
    if (settings.framesLast >= 0)
        range.last = std::max(settings.framesLast, settings.framesFirst);
    return range;
}

std::int32_t SnappedLargeSize(std::int32_t pixels)
{
    return std::clamp(pixels, kLargeSizeMin, kLargeSizeMax) / kCropSizeStep * kCropSizeStep;
}

OrbicropSettings LoadOrbicropSettings(const std::string& path)
{
    IniFile file;
    file.load(path);
    return ReadOrbicropSettings(file);
}

namespace {

constexpr const char* kCentringKeys[] = {"largestobject",  "surface",   "surfacerefresh", "keepbest",
                                         "keepbestframes", "bestframe", "keepbestscore"};

bool HasCentring(const IniFile& file)
{
    for (const char* key : kCentringKeys)
        if (file.readString("Centring", key))
            return true;
    return false;
}

// Keys added after the first files were written: each appears once it leaves
// its default, so that a file saved with the defaults stays as it was.
void WriteBoolOnceChosen(IniFile& file, std::string_view section, std::string_view key, bool value, bool defaultValue)
{
    if (value != defaultValue || file.readString(section, key))
        file.writeBool(section, key, value);
}

void WriteIntegerOnceChosen(IniFile& file, std::string_view section, std::string_view key, std::int32_t value,
                            std::int32_t defaultValue)
{
    if (value != defaultValue || file.readString(section, key))
        file.writeInteger(section, key, value);
}

void WriteStringOnceChosen(IniFile& file, std::string_view section, std::string_view key, std::string_view value,
                           std::string_view defaultValue)
{
    if (value != defaultValue || file.readString(section, key))
        file.writeString(section, key, value);
}

bool CentringAtDefaults(const OrbicropSettings& s)
{
    const OrbicropSettings d;
    return s.largestObject == d.largestObject && s.surface == d.surface && s.surfaceRefresh == d.surfaceRefresh
        && s.keepBest == d.keepBest && s.keepBestUnit == d.keepBestUnit && s.bestFrame == d.bestFrame;
}

}   // namespace

void WriteOrbicropSettings(IniFile& file, const OrbicropSettings& settings)
{
    file.writeInteger("COG", "threshold", settings.threshold);
    file.writeBool("COG", "showeffect", settings.showEffect);
    file.writeBool("Output", "ignoreIncomplete", settings.ignoreIncomplete);
    file.writeBool("Output", "autocolor", settings.autoColor);
    file.writeBool("Output", "color", settings.color);
    file.writeInteger("Size", "width", settings.width);
    file.writeInteger("Size", "height", settings.height);
    file.writeBool("Size", "auto", false);
    file.writeBool("Output", "debayersafe", settings.debayerSafe);
    const OrbicropSettings d;
    WriteStringOnceChosen(file, "Output", "format", NameOf(settings.format), "avi");
    WriteBoolOnceChosen(file, "Output", "winjuposname", settings.winJuposName, d.winJuposName);
    // Empty once a folder chosen before is taken back: the default again.
    WriteStringOnceChosen(file, "Output", "folder", settings.outputFolder, d.outputFolder);
    WriteBoolOnceChosen(file, "Batch", "keepgoing", settings.keepGoing, d.keepGoing);
    WriteStringOnceChosen(file, "Open", "filter", settings.openFilter, d.openFilter);
    WriteBoolOnceChosen(file, "Size", "large", settings.largeSize, d.largeSize);
    WriteIntegerOnceChosen(file, "Size", "largewidth", settings.largeWidth, d.largeWidth);
    WriteIntegerOnceChosen(file, "Size", "largeheight", settings.largeHeight, d.largeHeight);
    WriteBoolOnceChosen(file, "Size", "wholeframe", settings.fullFrame, d.fullFrame);
    // "none" rather than an empty value: a pattern once chosen and taken back
    // reads as a choice, not as a damaged line.
    WriteStringOnceChosen(file, "Colour", "bayer", settings.bayer ? NameOf(*settings.bayer) : "none", "none");
    WriteBoolOnceChosen(file, "Colour", "debayer", settings.debayer, d.debayer);
    WriteStringOnceChosen(file, "Colour", "debayermethod", NameOf(settings.debayerMethod), NameOf(d.debayerMethod));
    // A file that never had a centring choice stays as it always was.
    if (HasCentring(file) || !CentringAtDefaults(settings)) {
        file.writeBool("Centring", "largestobject", settings.largestObject);
        file.writeBool("Centring", "surface", settings.surface);
        file.writeInteger("Centring", "surfacerefresh", settings.surfaceRefresh);
        file.writeInteger("Centring", "keepbest", settings.keepBest);
        file.writeBool("Centring", "keepbestframes", settings.keepBestUnit == KeepBestUnit::Frames);
        file.writeBool("Centring", "bestframe", settings.bestFrame);
        // Newer than the six above: files that never chose the score keep
        // the section they had.
        WriteBoolOnceChosen(file, "Centring", "keepbestscore", settings.keepBestUnit == KeepBestUnit::Score, false);
    }
    WriteBoolOnceChosen(file, "Reject", "cut", settings.rejectCut, d.rejectCut);
    WriteIntegerOnceChosen(file, "Reject", "minsize", settings.rejectMinSize, d.rejectMinSize);
    // "off" as bayer's "none": a rejection taken back is saved as a choice.
    WriteStringOnceChosen(file, "Reject", "maxsaturated",
                          settings.rejectMaxSaturated ? SaturatedPercentText(*settings.rejectMaxSaturated) : "off",
                          "off");
    WriteStringOnceChosen(file, "Reject", "dim", settings.rejectDim ? std::to_string(*settings.rejectDim) : "off",
                          "off");
    WriteBoolOnceChosen(file, "Frames", "range", settings.frameRange, d.frameRange);
    WriteIntegerOnceChosen(file, "Frames", "first", settings.framesFirst, d.framesFirst);
    WriteIntegerOnceChosen(file, "Frames", "last", settings.framesLast, d.framesLast);
    WriteBoolOnceChosen(file, "Frames", "join", settings.join, d.join);
    WriteBoolOnceChosen(file, "Frames", "timerange", settings.timeRange, d.timeRange);
    WriteStringOnceChosen(file, "Frames", "times", TimeRangeText({settings.timeFirst, settings.timeEnd}),
                          TimeRangeText({d.timeFirst, d.timeEnd}));
    WriteBoolOnceChosen(file, "Frames", "segment", settings.segment, d.segment);
    WriteIntegerOnceChosen(file, "Frames", "segmentseconds", settings.segmentSeconds, d.segmentSeconds);
}

CentringOptions CentringFrom(const OrbicropSettings& settings)
{
    CentringOptions o;
    o.largestObject = settings.largestObject;
    o.surface = settings.surface;
    o.surfaceRefresh = settings.surfaceRefresh;
    if (settings.keepBest > 0) {
        switch (settings.keepBestUnit) {
        case KeepBestUnit::Percent:
            // 100 percent keeps every frame: no ranking pass is needed for it.
            if (settings.keepBest < 100)
                o.keepBest = {KeepBest::Kind::Percent, settings.keepBest};
            break;
        case KeepBestUnit::Frames: o.keepBest = {KeepBest::Kind::Count, settings.keepBest}; break;
        case KeepBestUnit::Score: o.keepBest = {KeepBest::Kind::Floor, 0, settings.keepBest / 100.0}; break;
        }
    }
    o.bestFrame = settings.bestFrame;
    o.reject.cut = settings.rejectCut;
    o.reject.minSize = settings.rejectMinSize;
    o.reject.maxSaturated = settings.rejectMaxSaturated;
    if (settings.rejectDim)
        o.reject.dimPercent = double(*settings.rejectDim);
    return o;
}

ColourOptions ColourFrom(const OrbicropSettings& settings)
{
    ColourOptions o;
    o.declaredBayer = settings.bayer;
    o.debayer = settings.debayer;
    o.method = settings.debayerMethod;
    return o;
}

void SaveOrbicropSettings(const std::string& path, const OrbicropSettings& settings)
{
    IniFile file;
    if (file.load(path) == IniFile::LoadResult::Unreadable)
        throw SettingsError("Unable to write to " + path);
    WriteOrbicropSettings(file, settings);
    file.save();
}
