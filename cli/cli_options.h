// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/output_format.h"
#include "calibration/master.h"
#include "run/run_choices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Everything the command line can say, after validation.
struct CliOptions {
    std::vector<std::string> files;
    std::int32_t width = 192;
    std::int32_t height = 192;
    std::optional<bool> color;   // unset: chosen from the test frames
    bool invert = false;
    bool debayerSafe = false;
    bool removeIncomplete = false;
    bool showEffect = false;
    bool autoColor = true;   // only a settings file turns it off
    std::string previewPath;
    std::string outputDir;
    std::string trackPath;
    std::string settingsPath;
    bool testOnly = false;
    bool quiet = false;
    // The run's choices (-t, --beside-input, the centring, colour, frame and
    // time options, --join, --segment, --start-time, --fps). Its size and output
    // mode are left as they are: the fields above say them, in the terms
    // of the command line, and the tool's host turns them into the run's.
    RunChoices choices;
    std::int32_t jobs = 1;                     // --jobs: files processed at once; 0 is resolved to the cores
    std::string bestFramePath;                 // --best-frame; centring.bestFrame follows it
    std::string qualityPlotPath;               // --quality-plot; centring.scores follows it
    std::string plotsDir;                      // --plots; centring.scores follows it
    OutputFormat format = OutputFormat::Avi;   // --format
    bool winJuposName = false;

    // What the run leaves for scripts.
    std::string reportPath;   // --report: a JSON record of the run

    // --info: each file's facts are printed instead of processing it.
    bool info = false;
    // --make-master KIND OUT.fits: the files are combined into a master
    // (KIND dark, flat or bias) instead of being processed.
    std::vector<std::string> makeMaster;
    orbicrop::calibration::CombineMethod combine = orbicrop::calibration::CombineMethod::SigmaClippedMean;

    // A night: folders among the inputs (their captures; -r: their folders'
    // too), split captures joined by themselves (--join auto), the output
    // folder's resume file (--force redoes what it says was done), and the
    // night's report (--night-report; OUTDIR/night.html for folders).
    bool recurse = false;
    bool joinAuto = false;
    bool force = false;
    std::string nightReportPath;
    // Whether the run is a night's: a folder among the inputs, or an option
    // only a night has.
    bool night() const;
};

// "25%" (a share, 1..100), "500" (a count, >= 1) or "0.8q" (a floor of the
// normalised score, above 0 and at most 1); nothing for anything else.
std::optional<KeepBest> ParseKeepBest(const std::string& text);

// "10-19" (frames 10 to 19) or "10-" (frame 10 to the end), frame numbers
// from 0 with the last not before the first; nothing for anything else.
std::optional<FrameRange> ParseFrameRange(const std::string& text);

enum ExitStatus : int {
    kExitOk = 0,
    kExitTestFailed = 1,
    kExitUsage = 2,
    kExitFileFailed = 3,
    kExitInterrupted = 130,
};

// Parses argv. Returns the options, or an exit status when the program
// should end at once (help or version shown: 0; bad usage, reported on
// standard error: 2).
struct ParseOutcome {
    std::optional<CliOptions> options;
    int exitStatus = kExitOk;
};
ParseOutcome ParseCommandLine(int argc, char** argv);
