// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/orbicrop_settings.h"

#include "analysis/processing_state.h"
#include "analysis/time_range.h"
#include "text/ascii_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
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

using Settings = OrbicropSettings;

// How a key reaches the file. The keys of the first files are written
// always; keys added later appear once they leave their default (or once the
// file has them), so that a file saved with the defaults stays as it was;
// the centring keys are written as a group once any of them is chosen.
enum class Written { Always, OnceChosen };

// One key of the file: where it lives, how it is read into the settings
// and how they write it. The table below is every key's one home: reading
// and writing both walk it, writing in its order (a new key is appended
// where the table puts it). read null: saved, never loaded.
struct SettingKey {
    std::string_view section;
    std::string_view name;
    Written written;
    bool centring;   // one of the centring group
    void (*read)(const IniFile&, const SettingKey&, Settings&);
    void (*write)(IniFile&, const SettingKey&, const Settings&, bool onlyIfChosen);
};

bool Chosen(const IniFile& file, const SettingKey& key, bool differs, bool onlyIfChosen)
{
    return !onlyIfChosen || differs || file.readString(key.section, key.name);
}

template <auto Member>
SettingKey BoolKey(std::string_view section, std::string_view name, Written written, bool centring = false)
{
    return {section,
            name,
            written,
            centring,
            [](const IniFile& f, const SettingKey& k, Settings& s) {
                s.*Member = f.readBool(k.section, k.name, s.*Member);
            },
            [](IniFile& f, const SettingKey& k, const Settings& s, bool onlyIfChosen) {
                if (Chosen(f, k, s.*Member != Settings{}.*Member, onlyIfChosen))
                    f.writeBool(k.section, k.name, s.*Member);
            }};
}

template <auto Member>
void WriteInteger(IniFile& f, const SettingKey& k, const Settings& s, bool onlyIfChosen)
{
    if (Chosen(f, k, s.*Member != Settings{}.*Member, onlyIfChosen))
        f.writeInteger(k.section, k.name, s.*Member);
}

// An integer clamped to Low..High as it is read.
template <auto Member, std::int32_t Low, std::int32_t High>
SettingKey IntegerKey(std::string_view section, std::string_view name, Written written, bool centring = false)
{
    return {section,
            name,
            written,
            centring,
            [](const IniFile& f, const SettingKey& k, Settings& s) {
                s.*Member = std::clamp(f.readInteger(k.section, k.name, s.*Member), Low, High);
            },
            WriteInteger<Member>};
}

// A value written as text; Text gives it, and the default's text is the
// default settings'.
template <std::string (*Text)(const Settings&)>
void WriteText(IniFile& f, const SettingKey& k, const Settings& s, bool onlyIfChosen)
{
    const std::string text = Text(s);
    if (Chosen(f, k, text != Text(Settings{}), onlyIfChosen))
        f.writeString(k.section, k.name, text);
}

std::string FormatText(const Settings& s)
{
    return std::string(NameOf(s.format));
}
std::string RateText(const Settings& s)
{
    return OutputRateText(s.fps);
}
std::string FolderText(const Settings& s)
{
    // Empty once a folder chosen before is taken back: the default again.
    return s.outputFolder;
}
std::string FilterText(const Settings& s)
{
    return s.openFilter;
}
// "none" rather than an empty value: a pattern once chosen and taken back
// reads as a choice, not as a damaged line.
std::string BayerText(const Settings& s)
{
    return s.bayer ? std::string(NameOf(*s.bayer)) : s.bayerAuto ? "auto" : "none";
}
std::string MethodText(const Settings& s)
{
    return std::string(NameOf(s.debayerMethod));
}
// "none" as bayer's: levels taken back are saved as a choice.
std::string LevelsSettingText(const Settings& s)
{
    return s.levels ? LevelsText(*s.levels) : "none";
}
// "off" as bayer's "none": a rejection taken back is saved as a choice.
std::string FlipText(const Settings& s)
{
    return s.flip == Flip::H ? "h" : s.flip == Flip::V ? "v" : "none";
}
// "off" once a meridian flip is taken back.
std::string MeridianText(const Settings& s)
{
    return s.meridianFlip ? ClockText(*s.meridianFlip) : "off";
}
std::string SaturatedText(const Settings& s)
{
    return s.rejectMaxSaturated ? SaturatedPercentText(*s.rejectMaxSaturated) : "off";
}
std::string DimText(const Settings& s)
{
    return s.rejectDim ? std::to_string(*s.rejectDim) : "off";
}
std::string TimesText(const Settings& s)
{
    return TimeRangeText({s.timeFirst, s.timeEnd});
}

