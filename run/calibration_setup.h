// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "calibration/calibrator.h"
#include "calibration/master.h"
#include "video/frame_source.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The masters of a batch, read once from their files; kept in the state
// while the choice and the files stay the same.
struct LoadedMasters {
    CalibrationOptions options;
    // Each master file's size and time when it was read.
    struct Stamp {
        std::string path;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        bool operator==(const Stamp&) const = default;
    };
    std::vector<Stamp> stamps;
    orbicrop::calibration::CalibrationMasters masters;
    // How each file was read, for the log ("dark.fits: 16-bit integers").
    std::vector<std::string> readings;
    // The hot and cold pixels of the dark, when they are found there.
    orbicrop::calibration::DefectMap darkDefects;
    // The size all masters share, and the first one's mosaic and file.
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
    std::optional<BayerPattern> mosaic;
    std::string firstPath;
};

// The master at path, read through the still-image module. A float master
// whose values all lie within [0, 1] (how Siril stores its 32-bit masters)
// is kept so and marked normalised; reading says which reading was taken.
// Throws CalibrationError naming the file.
orbicrop::calibration::Master ReadMaster(const std::string& path, orbicrop::calibration::MasterKind kind,
                                         std::string& reading);
// Writes master to path as a 32-bit float FITS, creator named in it, under
// a temporary name that takes path only once the file is whole (an older
// master stays as it was when writing fails). Throws CalibrationError
// naming the file.
void WriteMaster(const std::string& path, const orbicrop::calibration::Master& master, const std::string& creator);

// Loads the masters options choose into masters, unless those it holds are
// of the same choice and files (a batch reads them once); with no master
// chosen, it holds none, or (hot pixels found in the frames) an empty set.
// Throws CalibrationError (a master unreadable, or the masters disagreeing
// with each other).
void TakeMasters(std::shared_ptr<const LoadedMasters>& masters, const CalibrationOptions& options);

// Why the masters do not fit the frames of path (described by info, mosaic
// its layout id or 0), naming both files and both sizes; nothing when they fit.
std::optional<std::string> MasterMismatch(const LoadedMasters& loaded, const std::string& path, const VideoInfo& info,
                                          std::int32_t mosaic);

// What 1.0 of a normalised master stands for in a capture of depth bits:
// the full range of its samples' container, 65535 (255 for 8-bit
// captures), as Siril scales integers into its 32-bit images: a 12-bit
// camera's samples stay 0 .. 4095 in a 16-bit container there.
float NormalisedRange(std::int32_t depth);

// The calibrator for the frames of a capture of depth bits (a normalised
// master scaled by NormalisedRange) whose mosaic is mosaic (a
// layout id or 0), repairing defects (the dark's, or those found in the
// file's frames; none for none).
orbicrop::calibration::Calibrator CalibratorFor(const LoadedMasters& loaded, std::int32_t depth, std::int32_t mosaic,
                                                orbicrop::calibration::DefectMap defects);

// The lines of the log that say what a file is calibrated with.
std::vector<std::string> CalibrationLines(const LoadedMasters& loaded, const orbicrop::calibration::DefectMap& defects,
                                          HotPixels hotPixels);
