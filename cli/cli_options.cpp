// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include "analysis/processing_state.h"
#include "run/capture_time.h"
#include "settings/orbicrop_settings.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace {

// Output sizes are multiples of 16 from 32 to 640, as the window's sliders give them.
const CLI::Validator kCropSize(
    [](std::string& text) -> std::string {
        try {
            std::size_t used = 0;
            const long value = std::stol(text, &used);
            if (used == text.size() && value >= 32 && value <= 640 && value % 16 == 0)
                return {};
        } catch (const std::exception&) {
        }
        return "'" + text + "' is not a multiple of 16 from 32 to 640";
    },
    "");

const CLI::Validator kThreshold(
    [](std::string& text) -> std::string {
        try {
            std::size_t used = 0;
            const long value = std::stol(text, &used);
            if (used == text.size() && value >= -100 && value <= 100)
                return {};
        } catch (const std::exception&) {
        }
        return "'" + text + "' is not a whole number from -100 to 100";
    },
    "");

constexpr const char* kFooter =
    "The threshold is a percentage of the way from the sky's brightness (the\n"
    "histogram peak of each frame) to white: 0 detects everything brighter than\n"
    "the sky, 100 nothing; negative values reach down towards black. Raise it\n"
    "when the test says \"COG Threshold Too Low!\", lower it for \"Too High!\".\n"
    "\n"
    "Exit status:\n"
    "  0    every file was processed (or, with --test-only, the test passed)\n"
    "  1    the test on the first file failed: nothing was processed\n"
    "  2    bad usage, or the output directory cannot be created\n"
    "  3    one or more files failed or wrote nothing\n"
    "  130  interrupted (Ctrl+C): the current output keeps its frames, the rest were skipped";

// Options that tell scripts what a run did.
void AddRecordOptions(CLI::App& app, CliOptions& o)
{
    app.add_option("--report", o.reportPath,
                   "Write a JSON record of the run: per file its output, frame counts by outcome, "
                   "settings, SER sample layout and frame times")
        ->option_text("FILE.json");
}

const CLI::Validator kKeepBest(
    [](std::string& text) -> std::string {
        return ParseKeepBest(text) ? std::string() : "'" + text + "' is neither a share like 25% nor a frame count";
    },
    "N% or N");

}   // namespace

std::optional<KeepBest> ParseKeepBest(const std::string& text)
{
    const bool percent = !text.empty() && text.back() == '%';
    const std::string digits = percent ? text.substr(0, text.size() - 1) : text;
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long value = std::stol(digits);
    if (value < 1 || (percent && value > 100))
        return std::nullopt;
    KeepBest keep;
    keep.kind = percent ? KeepBest::Kind::Percent : KeepBest::Kind::Count;
    keep.value = std::int32_t(value);
    return keep;
}

