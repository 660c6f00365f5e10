// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/orbicrop_settings.h"

#include "analysis/processing_state.h"
#include "fileio/ascii_case.h"

#include <algorithm>

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
    s.keepBestFrames = file.readBool("Centring", "keepbestframes", s.keepBestFrames);
    s.keepBest = std::clamp(file.readInteger("Centring", "keepbest", s.keepBest), 0,
                            s.keepBestFrames ? kKeepBestFramesMax : 100);
    s.bestFrame = file.readBool("Centring", "bestframe", s.bestFrame);
    const auto format = file.readString("Output", "format");
    s.serFormat = format && orbicrop::fileio::equalIgnoringAsciiCase(*format, "ser");
    s.winJuposName = file.readBool("Output", "winjuposname", s.winJuposName);
    return s;
}

OrbicropSettings LoadOrbicropSettings(const std::string& path)
{
    IniFile file;
    file.load(path);
    return ReadOrbicropSettings(file);
}

namespace {

constexpr const char* kCentringKeys[] = {"largestobject", "surface",        "surfacerefresh",
                                         "keepbest",      "keepbestframes", "bestframe"};

bool HasCentring(const IniFile& file)
{
    for (const char* key : kCentringKeys)
        if (file.readString("Centring", key))
            return true;
    return false;
}

bool CentringAtDefaults(const OrbicropSettings& s)
{
    const OrbicropSettings d;
    return s.largestObject == d.largestObject && s.surface == d.surface && s.surfaceRefresh == d.surfaceRefresh
        && s.keepBest == d.keepBest && s.keepBestFrames == d.keepBestFrames && s.bestFrame == d.bestFrame;
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
    if (settings.serFormat || file.readString("Output", "format"))
        file.writeString("Output", "format", settings.serFormat ? "ser" : "avi");
    if (settings.winJuposName || file.readString("Output", "winjuposname"))
        file.writeBool("Output", "winjuposname", settings.winJuposName);
    // A file that never had a centring choice stays as it always was.
    if (!HasCentring(file) && CentringAtDefaults(settings))
        return;
    file.writeBool("Centring", "largestobject", settings.largestObject);
    file.writeBool("Centring", "surface", settings.surface);
    file.writeInteger("Centring", "surfacerefresh", settings.surfaceRefresh);
    file.writeInteger("Centring", "keepbest", settings.keepBest);
    file.writeBool("Centring", "keepbestframes", settings.keepBestFrames);
    file.writeBool("Centring", "bestframe", settings.bestFrame);
}

CentringOptions CentringFrom(const OrbicropSettings& settings)
{
    CentringOptions o;
    o.largestObject = settings.largestObject;
    o.surface = settings.surface;
    o.surfaceRefresh = settings.surfaceRefresh;
    // 100 percent keeps every frame: no ranking pass is needed for it.
    if (settings.keepBest > 0 && (settings.keepBestFrames || settings.keepBest < 100)) {
        o.keepBest.kind = settings.keepBestFrames ? KeepBest::Kind::Count : KeepBest::Kind::Percent;
        o.keepBest.value = settings.keepBest;
    }
    o.bestFrame = settings.bestFrame;
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