constexpr std::array<std::string_view, 3> kHotPixelNames = {"off", "dark", "auto"};
std::string HotPixelText(const Settings& s)
{
    return std::string(kHotPixelNames[std::size_t(s.calibration.hotPixels)]);
}

// A master's path; empty once a master chosen before is taken back.
template <std::string CalibrationOptions::*Member>
SettingKey MasterKey(std::string_view name)
{
    return {"Calibration",
            name,
            Written::OnceChosen,
            false,
            [](const IniFile& f, const SettingKey& k, Settings& s) {
                s.calibration.*Member = f.readString(k.section, k.name).value_or(std::string());
            },
            [](IniFile& f, const SettingKey& k, const Settings& s, bool onlyIfChosen) {
                const std::string& path = s.calibration.*Member;
                if (Chosen(f, k, !path.empty(), onlyIfChosen))
                    f.writeString(k.section, k.name, path);
            }};
}

// A text kept as typed; empty once taken back.
template <std::string Settings::*Member>
SettingKey TextKey(std::string_view section, std::string_view name)
{
    return {section,
            name,
            Written::OnceChosen,
            false,
            [](const IniFile& f, const SettingKey& k, Settings& s) {
                s.*Member = f.readString(k.section, k.name).value_or(std::string());
            },
            [](IniFile& f, const SettingKey& k, const Settings& s, bool onlyIfChosen) {
                if (Chosen(f, k, !(s.*Member).empty(), onlyIfChosen))
                    f.writeString(k.section, k.name, s.*Member);
            }};
}

void ReadNothing(const IniFile&, const SettingKey&, Settings&) {}