ParseOutcome ParseCommandLine(int argc, char** argv)
{
    CliOptions o;
    CLI::App app{"Centre the planet in every frame of planetary videos and write cropped, "
                 "uncompressed AVIs (name_orbic.avi, or name_Y8orbic.avi in greyscale), or SER files (name_orbic.ser).",
                 "orbicrop-cli"};
    app.set_version_flag("--version", std::string("orbicrop-cli ") + ORBICROP_VERSION);
    app.footer(kFooter);
    app.get_formatter()->column_width(30);
    app.add_option("FILE", o.files, "Input videos (AVI, SER, MP4, MOV, MKV ...); the first one that opens is tested")
        ->required()
        ->option_text(" ");
    auto* settings = app.add_option("--settings", o.settingsPath,
                                    "Take the defaults from the window's settings file (Orbicrop.ini); "
                                    "options given here win")
                         ->check(CLI::ExistingFile)
                         ->option_text("FILE");
    auto* threshold = app.add_option("-t,--threshold", o.threshold,
                                     "Detection threshold in percent, -100 to 100 (see below; default 5)")
                          ->check(kThreshold)
                          ->option_text("PERCENT");
    auto* width =
        app.add_option("-W,--width", o.width, "Output width in pixels, 32 to 640 in steps of 16 (default 192)")
            ->check(kCropSize)
            ->option_text("PX");
    auto* height = app.add_option("-H,--height", o.height, "Output height in pixels, as the width (default 192)")
                       ->check(kCropSize)
                       ->option_text("PX");
    bool colorFlag = false;
    bool grayFlag = false;
    // " " stands in for the generated "Excludes: ..." text; the description says it.
    auto* color = app.add_flag("--color", colorFlag, "RGB24 output; without --color or --gray the test frames choose")
                      ->option_text(" ");
    auto* gray = app.add_flag("--gray", grayFlag, "Y800 greyscale output")->option_text(" ");
    color->excludes(gray);
    app.add_flag("--invert", o.invert, "Centre on dark pixels (sunspots)");
    auto* debayer = app.add_flag("--debayer-safe", o.debayerSafe, "Even crop centre, for raw colour videos");
    auto* incomplete = app.add_flag("--remove-incomplete", o.removeIncomplete,
                                    "Drop frames whose crop window reaches the frame border");
    auto* effect = app.add_flag("--show-effect", o.showEffect, "Mark background blocks in the preview image");
    app.add_option("--preview", o.previewPath, "Write the test's preview as PNG")->option_text("FILE.png");
    auto* outputDir =
        app.add_option("-o,--output-dir", o.outputDir,
                       "Where outputs go, created when missing (default: the directory of the tested FILE)")
            ->option_text("DIR");
    app.add_flag("--beside-input", o.besideInput, "Write each output into its own input's directory (not with -o)")
        ->excludes(outputDir)
        ->option_text(" ");
    app.add_flag("--test-only", o.testOnly, "Run the two-frame test only");
    app.add_option("--track", o.trackPath, "Write one CSV line per processed frame")->option_text("FILE.csv");
    app.add_flag("-q,--quiet", o.quiet, "No progress bar");
    auto* largest = app.add_flag("--largest-object", o.centring.largestObject,
                                 "Centre on the largest bright object only (moons and stars beside it are ignored)");
    auto* surface = app.add_flag("--surface", o.centring.surface,
                                 "Align frames by their content (Moon, Sun, close-ups that fill the frame)");
    auto* refresh = app.add_option("--surface-refresh", o.centring.surfaceRefresh,
                                   "Frames between two reference frames in surface mode, 1 to 10000 (default 50)")
                        ->check(CLI::Range(1, 10000))
                        ->option_text("N");
    std::string keepBest;
    auto* keep =
        app.add_option("--keep-best", keepBest,
                       "Write only the best frames of each file, in their order: a share (25%) or a count (500)")
            ->check(kKeepBest)
            ->option_text("N%|N");
    app.add_option("--best-frame", o.bestFramePath,
                   "Write the sharpest crop of the file as PNG (with several files, FILE-<input name>.png)")
        ->option_text("FILE.png");
    std::string format = "avi";
    auto* formatOption =
        app.add_option("--format", format,
                       "Output container: avi (8-bit), or ser (name_orbic.ser: the source's own samples, depth, "
                       "colour mosaic, header and frame times; default avi)")
            ->check(CLI::IsMember({"avi", "ser"}))
            ->option_text("avi|ser");
    std::string startTime;
    app.add_option("--start-time", startTime,
                   "UTC time of every input's first frame, ISO 8601 (2026-12-08T01:30:45Z), for inputs "
                   "without time stamps; otherwise a capture time in the input's name is used")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return ParseIsoUtc(text) ? std::string() : "'" + text + "' is not an ISO 8601 UTC time";
            },
            "ISO 8601 UTC"))
        ->option_text("TIME");
    auto* winJupos = app.add_flag("--winjupos-name", o.winJuposName,
                                  "Prefix each SER output's name with the mid-time of its frames, YYYY-MM-DD-HHMM_T-");
    AddRecordOptions(app, o);

    ParseOutcome outcome;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return outcome;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << '\n';
        return outcome;
    } catch (const CLI::ParseError& e) {
        std::cerr << "orbicrop-cli: " << e.what() << '\n' << "Run with --help for the options.\n";
        outcome.exitStatus = kExitUsage;
        return outcome;
    }
    if (settings->count() > 0) {
        // The window's saved settings stand in for every option not given,
        // read by the same code the window uses, clamped as its controls are.
        const OrbicropSettings saved = LoadOrbicropSettings(o.settingsPath);
        if (threshold->count() == 0)
            o.threshold = saved.threshold;
        if (width->count() == 0)
            o.width = saved.width * kCropSizeStep;
        if (height->count() == 0)
            o.height = saved.height * kCropSizeStep;
        if (debayer->count() == 0)
            o.debayerSafe = saved.debayerSafe;
        if (incomplete->count() == 0)
            o.removeIncomplete = saved.ignoreIncomplete;
        if (effect->count() == 0)
            o.showEffect = saved.showEffect;
        o.autoColor = saved.autoColor;
        const CentringOptions c = CentringFrom(saved);
        if (largest->count() == 0)
            o.centring.largestObject = c.largestObject;
        if (surface->count() == 0)
            o.centring.surface = c.surface;
        if (refresh->count() == 0)
            o.centring.surfaceRefresh = c.surfaceRefresh;
        if (keep->count() == 0)
            o.centring.keepBest = c.keepBest;
        if (formatOption->count() == 0 && saved.serFormat)
            format = "ser";
        if (winJupos->count() == 0)
            o.winJuposName = saved.winJuposName && format == "ser";
    }
    o.serFormat = format == "ser";
    if (!startTime.empty())
        o.startTime = ParseIsoUtc(startTime);
    if (o.winJuposName && !o.serFormat) {
        std::cerr << "orbicrop-cli: --winjupos-name needs --format ser\n"
                  << "Run with --help for the options.\n";
        outcome.exitStatus = kExitUsage;
        return outcome;
    }
    if (keep->count() > 0)
        o.centring.keepBest = *ParseKeepBest(keepBest);
    o.centring.bestFrame = !o.bestFramePath.empty();
    if (colorFlag)
        o.color = true;
    else if (grayFlag)
        o.color = false;
    outcome.options = o;
    return outcome;
}
