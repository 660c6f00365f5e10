// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/centring_options.h"
#include "settings/ini_file.h"

#include <cstdint>
#include <string>

// The settings that outlive one run of the program. width and height are
// size-slider positions (output size / 16), not pixels.
struct OrbicropSettings {
    std::int32_t threshold = 5;   // -100..100
    bool showEffect = false;
    bool ignoreIncomplete = false;   // drop frames whose window reaches the border
    bool debayerSafe = false;
    bool autoColor = true;      // the first test after opening chooses colour or greyscale
    bool color = true;          // RGB24 output; saved, never loaded
    std::int32_t width = 12;    // 2..40
    std::int32_t height = 12;   // 2..40
    // Section "Centring"; older files lack it and get these defaults.
    bool largestObject = false;
    bool surface = false;
    std::int32_t surfaceRefresh = 50;   // 1..10000 frames
    std::int32_t keepBest = 0;          // 0: every frame; else percent (1..100) or a count
    bool keepBestFrames = false;        // keepBest counts frames rather than percent
    bool bestFrame = false;
    bool serFormat = false;      // [Output] format=ser: SER outputs instead of AVI
    bool winJuposName = false;   // [Output] winjuposname: SER outputs named after their frames' mid-time
};

// The centring choices the settings hold, as the core takes them.
CentringOptions CentringFrom(const OrbicropSettings& settings);

constexpr std::int32_t kThresholdMin = -100;
constexpr std::int32_t kThresholdMax = 100;
constexpr const char* kSettingsFileName = "Orbicrop.ini";
constexpr std::int32_t kKeepBestFramesMax = 1000000;

// Reads the settings, clamping the numbers into the ranges of their controls.
// A missing file, section or key, or a value that is not an integer, gives the
// default. The output mode is not read: every start is in colour.
OrbicropSettings ReadOrbicropSettings(const IniFile& file);
OrbicropSettings LoadOrbicropSettings(const std::string& path);

// Writes the nine keys in a fixed order ("COG" threshold, showeffect;
// "Output" ignoreIncomplete, autocolor, color; "Size" width, height, auto;
// "Output" debayersafe), changing nothing else in the file; then "Output"
// format and winjuposname, each only when it is not the default or the file
// already has it; then the section "Centring", only when the file has it or a
// centring choice is not at its default. A file saved with the defaults stays
// as it was.
void WriteOrbicropSettings(IniFile& file, const OrbicropSettings& settings);
// Loads the file as it stands, writes the keys and saves it. Throws
// SettingsError "Unable to write to " + path when it cannot be written, and
// also when the file exists but cannot be read, since saving it then would
// throw away the lines that this program does not know.
void SaveOrbicropSettings(const std::string& path, const OrbicropSettings& settings);