const SettingKey kKeys[] = {
    IntegerKey<&Settings::threshold, kThresholdMin, kThresholdMax>("COG", "threshold", Written::Always),
    BoolKey<&Settings::showEffect>("COG", "showeffect", Written::Always),
    BoolKey<&Settings::ignoreIncomplete>("Output", "ignoreIncomplete", Written::Always),
    BoolKey<&Settings::autoColor>("Output", "autocolor", Written::Always),
    {"Output", "color", Written::Always, false, ReadNothing,
     [](IniFile& f, const SettingKey& k, const Settings& s, bool) { f.writeBool(k.section, k.name, s.color); }},
    IntegerKey<&Settings::width, kCropPositionMin, kCropPositionMax>("Size", "width", Written::Always),
    IntegerKey<&Settings::height, kCropPositionMin, kCropPositionMax>("Size", "height", Written::Always),
    // Kept for the files of the first version, which had an automatic size.
    {"Size", "auto", Written::Always, false, ReadNothing,
     [](IniFile& f, const SettingKey& k, const Settings&, bool) { f.writeBool(k.section, k.name, false); }},
    BoolKey<&Settings::debayerSafe>("Output", "debayersafe", Written::Always),
    {"Output", "format", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         const auto format = f.readString(k.section, k.name);
         s.format = format ? ParseOutputFormat(*format).value_or(OutputFormat::Avi) : OutputFormat::Avi;
     },
     WriteText<FormatText>},
    BoolKey<&Settings::winJuposName>("Output", "winjuposname", Written::OnceChosen),
    {"Output", "fps", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto fps = f.readString(k.section, k.name))
             s.fps = ParseOutputRate(*fps).value_or(OutputRate{});
     },
     WriteText<RateText>},
    {"Output", "folder", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         s.outputFolder = f.readString(k.section, k.name).value_or(std::string());
     },
     WriteText<FolderText>},
    BoolKey<&Settings::keepGoing>("Batch", "keepgoing", Written::OnceChosen),
    {"Open", "filter", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         s.openFilter = f.readString(k.section, k.name).value_or(s.openFilter);
     },
     WriteText<FilterText>},
    BoolKey<&Settings::largeSize>("Size", "large", Written::OnceChosen),
    {"Size", "largewidth", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         s.largeWidth = SnappedLargeSize(f.readInteger(k.section, k.name, s.largeWidth));
     },
     WriteInteger<&Settings::largeWidth>},
    {"Size", "largeheight", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         s.largeHeight = SnappedLargeSize(f.readInteger(k.section, k.name, s.largeHeight));
     },
     WriteInteger<&Settings::largeHeight>},
    BoolKey<&Settings::fullFrame>("Size", "wholeframe", Written::OnceChosen),
    BoolKey<&Settings::sizeAuto>("Size", "fromplanet", Written::OnceChosen),
    {"Colour", "bayer", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto bayer = f.readString(k.section, k.name)) {
             s.bayer = ParseBayerPattern(*bayer);
             s.bayerAuto = *bayer == "auto";
         }
     },
     WriteText<BayerText>},
    BoolKey<&Settings::debayer>("Colour", "debayer", Written::OnceChosen),
    {"Colour", "debayermethod", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto method = f.readString(k.section, k.name))
             s.debayerMethod = ParseDemosaicMethod(*method).value_or(s.debayerMethod);
     },
     WriteText<MethodText>},
    BoolKey<&Settings::alignRgb>("Colour", "alignrgb", Written::OnceChosen),
    {"Colour", "levels", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto levels = f.readString(k.section, k.name))
             s.levels = ParseLevels(*levels);
     },
     WriteText<LevelsSettingText>},
    {"Colour", "rotate", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         const std::int32_t degrees = f.readInteger(k.section, k.name, s.rotate);
         s.rotate = degrees == 90 || degrees == 180 || degrees == 270 ? degrees : 0;
     },
     WriteInteger<&Settings::rotate>},
    {"Colour", "flip", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         const auto text = f.readString(k.section, k.name).value_or("");
         s.flip = text == "h" ? Flip::H : text == "v" ? Flip::V : Flip::None;
     },
     WriteText<FlipText>},
    {"Colour", "meridianflip", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         s.meridianFlip = ParseClockMinutes(f.readString(k.section, k.name).value_or(""));
     },
     WriteText<MeridianText>},
    BoolKey<&Settings::largestObject>("Centring", "largestobject", Written::Always, true),
    BoolKey<&Settings::surface>("Centring", "surface", Written::Always, true),
    IntegerKey<&Settings::surfaceRefresh, 1, 10000>("Centring", "surfacerefresh", Written::Always, true),
    {"Centring", "keepbest", Written::Always, true,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         const std::int32_t most = ReadKeepBestUnit(f) == KeepBestUnit::Frames ? kKeepBestFramesMax : 100;
         s.keepBest = std::clamp(f.readInteger(k.section, k.name, s.keepBest), 0, most);
     },
     WriteInteger<&Settings::keepBest>},
    {"Centring", "keepbestframes", Written::Always, true,
     [](const IniFile& f, const SettingKey&, Settings& s) { s.keepBestUnit = ReadKeepBestUnit(f); },
     [](IniFile& f, const SettingKey& k, const Settings& s, bool) {
         f.writeBool(k.section, k.name, s.keepBestUnit == KeepBestUnit::Frames);
     }},
    BoolKey<&Settings::bestFrame>("Centring", "bestframe", Written::Always, true),
    // Newer than the six above: files that never chose the score keep the
    // section they had.
    BoolKey<&Settings::limb>("Centring", "limb", Written::OnceChosen, true),
    {"Centring", "keepbestscore", Written::OnceChosen, true, ReadNothing,
     [](IniFile& f, const SettingKey& k, const Settings& s, bool onlyIfChosen) {
         const bool score = s.keepBestUnit == KeepBestUnit::Score;
         if (Chosen(f, k, score, onlyIfChosen))
             f.writeBool(k.section, k.name, score);
     }},
    BoolKey<&Settings::rejectCut>("Reject", "cut", Written::OnceChosen),
    IntegerKey<&Settings::rejectMinSize, 0, kRejectMinSizeMax>("Reject", "minsize", Written::OnceChosen),
    {"Reject", "maxsaturated", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto saturated = f.readString(k.section, k.name))
             s.rejectMaxSaturated = ParseSaturatedPercent(*saturated);
     },
     WriteText<SaturatedText>},
    {"Reject", "dim", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto dim = f.readString(k.section, k.name))
             if (const auto percent = ParseIniInteger(*dim); percent && *percent > 0)
                 s.rejectDim = std::min(*percent, 100);
     },
     WriteText<DimText>},
    BoolKey<&Settings::frameRange>("Frames", "range", Written::OnceChosen),
    IntegerKey<&Settings::framesFirst, 0, INT32_MAX>("Frames", "first", Written::OnceChosen),
    IntegerKey<&Settings::framesLast, -1, INT32_MAX>("Frames", "last", Written::OnceChosen),
    BoolKey<&Settings::join>("Frames", "join", Written::OnceChosen),
    BoolKey<&Settings::timeRange>("Frames", "timerange", Written::OnceChosen),
    {"Frames", "times", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto times = f.readString(k.section, k.name))
             if (const auto range = ParseTimeRange(*times)) {
                 s.timeFirst = range->first;
                 s.timeEnd = range->end;
             }
     },
     WriteText<TimesText>},
    BoolKey<&Settings::segment>("Frames", "segment", Written::OnceChosen),
    IntegerKey<&Settings::segmentSeconds, 1, kSegmentSecondsMax>("Frames", "segmentseconds", Written::OnceChosen),
    MasterKey<&CalibrationOptions::dark>("dark"),
    MasterKey<&CalibrationOptions::flat>("flat"),
    MasterKey<&CalibrationOptions::bias>("bias"),
    {"Calibration", "hotpixels", Written::OnceChosen, false,
     [](const IniFile& f, const SettingKey& k, Settings& s) {
         if (const auto text = f.readString(k.section, k.name))
             s.calibration.hotPixels = orbicrop::text::EnumByName<HotPixels>(kHotPixelNames, *text).value_or(HotPixels::Off);
     },
     WriteText<HotPixelText>},
    TextKey<&Settings::nameTimePattern>("Time", "namepattern"),
    TextKey<&Settings::utcOffset>("Time", "utcoffset"),
    BoolKey<&Settings::nightRecurse>("Night", "recurse", Written::OnceChosen),
    BoolKey<&Settings::nightJoinAuto>("Night", "joinauto", Written::OnceChosen),
};

}   // namespace

