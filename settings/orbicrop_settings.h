// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/calibration_options.h"
#include "analysis/centring_options.h"
#include "analysis/colour_options.h"
#include "analysis/output_format.h"
#include "analysis/output_rate.h"
#include "analysis/processing_state.h"
#include "settings/ini_file.h"

#include <cstdint>
#include <optional>
#include <string>

// What keepBest counts: a share in percent, frames, or hundredths of the
// normalised score (1.0 for the file's best) that a kept frame reaches.
enum class KeepBestUnit { Percent, Frames, Score };

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
    std::int32_t keepBest = 0;          // 0: every frame; else in keepBestUnit (up to 100 but for Frames)
    KeepBestUnit keepBestUnit = KeepBestUnit::Percent;
    bool bestFrame = false;
    OutputFormat format = OutputFormat::Avi;   // [Output] format: avi, ser, tiff, fits or png
    bool winJuposName = false;                 // [Output] winjuposname: SER outputs named after their frames' mid-time
    // [Output] fps: the rate an AVI output plays at, "source" or a number
    // as ParseOutputRate reads it; written once it leaves 30.
    OutputRate fps;
    // [Output] folder: where the window's outputs go; empty: the folder of
    // the tested file. A path as the file system takes it (bytes).
    std::string outputFolder;
    // [Batch] keepgoing: the window shows no message during a batch for a
    // file that fails, only one summary at its end.
    bool keepGoing = false;
    // [Open] filter: the window's open dialog shows the filter it used last,
    // by the window's name for it; "avi" is the dialog's first.
    std::string openFilter = "avi";
    // Section "Colour"; written once a choice leaves its default.
    std::optional<BayerPattern> bayer;   // for files that do not name their own; none: as the file says
    bool bayerAuto = false;              // with no pattern: found in each file's frames ("auto")
    bool debayer = false;
    DemosaicMethod debayerMethod = ColourOptions{}.method;
    bool alignRgb = false;   // [Colour] alignrgb: red and blue moved onto green against dispersion
    // [Colour] levels: deeper samples into the 8-bit outputs ("auto",
    // "BLACK:WHITE[:GAMMA]"); none: their top 8 bits.
    std::optional<LevelsChoice> levels;
    // [Colour] rotate (0, 90, 180, 270 degrees clockwise), flip (none, h, v)
    // and meridianflip (HH:MM UT, kept as minutes after midnight).
    std::int32_t rotate = 0;
    Flip flip = Flip::None;
    std::optional<std::int32_t> meridianFlip;
    // Beyond the sliders, in "Size"; in pixels, unlike width and height.
    bool largeSize = false;
    std::int32_t largeWidth = 1024;   // kLargeSizeMin..kLargeSizeMax, a multiple of 16
    std::int32_t largeHeight = 768;
    bool fullFrame = false;   // [Size] wholeframe: outputs as large as their inputs
    bool sizeAuto = false;    // [Size] fromplanet: the output size from the planet in the first frames
    bool limb = false;        // [Centring] limb: the disc's centre from its limb
    // Section "Reject", as RejectOptions takes them; each off by default and
    // written once it is chosen.
    bool rejectCut = false;
    std::int32_t rejectMinSize = 0;             // pixels, 0..kRejectMinSizeMax; 0: off
    std::optional<double> rejectMaxSaturated;   // percent, 0.0..100.0 in tenths
    std::optional<std::int32_t> rejectDim;      // percent of the file's median, 1..100
    // Section "Frames": only frames first to last (-1: to the end) of each
    // file, while range is on; written once chosen.
    bool frameRange = false;
    std::int32_t framesFirst = 0;
    std::int32_t framesLast = -1;
    // Also in "Frames", each written once chosen: all files joined into one
    // output; only frames captured within timeFirst..timeEnd (seconds of the
    // UTC day, "times" HH:MM:SS-HH:MM:SS) while timeRange is on; outputs cut
    // every segmentSeconds (1..kSegmentSecondsMax) while segment is on.
    bool join = false;
    bool timeRange = false;
    std::int32_t timeFirst = 0;
    std::int32_t timeEnd = 120;
    bool segment = false;
    std::int32_t segmentSeconds = 120;
    // Section "Calibration", each key written once chosen: the masters by
    // their paths (bytes, as the file system takes them; empty: none) and
    // where hot pixels are found ("off", "dark", "auto").
    CalibrationOptions calibration;
    // Section "Time", each key written once chosen: the pattern file names
    // give the capture time by, and the local time they are written in
    // ("+02:00"), as typed; empty: none.
    std::string nameTimePattern;
    std::string utcOffset;
    // Section "Night", each key written once chosen: how a folder opens as
    // a night, with its subfolders (recurse) and split captures joined
    // (joinauto). Redoing captures done before is a one-off and not kept.
    bool nightRecurse = false;
    bool nightJoinAuto = false;
};

