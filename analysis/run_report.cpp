// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/run_report.h"

const char* OutcomeText(FrameRecord::Outcome outcome)
{
    switch (outcome) {
    case FrameRecord::Outcome::Written: return "written";
    case FrameRecord::Outcome::NoPlanet: return "no planet";
    case FrameRecord::Outcome::Incomplete: return "incomplete";
    case FrameRecord::Outcome::NotWritten: return "not written";
    case FrameRecord::Outcome::NotKept: return "not kept";
    case FrameRecord::Outcome::Cut: return "cut";
    case FrameRecord::Outcome::Small: return "small";
    case FrameRecord::Outcome::Saturated: return "saturated";
    case FrameRecord::Outcome::Dim: return "dim";
    case FrameRecord::Outcome::NoLimb: return "no limb";
    case FrameRecord::Outcome::Analysed: break;
    }
    return "analysed";
}