OrbicropSettings ReadOrbicropSettings(const IniFile& file)
{
    OrbicropSettings s;
    for (const SettingKey& key : kKeys)
        key.read(file, key, s);
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

bool HasCentring(const IniFile& file)
{
    for (const SettingKey& key : kKeys)
        if (key.centring && file.readString(key.section, key.name))
            return true;
    return false;
}

bool CentringAtDefaults(const OrbicropSettings& s)
{
    const OrbicropSettings d;
    return s.largestObject == d.largestObject && s.limb == d.limb && s.surface == d.surface
        && s.surfaceRefresh == d.surfaceRefresh && s.keepBest == d.keepBest && s.keepBestUnit == d.keepBestUnit
        && s.bestFrame == d.bestFrame;
}

}   // namespace

void WriteOrbicropSettings(IniFile& file, const OrbicropSettings& settings)
{
    // A file that never had a centring choice stays as it always was.
    const bool centring = HasCentring(file) || !CentringAtDefaults(settings);
    for (const SettingKey& key : kKeys)
        if (!key.centring || centring)
            key.write(file, key, settings, key.written == Written::OnceChosen);
}

CentringOptions CentringFrom(const OrbicropSettings& settings)
{
    CentringOptions o;
    o.largestObject = settings.largestObject;
    o.limb = settings.limb;
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
    o.detectBayer = settings.bayerAuto && !settings.bayer;
    o.debayer = settings.debayer;
    o.method = settings.debayerMethod;
    o.alignRgb = settings.alignRgb ? AlignRgb::Correct : AlignRgb::Off;
    o.levels = settings.levels;
    o.rotate = settings.rotate;
    o.flip = settings.flip;
    o.meridianFlip = settings.meridianFlip;
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