constexpr std::int32_t kSegmentSecondsMax = 86400;

// The time range the settings choose, when it is on.
std::optional<TimeRange> TimeRangeFrom(const OrbicropSettings& settings);
// The length of the pieces the settings cut outputs into, when on.
std::optional<std::int32_t> SegmentFrom(const OrbicropSettings& settings);

// The frames the settings choose, as the core takes them: the whole file
// unless the range is on.
FrameRange FramesFrom(const OrbicropSettings& settings);

// The centring choices the settings hold, as the core takes them.
CentringOptions CentringFrom(const OrbicropSettings& settings);
// The colour choices the settings hold, as the core takes them.
ColourOptions ColourFrom(const OrbicropSettings& settings);

constexpr std::int32_t kThresholdMin = -100;
constexpr std::int32_t kThresholdMax = 100;
constexpr const char* kSettingsFileName = "Orbicrop.ini";
constexpr std::int32_t kKeepBestFramesMax = 1000000;
constexpr std::int32_t kRejectMinSizeMax = 4096;
// What the window offers for a rejection before it is chosen.
constexpr double kRejectMaxSaturatedDefault = 1.0;
constexpr std::int32_t kRejectDimDefault = 50;
// The large output sizes in pixels, in the sliders' steps: from the
// sliders' smallest size up to what the core takes for large fields.
constexpr std::int32_t kLargeSizeMin = kCropPositionMin * kCropSizeStep;
constexpr std::int32_t kLargeSizeMax = kLargeCropPositionMax * kCropSizeStep;
// A large size the core can take: clamped to kLargeSizeMin..kLargeSizeMax,
// then down to a multiple of kCropSizeStep.
std::int32_t SnappedLargeSize(std::int32_t pixels);

// Reads the settings, clamping the numbers into the ranges of their controls
// (the large sizes snapped as SnappedLargeSize does, the saturated share
// rounded to tenths). A missing file, section or key, a value that is not an
// integer, or a Bayer pattern or method of no known name, gives the default;
// so does a saturated share that is not a number with '.' for its point, and a
// dim share that is not an integer or is not above 0 (which rejects nothing):
// both are then off. keepbestscore, when true, outweighs keepbestframes. The
// output mode is not read: every start is in colour.
OrbicropSettings ReadOrbicropSettings(const IniFile& file);
OrbicropSettings LoadOrbicropSettings(const std::string& path);

// Writes every key of the settings' one table (orbicrop_settings.cpp), in
// its order, changing nothing else in the file: the nine keys of the first
// files always; each key added since only when it is not the default or the
// file already has it (a choice taken back is saved as such: "none",
// "off"); the section "Centring" only when the file has it or a centring
// choice is not at its default. A file saved with the defaults stays as it
// was.
void WriteOrbicropSettings(IniFile& file, const OrbicropSettings& settings);
// Loads the file as it stands, writes the keys and saves it. Throws
// SettingsError "Unable to write to " + path when it cannot be written, and
// also when the file exists but cannot be read, since saving it then would
// throw away the lines that this program does not know.
void SaveOrbicropSettings(const std::string& path, const OrbicropSettings& settings);
