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
}

void SaveOrbicropSettings(const std::string& path, const OrbicropSettings& settings)
{
    IniFile file;
    if (file.load(path) == IniFile::LoadResult::Unreadable)
        throw SettingsError("Unable to write to " + path);
    WriteOrbicropSettings(file, settings);
    file.save();
}
