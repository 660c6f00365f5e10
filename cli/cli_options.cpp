// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include "analysis/processing_state.h"
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
    "PX: 32..640, multiple of 16");

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
    "N: -100..100");

const CLI::Validator kKeepBest(
    [](std::string& text) -> std::string {
        return ParseKeepBest(text) ? std::string() : "'" + text + "' is neither a share like 25% nor a frame count";
    },
    "N% or N");

} // namespace

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
                 "uncompressed AVIs (name_orbic.avi, or name_Y8orbic.avi in greyscale).",
                 "orbicrop-cli"};
    app.set_version_flag("--version", std::string("orbicrop-cli ") + ORBICROP_VERSION);
    app.add_option("FILE", o.files, "Input videos; the first one is tested")->required();
    auto* settings = app.add_option("--settings", o.settingsPath,
                                    "Take the defaults from the window's settings file (Orbicrop.ini); "
                                    "options given here win")
                         ->type_name("FILE")
                         ->check(CLI::ExistingFile);
    auto* threshold = app.add_option("-t,--threshold", o.threshold, "Detection threshold relative to the histogram peak")
        ->check(kThreshold)->capture_default_str();
    auto* width = app.add_option("-W,--width", o.width, "Output width")->check(kCropSize)->capture_default_str();
    auto* height = app.add_option("-H,--height", o.height, "Output height")->check(kCropSize)->capture_default_str();
    bool colorFlag = false;
    bool grayFlag = false;
    auto* color = app.add_flag("--color", colorFlag, "RGB24 output");
    auto* gray = app.add_flag("--gray", grayFlag, "Y800 greyscale output");
    color->excludes(gray);
    app.add_flag("--invert", o.invert, "Centre on dark pixels (sunspots)");
    auto* debayer = app.add_flag("--debayer-safe", o.debayerSafe, "Even crop centre, for raw colour videos");
    auto* incomplete = app.add_flag("--remove-incomplete", o.removeIncomplete,
                                    "Drop frames whose crop window reaches the frame border");
    auto* effect = app.add_flag("--show-effect", o.showEffect, "Mark background blocks in the preview image");
    app.add_option("--preview", o.previewPath, "Write the test's preview as PNG")->type_name("FILE.png");
    auto* outputDir = app.add_option("-o,--output-dir", o.outputDir,
                                     "Where outputs go (default: the directory of the first FILE)")
                          ->type_name("DIR");
    app.add_flag("--beside-input", o.besideInput, "Write each output into its own input's directory")
        ->excludes(outputDir);
    app.add_flag("--test-only", o.testOnly, "Run the two-frame test only");
    app.add_option("--track", o.trackPath, "Write one CSV line per processed frame")->type_name("FILE.csv");
    app.add_flag("-q,--quiet", o.quiet, "No progress bar");
    auto* largest = app.add_flag("--largest-object", o.centring.largestObject,
                                 "Centre on the largest bright object only (moons and stars beside it are ignored)");
    auto* surface = app.add_flag("--surface", o.centring.surface,
                                 "Align frames by their content (Moon, Sun, close-ups that fill the frame)");
    auto* refresh = app.add_option("--surface-refresh", o.centring.surfaceRefresh,
                                   "Frames between two reference frames in surface mode")
                        ->check(CLI::Range(1, 10000))->capture_default_str();
    std::string keepBest;
    auto* keep = app.add_option("--keep-best", keepBest,
                                "Write only the best frames of each file, in their order: a share (25%) or a count (500)")
                     ->type_name("N%|N")->check(kKeepBest);
    app.add_option("--best-frame", o.bestFramePath,
                   "Write the sharpest crop of the file as PNG (with several files, FILE-<input name>.png)")
        ->type_name("FILE.png");

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
        std::cerr << "orbicrop-cli: " << e.what() << '\n'
                  << "Run with --help for the options.\n";
        outcome.exitStatus = kExitUsage;
        return outcome;
    }
    if (settings->count() > 0) {
        // The window's saved settings stand in for every option not given,
        // read by the same code the window uses, clamped as its controls are.
        const OrbicropSettings saved = LoadOrbicropSettings(o.settingsPath);
        if (threshold->count() == 0) o.threshold = saved.threshold;
        if (width->count() == 0) o.width = saved.width * kCropSizeStep;
        if (height->count() == 0) o.height = saved.height * kCropSizeStep;
        if (debayer->count() == 0) o.debayerSafe = saved.debayerSafe;
        if (incomplete->count() == 0) o.removeIncomplete = saved.ignoreIncomplete;
        if (effect->count() == 0) o.showEffect = saved.showEffect;
        o.autoColor = saved.autoColor;
        const CentringOptions c = CentringFrom(saved);
        if (largest->count() == 0) o.centring.largestObject = c.largestObject;
        if (surface->count() == 0) o.centring.surface = c.surface;
        if (refresh->count() == 0) o.centring.surfaceRefresh = c.surfaceRefresh;
        if (keep->count() == 0) o.centring.keepBest = c.keepBest;
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
