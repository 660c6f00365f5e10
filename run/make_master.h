// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calibration/master.h"
#include "run/file_run.h"
#include "analysis/run_report.h"

#include <optional>
#include <string>
#include <vector>

// A master to be made from the frames of captures (videos, SER files).
struct MasterRequest {
    orbicrop::calibration::MasterKind kind = orbicrop::calibration::MasterKind::Dark;
    orbicrop::calibration::CombineMethod method = orbicrop::calibration::CombineMethod::SigmaClippedMean;
    std::vector<std::string> inputs;
    // For a flat: a master bias, or a master dark-flat, subtracted from each
    // frame first (at most one of them); empty: none.
    std::string bias;
    std::string darkFlat;
    // Where the mosaic of inputs that do not name theirs lies (the user's
    // Bayer choice), as the runs take it.
    ColourOptions colour;
};

// Combines every frame of the request's inputs into a master, reporting
// progress and a line a pass to report. Inputs of another size, colour or
// depth than the first are refused by name. Throws CalibrationError with the
// message for the user.
orbicrop::calibration::Master MakeMaster(const MasterRequest& request, RunReport& report,
                                         const SourceOpener& open = OpenFrameSource);

// Why a master cannot be written to path for request, told before the long
// work: its folder does not exist, or path is one of the captures or masters
// the request reads (writing it would destroy them). Nothing when it can.
std::optional<std::string> MasterOutputRefusal(const std::string& path, const MasterRequest& request);
