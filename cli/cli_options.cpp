// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include "analysis/output_rate.h"
#include "analysis/processing_state.h"
#include "capture/local_time.h"
#include "capture/name_time.h"
#include "run/capture_folder.h"
#include "settings/orbicrop_settings.h"
#include "time/capture_time.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <functional>
#include <iostream>
#include <string_view>
#include <thread>

namespace {

// Output sizes are multiples of 16 from 32, as the window's sliders give
// them, up to 4096 for lunar and solar fields.
const CLI::Validator kCropSize(
    [](std::string& text) -> std::string {
        try {
            std::size_t used = 0;
            const long value = std::stol(text, &used);
            if (used == text.size() && value >= kCropPositionMin * kCropSizeStep
                && value <= kLargeCropPositionMax * kCropSizeStep && value % kCropSizeStep == 0)
                return {};
        } catch (const std::exception&) {
        }
        return "'" + text + "' is not a multiple of 16 from 32 to 4096";
    },
    "");

const CLI::Validator kBayer(
    [](std::string& text) -> std::string {
        return ParseBayerPattern(text) || text == "auto" ? std::string()
                                                         : "'" + text + "' is not RGGB, GRBG, GBRG, BGGR or auto";
    },
    "");

const CLI::Validator kDemosaicMethod(
    [](std::string& text) -> std::string {
        return ParseDemosaicMethod(text) ? std::string() : "'" + text + "' is not edge-aware or bilinear";
    },
    "");

const CLI::Validator kLevels(
    [](std::string& text) -> std::string {
        return ParseLevels(text) ? std::string()
                                 : "'" + text
                + "' is not auto or BLACK:WHITE[:GAMMA] (0 <= BLACK < WHITE <= 65535, "
                  "GAMMA 0.1 to 10)";
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

const CLI::Validator kKeepBest(
    [](std::string& text) -> std::string {
        return ParseKeepBest(text) ? std::string()
                                   : "'" + text + "' is neither a share like 25%, a frame count nor a score like 0.8q";
    },
    "N% or N");

const CLI::Validator kFrameRange(
    [](std::string& text) -> std::string {
        return ParseFrameRange(text) ? std::string()
                                     : "'" + text + "' is not a range of frames like 10-19 or 10- (numbers from 0)";
    },
    "A-B");

const CLI::Validator kClock(
    [](std::string& text) { return ParseClockMinutes(text) ? std::string() : "expected a time of day HH:MM"; },
    "HH:MM");

const CLI::Validator kTimeRange(
    [](std::string& text) -> std::string {
        return ParseTimeRange(text) ? std::string()
                                    : "'" + text + "' is not a range of UTC times like 20:10:00-20:12:00";
    },
    "HH:MM:SS-HH:MM:SS");

const CLI::Validator kFps(
    [](std::string& text) -> std::string {
        return ParseOutputRate(text) ? std::string()
                                     : "'" + text
                + "' is neither source nor a rate above 0 and up to 1000 like 25 "
                  "or 59.94 (at most three decimals)";
    },
    "source|N");

// A percentage from 0 to 100, fractions allowed.
const CLI::Validator kPercent(
    [](std::string& text) -> std::string {
        try {
            std::size_t used = 0;
            const double value = std::stod(text, &used);
            if (used == text.size() && value >= 0.0 && value <= 100.0)
                return {};
        } catch (const std::exception&) {
        }
        return "'" + text + "' is not a percentage from 0 to 100";
    },
    "");

}   // namespace

std::optional<FrameRange> ParseFrameRange(const std::string& text)
{
    const auto dash = text.find('-');
    const auto number = [](const std::string& digits) -> std::optional<std::int32_t> {
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::int32_t(std::stol(digits));
    };
    if (dash == std::string::npos)
        return std::nullopt;
    const auto first = number(text.substr(0, dash));
    if (!first)
        return std::nullopt;
    FrameRange range;
    range.first = *first;
    if (dash + 1 == text.size())
        return range;
    const auto last = number(text.substr(dash + 1));
    if (!last || *last < *first)
        return std::nullopt;
    range.last = *last;
    return range;
}

std::optional<KeepBest> ParseKeepBest(const std::string& text)
{
    if (!text.empty() && (text.back() == 'q' || text.back() == 'Q')) {
        const std::string number = text.substr(0, text.size() - 1);
        if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos)
            return std::nullopt;
        std::size_t used = 0;
        double floor = 0.0;
        try {
            floor = std::stod(number, &used);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (used != number.size() || !(floor > 0.0 && floor <= 1.0))
            return std::nullopt;
        KeepBest keep;
        keep.kind = KeepBest::Kind::Floor;
        keep.floor = floor;
        return keep;
    }
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

namespace {

// What some options take as text or as a value with no default, turned into
// CliOptions once everything is parsed (FinishOptions).
struct RawOptions {
    bool color = false;
    bool gray = false;
    std::string bayer;
    std::string method = std::string(NameOf(ColourOptions{}.method));
    std::string frames;
    std::string timeRange;
    std::int32_t segment = 0;
    std::string keepBest;
    double maxSaturated = 0.0;
    double rejectDim = 0.0;
    std::string format = "avi";
    std::string fps;
    std::string centre = "gravity";
    std::string size;
    std::string startTime;
    std::string hotPixels;
    std::string utcOffset;
    std::string combine = "sigma-clip";
    bool alignRgb = false;
    bool alignRgbMeasure = false;
    std::string levels;
    std::int32_t rotate = 0;
    std::string flip;
    std::string meridianFlip;
};

// A value the window's settings file gives when its option is not on the
// command line (every option that has one, read by the code the window
// uses, clamped as its controls are). option null: always taken.
struct SettingFallback {
    CLI::Option* option;
    std::function<void(CliOptions&, RawOptions&, const OrbicropSettings&)> take;
};

// The options being declared, in the order --help lists them, with the
// fallbacks they collect.
struct OptionTable {
    CLI::App& app;
    CliOptions& o;
    RawOptions& raw;
    std::vector<SettingFallback> fallbacks;

    using Take = std::function<void(CliOptions&, RawOptions&, const OrbicropSettings&)>;
    CLI::Option* fallback(CLI::Option* option, Take take)
    {
        fallbacks.push_back({option, std::move(take)});
        return option;
    }
};

void AddPictureOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    CliOptions& o = t.o;
    t.fallback(
        app.add_option("-t,--threshold", o.choices.thresholdPosition,
                       "Detection threshold in percent, -100 to 100 (see below; default 5)")
            ->check(kThreshold)
            ->option_text("PERCENT"),
        [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.choices.thresholdPosition = s.threshold; });
    t.fallback(app.add_option("-W,--width", o.width, "Output width in pixels, 32 to 4096 in steps of 16 (default 192)")
                   ->check(kCropSize)
                   ->option_text("PX"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                   o.width = s.largeSize ? s.largeWidth : s.width * kCropSizeStep;
               });
    t.fallback(app.add_option("-H,--height", o.height, "Output height in pixels, as the width (default 192)")
                   ->check(kCropSize)
                   ->option_text("PX"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                   o.height = s.largeSize ? s.largeHeight : s.height * kCropSizeStep;
               });
    // " " stands in for the generated "Excludes: ..." text; the description says it.
    auto* color = app.add_flag("--color", t.raw.color, "RGB24 output; without --color or --gray the test frames choose")
                      ->option_text(" ");
    auto* gray = app.add_flag("--gray", t.raw.gray, "Y800 greyscale output")->option_text(" ");
    color->excludes(gray);
    app.add_flag("--invert", o.invert, "Centre on dark pixels (sunspots)");
    t.fallback(app.add_flag("--debayer-safe", o.debayerSafe, "Even crop centre, for raw colour videos"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.debayerSafe = s.debayerSafe; });
    // Only a settings file turns the automatic choice of the mode off.
    t.fallback(nullptr, [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.autoColor = s.autoColor; });
}

void AddColourOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    t.fallback(app.add_option("--bayer", t.raw.bayer,
                              "The Bayer pattern of raw colour AVIs (and SER files saved as mono), which "
                              "do not name it; a SER file's own pattern wins. auto: read from each such "
                              "file's first frames, mono when they show none")
                   ->check(kBayer)
                   ->option_text("RGGB|GRBG|GBRG|BGGR|auto"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) {
                   if (const auto declared = ColourFrom(s).declaredBayer)
                       raw.bayer = NameOf(*declared);
                   if (ColourFrom(s).detectBayer)
                       raw.bayer = "auto";
               });
    t.fallback(app.add_flag("--debayer", t.o.choices.colour.debayer,
                            "Raw Bayer sources become colour output (RGB24 AVI, RGB SER at the source "
                            "depth); the planet is still measured on the raw samples"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                   o.choices.colour.debayer = ColourFrom(s).debayer;
               });
    t.fallback(
        app.add_option("--debayer-method", t.raw.method,
                       "How --debayer makes colour: edge-aware or bilinear (default " + t.raw.method + ")")
            ->check(kDemosaicMethod)
            ->option_text("METHOD"),
        [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) { raw.method = NameOf(ColourFrom(s).method); });
    t.fallback(app.add_option("--size", t.raw.size,
                              "auto: the output size from the planet, its largest extent in the first frames "
                              "(rings included) and a quarter more, for each file; -W and -H are not used")
                   ->check(CLI::IsMember({"auto"}))
                   ->option_text("auto"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) { raw.size = s.sizeAuto ? "auto" : ""; });
    t.fallback(app.add_flag("--full-frame", t.o.choices.fullFrame,
                            "Output frames of the input's own size (rounded down to even), moved by the "
                            "centring in use, black where the shift uncovers the border; -W and -H are "
                            "not used"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.choices.fullFrame = s.fullFrame; });
    t.fallback(app.add_flag("--align-rgb", t.raw.alignRgb,
                            "Measure the shift of red and blue against green on the planet (the atmosphere's "
                            "dispersion) in each file's first frames and move them back in every colour output "
                            "frame; --align-rgb measure: only measure and report it"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) {
                   raw.alignRgb = ColourFrom(s).alignRgb == AlignRgb::Correct;
               });
    t.fallback(
        app.add_option(
               "--levels", t.raw.levels,
               "Deeper samples into the 8-bit outputs (AVI, the preview and best-frame PNGs): auto (black at the sky, "
               "white at the planet's brightest, from each file's first frames) or BLACK:WHITE[:GAMMA] "
               "in the source's units (0..4095 for 12 bits); SER, FITS and TIFF keep the samples")
            ->check(kLevels)
            ->option_text("auto|B:W[:G]"),
        [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) {
            raw.levels = s.levels ? LevelsText(*s.levels) : "";
        });
    // "--align-rgb measure" arrives here as this, as "--join auto" does;
    // it wins over a correction the settings file asks for.
    app.add_flag("--align-rgb-measure", t.raw.alignRgbMeasure)->group("");
}

void AddOrientationOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    t.fallback(app.add_option("--rotate", t.raw.rotate,
                              "Turn every output frame clockwise by 90, 180 or 270 degrees (after --flip); 90 "
                              "and 270 swap the output's width and height")
                   ->check(CLI::IsMember({0, 90, 180, 270}))
                   ->option_text("90|180|270"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) { raw.rotate = s.rotate; });
    t.fallback(app.add_option("--flip", t.raw.flip,
                              "Mirror every output frame: h left-right, v top-bottom; a raw mosaic's pattern "
                              "follows")
                   ->check(CLI::IsMember({"h", "v"}))
                   ->option_text("h|v"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) {
                   raw.flip = s.flip == Flip::H ? "h" : s.flip == Flip::V ? "v" : "";
               });
    t.fallback(app.add_option("--meridian-flip", t.raw.meridianFlip,
                              "Turn by a further 180 degrees every capture started within the 12 hours after "
                              "this time of day (UT), so that a night's outputs share one orientation")
                   ->check(kClock)
                   ->option_text("HH:MM"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) {
                   raw.meridianFlip = s.meridianFlip ? ClockText(*s.meridianFlip) : "";
               });
}

void AddFrameOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    CliOptions& o = t.o;
    t.fallback(app.add_option("--frames", t.raw.frames,
                              "Only frames A to B of each file (numbered from 0 as in the track; A- to "
                              "the end); the test plays the first two of them")
                   ->check(kFrameRange)
                   ->option_text("A-B"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.choices.frames = FramesFrom(s); });
    t.fallback(app.add_flag("--join", o.choices.joinFiles,
                            "Join all files into one output, in the order given, named after the first; "
                            "one test on the first file; --frames then counts over the joined frames. "
                            "Every file must have the same frame size (and for SER the same colour and depth). "
                            "--join auto: only the parts of split captures (NAME_0001, NAME_0002 ... of the same "
                            "size, depth and colour, each starting where the last ended), each set as one output"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.choices.joinFiles = s.join; });
    // "--join auto" arrives here as this: a flag cannot take a value without
    // taking the next file name for one.
    app.add_flag("--join-auto", o.joinAuto)->group("");
    app.add_flag("-r,--recurse", o.recurse, "With folders among the inputs: the captures in their folders too");
    app.add_flag("--force", o.force,
                 "Redo the captures the output folder's resume file (orbicrop-night.json) says were done "
                 "with the same inputs and options");
    app.add_option("--night-report", o.nightReportPath,
                   "Write the night's report: one page with every capture's best frame, times, frames "
                   "written and dropped, quality and drift (default with folders: OUTDIR/night.html), and "
                   "night.json beside it")
        ->option_text("FILE.html");
    app.add_option("-j,--jobs", o.jobs,
                   "Process N files at once in this process (0: one per processor core; default 1). "
                   "Outputs, log, messages, track and report are those of one file at a time; no effect "
                   "with --join")
        ->check(CLI::Range(0, 1024))
        ->option_text("N");
    t.fallback(app.add_option("--time-range", t.raw.timeRange,
                              "Only the frames captured from the first UTC time of day up to the second "
                              "(23:50:00-00:10:00 reaches over midnight), by the times --format ser "
                              "writes; a file without them is an error")
                   ->check(kTimeRange)
                   ->option_text("HH:MM:SS-HH:MM:SS"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.choices.timeRange = TimeRangeFrom(s); });
    t.fallback(
        app.add_option("--segment", t.raw.segment,
                       "Cut each output into pieces of at most SECONDS of capture time from its first "
                       "frame, NAME_orbic_part1, _part2 ... (with --winjupos-name each named by its "
                       "own mid-time); without frame times, counted at the stream's frame rate")
            ->check(CLI::Range(1, 86400))
            ->option_text("SECONDS"),
        [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.choices.segmentSeconds = SegmentFrom(s); });
    t.fallback(app.add_flag("--remove-incomplete", o.removeIncomplete,
                            "Drop frames whose crop window reaches the frame border"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.removeIncomplete = s.ignoreIncomplete; });
    t.fallback(app.add_flag("--show-effect", o.showEffect, "Mark background blocks in the preview image"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) { o.showEffect = s.showEffect; });
}

void AddOutputOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    CliOptions& o = t.o;
    app.add_option("--preview", o.previewPath, "Write the test's preview as PNG")->option_text("FILE.png");
    auto* outputDir =
        t.fallback(app.add_option("-o,--output-dir", o.outputDir,
                                  "Where outputs go, created when missing (default: the directory of the tested FILE)")
                       ->option_text("DIR"),
                   [](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                       // The folder the window writes to, unless the outputs go beside their inputs.
                       if (!o.choices.outputBesideInput)
                           o.outputDir = s.outputFolder;
                   });
    app.add_flag("--beside-input", o.choices.outputBesideInput,
                 "Write each output into its own input's directory (not with -o)")
        ->excludes(outputDir)
        ->option_text(" ");
    app.add_flag("--test-only", o.testOnly, "Run the two-frame test only");
    app.add_flag("--info", o.info,
                 "Print each file's facts (size, frames, depth, colour, capture time and its source, and what "
                 "its capture program's sidecar says) instead of processing it; with --report also as JSON");
    app.add_option("--track", o.trackPath, "Write one CSV line per processed frame")->option_text("FILE.csv");
    app.add_flag("-q,--quiet", o.quiet, "No progress bar");
}

void AddRejectOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    RejectOptions& r = t.o.choices.centring.reject;
    using Saved = const OrbicropSettings&;
    t.fallback(app.add_flag("--reject-cut", r.cut,
                            "Drop frames whose object reaches the frame's border (not in surface mode)"),
               [](CliOptions& o, RawOptions&, Saved s) { o.choices.centring.reject.cut = CentringFrom(s).reject.cut; });
    t.fallback(app.add_option("--min-size", r.minSize,
                              "Drop frames whose object's larger diameter is below PX (a hot pixel, a moon)")
                   ->check(CLI::Range(1, 100000))
                   ->option_text("PX"),
               [](CliOptions& o, RawOptions&, Saved s) {
                   o.choices.centring.reject.minSize = CentringFrom(s).reject.minSize;
               });
    t.fallback(app.add_option("--max-saturated", t.raw.maxSaturated,
                              "Drop frames with more than P % of the object's pixels at the top value")
                   ->check(kPercent)
                   ->option_text("P"),
               [](CliOptions& o, RawOptions&, Saved s) {
                   o.choices.centring.reject.maxSaturated = CentringFrom(s).reject.maxSaturated;
               });
    t.fallback(app.add_option("--reject-dim", t.raw.rejectDim,
                              "Drop frames whose object is below P % of the file's median brightness above "
                              "the sky (takes a measuring pass)")
                   ->check(kPercent)
                   ->option_text("P"),
               [](CliOptions& o, RawOptions&, Saved s) {
                   o.choices.centring.reject.dimPercent = CentringFrom(s).reject.dimPercent;
               });
}

void AddCentringOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    CentringOptions& c = t.o.choices.centring;
    using Saved = const OrbicropSettings&;
    t.fallback(
        app.add_flag("--largest-object", c.largestObject,
                     "Centre on the largest bright object only (moons and stars beside it are ignored)"),
        [](CliOptions& o, RawOptions&, Saved s) { o.choices.centring.largestObject = CentringFrom(s).largestObject; });
    t.fallback(app.add_option("--centre", t.raw.centre,
                              "Where the output's centre is: gravity (the centre of the object's light) or "
                              "limb (the centre of the full disc, from a circle fitted to its lit limb: for "
                              "crescents and phases; default gravity)")
                   ->check(CLI::IsMember({"gravity", "limb"}))
                   ->option_text("gravity|limb"),
               [](CliOptions&, RawOptions& raw, Saved s) { raw.centre = CentringFrom(s).limb ? "limb" : "gravity"; });
    t.fallback(app.add_flag("--surface", c.surface,
                            "Align frames by their content (Moon, Sun, close-ups that fill the frame)"),
               [](CliOptions& o, RawOptions&, Saved s) { o.choices.centring.surface = CentringFrom(s).surface; });
    t.fallback(app.add_option("--surface-refresh", c.surfaceRefresh,
                              "Frames between two reference frames in surface mode, 1 to 10000 (default 50)")
                   ->check(CLI::Range(1, 10000))
                   ->option_text("N"),
               [](CliOptions& o, RawOptions&, Saved s) {
                   o.choices.centring.surfaceRefresh = CentringFrom(s).surfaceRefresh;
               });
    t.fallback(app.add_option("--keep-best", t.raw.keepBest,
                              "Write only the best frames of each file, in their order: a share (25%), a count "
                              "(500), or those whose score (the file's best: 1) reaches a floor (0.8q)")
                   ->check(kKeepBest)
                   ->option_text("N%|N|Sq"),
               [](CliOptions& o, RawOptions&, Saved s) { o.choices.centring.keepBest = CentringFrom(s).keepBest; });
    app.add_option("--quality-plot", t.o.qualityPlotPath,
                   "Write each file's quality scores, best to worst, with the keep limit, as PNG "
                   "(with several files, FILE-<input name>.png)")
        ->option_text("FILE.png");
    app.add_option("--plots", t.o.plotsDir,
                   "Write each file's drift plot (NAME_drift.png: the planet's x and y by frame, frames not "
                   "written marked) and quality plot (NAME_quality.png) into DIR, created when missing; NAME is "
                   "the input's name without its extension. Scoring the frames plays each file twice: a "
                   "measuring pass, then the writing pass")
        ->option_text("DIR");
    AddRejectOptions(t);
    app.add_option("--best-frame", t.o.bestFramePath,
                   "Write the sharpest crop of the file as PNG (with several files, FILE-<input name>.png)")
        ->option_text("FILE.png");
}

void AddFormatOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    t.fallback(app.add_option("--format", t.raw.format,
                              "Output container: avi (8-bit), ser (name_orbic.ser: the source's own samples, depth, "
                              "colour mosaic, header and frame times), or a folder name_orbic/ of still images, one "
                              "a frame, at the source's depth: tiff, fits (with the capture time and Bayer pattern in "
                              "its header) or png; default avi")
                   ->check(CLI::IsMember({"avi", "ser", "tiff", "fits", "png"}))
                   ->option_text("avi|ser|tiff|fits|png"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) { raw.format = NameOf(s.format); });
    app.add_option("--start-time", t.raw.startTime,
                   "UTC time of every input's first frame, ISO 8601 (2026-12-08T01:30:45Z), for inputs "
                   "that nothing else dates (time stamps, a capture program's sidecar, a time in the name)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return ParseIsoUtc(text) ? std::string() : "'" + text + "' is not an ISO 8601 UTC time";
            },
            "ISO 8601 UTC"))
        ->option_text("TIME");
    t.fallback(app.add_option("--name-time", t.o.choices.nameTime.pattern,
                              "Read the capture time from input names by this pattern of %Y %y %m %d %j %H %M %S %f "
                              "(e.g. %Y%m%d_%H%M%S), where nothing better dates them")
                   ->check(CLI::Validator(
                       [](std::string& text) -> std::string {
                           return orbicrop::capture::IsTimePattern(text) ? std::string()
                                                                         : "'" + text
                                   + "' is no time pattern: it needs a year, a day and an hour (%Y%m%d_%H%M%S)";
                       },
                       "PATTERN"))
                   ->option_text("PATTERN"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                   if (orbicrop::capture::IsTimePattern(s.nameTimePattern))
                       o.choices.nameTime.pattern = s.nameTimePattern;
               });
    t.fallback(app.add_option("--utc-offset", t.raw.utcOffset,
                              "The local time input names are written in, as +HH:MM or -HH:MM from UT; a sidecar's "
                              "own offset wins")
                   ->check(CLI::Validator(
                       [](std::string& text) -> std::string {
                           return orbicrop::capture::ParseUtcOffset(text)
                               ? std::string()
                               : "'" + text + "' is not an offset like +02:00";
                       },
                       "OFFSET"))
                   ->option_text("+HH:MM"),
               [](CliOptions&, RawOptions& raw, const OrbicropSettings& s) {
                   if (orbicrop::capture::ParseUtcOffset(s.utcOffset))
                       raw.utcOffset = s.utcOffset;
               });
    // After --format's fallback, as --winjupos-name: the saved rate holds for
    // AVI outputs only.
    t.fallback(app.add_option("--fps", t.raw.fps,
                              "The rate the AVI output plays at: source (the median interval of a SER "
                              "capture's time stamps, else the rate the video declares) or N frames per "
                              "second, up to 1000 (25, 59.94); default 30")
                   ->check(kFps)
                   ->option_text("source|N"),
               [](CliOptions& o, RawOptions& raw, const OrbicropSettings& s) {
                   if (raw.format == "avi")
                       o.choices.outputRate = s.fps;
               });
    // After --format's fallback: the saved choice holds for SER outputs only.
    t.fallback(app.add_flag("--winjupos-name", t.o.winJuposName,
                            "Prefix each SER output's name with the mid-time of its frames, YYYY-MM-DD-HHMM_T-"),
               [](CliOptions& o, RawOptions& raw, const OrbicropSettings& s) {
                   o.winJuposName = s.winJuposName && raw.format == "ser";
               });
}

// Masters made from captures, and the calibration of every frame with them.
void AddCalibrationOptions(OptionTable& t)
{
    CLI::App& app = t.app;
    CalibrationOptions& c = t.o.choices.calibration;
    const auto master = [&](const char* name, std::string& path, const std::string& what, auto saved) {
        t.fallback(app.add_option(name, path, what)->check(CLI::ExistingFile)->option_text("FILE.fits"),
                   [saved](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                       o.choices.calibration.*saved = s.calibration.*saved;
                   });
    };
    master("--dark", c.dark, "Subtract this master dark from every frame (with --make-master flat: the dark-flat)",
           &CalibrationOptions::dark);
    master("--flat", c.flat, "Divide every frame by this master flat, normalised to a mean of 1 (per Bayer site)",
           &CalibrationOptions::flat);
    master("--bias", c.bias,
           "Subtract this master bias where no dark is given (with --make-master flat: from each flat frame)",
           &CalibrationOptions::bias);
    t.fallback(app.add_option("--hot-pixels", t.raw.hotPixels,
                              "Repair hot and cold pixels, found in the master dark (dark, the default) or in the "
                              "frames themselves (auto), from neighbours of their own colour")
                   ->expected(0, 1)
                   ->check(CLI::IsMember({"dark", "auto"}))
                   ->option_text("[dark|auto]"),
               [](CliOptions& o, RawOptions&, const OrbicropSettings& s) {
                   o.choices.calibration.hotPixels = s.calibration.hotPixels;
               });
    app.add_option("--make-master", t.o.makeMaster,
                   "Combine the files' frames into a master dark, flat or bias (32-bit FITS) instead of processing")
        ->expected(2)
        ->allow_extra_args(false)
        ->option_text("KIND OUT.fits");
    app.add_option("--combine", t.raw.combine, "How --make-master combines: sigma-clip (kappa 3, default) or mean")
        ->check(CLI::IsMember({"sigma-clip", "mean"}))
        ->option_text("METHOD");
}

// Options that tell scripts what a run did.
void AddRecordOptions(OptionTable& t)
{
    t.app
        .add_option("--report", t.o.reportPath,
                    "Write a JSON record of the run: per file its output, frame counts by outcome, "
                    "settings, SER sample layout and frame times")
        ->option_text("FILE.json");
}

// The values parsed as text taken into the options, and what only the
// whole command line can tell; why the options cannot be used, if so.
std::optional<std::string> FinishOptions(CliOptions& o, const RawOptions& raw, const CLI::App& app)
{
    o.format = *ParseOutputFormat(raw.format);
    if (!raw.frames.empty())
        o.choices.frames = *ParseFrameRange(raw.frames);
    if (!raw.timeRange.empty())
        o.choices.timeRange = ParseTimeRange(raw.timeRange);
    if (app.count("--segment") > 0)
        o.choices.segmentSeconds = raw.segment;
    if (!raw.bayer.empty())
        o.choices.colour.declaredBayer = ParseBayerPattern(raw.bayer);
    o.choices.colour.detectBayer = raw.bayer == "auto";
    o.choices.colour.method = *ParseDemosaicMethod(raw.method);
    o.choices.colour.alignRgb = raw.alignRgbMeasure ? AlignRgb::Measure
        : raw.alignRgb                              ? AlignRgb::Correct
                                                    : AlignRgb::Off;
    if (!raw.levels.empty())
        o.choices.colour.levels = ParseLevels(raw.levels);
    o.choices.colour.rotate = raw.rotate;
    o.choices.colour.flip = raw.flip == "h" ? Flip::H : raw.flip == "v" ? Flip::V : Flip::None;
    if (!raw.meridianFlip.empty())
        o.choices.colour.meridianFlip = ParseClockMinutes(raw.meridianFlip);
    if (!raw.startTime.empty())
        o.choices.startTime = ParseIsoUtc(raw.startTime);
    if (o.winJuposName && o.format != OutputFormat::Ser)
        return "--winjupos-name needs --format ser";
    if (!raw.fps.empty()) {
        if (o.format != OutputFormat::Avi)
            return "--fps needs --format avi: the other formats keep no frame rate";
        o.choices.outputRate = *ParseOutputRate(raw.fps);
    }
    if (app.count("--keep-best") > 0)
        o.choices.centring.keepBest = *ParseKeepBest(raw.keepBest);
    o.choices.centring.limb = raw.centre == "limb";
    if (o.choices.centring.limb && (o.choices.centring.surface || o.invert))
        return "--centre limb needs a bright disc on a dark sky: it cannot be used with --surface or --invert";
    o.choices.sizeAuto = raw.size == "auto";
    if (o.choices.sizeAuto && o.choices.fullFrame)
        return "--size auto and --full-frame both choose the output size: give one of them";
    o.choices.centring.bestFrame = !o.bestFramePath.empty();
    o.choices.centring.scores = !o.qualityPlotPath.empty() || !o.plotsDir.empty();
    if (app.count("--max-saturated") > 0)
        o.choices.centring.reject.maxSaturated = raw.maxSaturated;
    if (app.count("--reject-dim") > 0)
        o.choices.centring.reject.dimPercent = raw.rejectDim;
    if (o.jobs == 0)
        o.jobs = std::int32_t(std::max(1u, std::thread::hardware_concurrency()));
    if (!raw.utcOffset.empty())
        o.choices.nameTime.utcOffsetSeconds = orbicrop::capture::ParseUtcOffset(raw.utcOffset);
    if (app.count("--hot-pixels") > 0)
        o.choices.calibration.hotPixels = raw.hotPixels == "auto" ? HotPixels::Auto : HotPixels::Dark;
    o.combine = raw.combine == "mean" ? orbicrop::calibration::CombineMethod::Mean
                                      : orbicrop::calibration::CombineMethod::SigmaClippedMean;
    if (!o.makeMaster.empty()) {
        const std::string& kind = o.makeMaster.front();
        if (kind != "dark" && kind != "flat" && kind != "bias")
            return "--make-master takes dark, flat or bias, not '" + kind + "'";
        if (kind != "flat" && (app.count("--bias") > 0 || app.count("--dark") > 0))
            return "--bias and --dark are subtracted only when making a flat";
        if (app.count("--bias") > 0 && app.count("--dark") > 0)
            return "a flat is made with --bias or --dark, not both";
    }
    if (raw.color)
        o.color = true;
    else if (raw.gray)
        o.color = false;
    if (o.joinAuto && o.choices.joinFiles)
        return "--join joins every file; --join auto only the parts of split captures: give one of them";
    if (o.force && !o.night())
        return "--force redoes captures a night's resume file says were done: give a folder, --join auto or "
               "--night-report";
    return std::nullopt;
}

// Flags that may take one value: a flag cannot take a value without taking
// the next file name for one, so the flag and its value become a hidden flag.
struct ValuedFlag {
    std::string_view flag;
    std::string_view value;
    std::string_view hidden;
};
constexpr std::array<ValuedFlag, 2> kValuedFlags{
    {{"--join", "auto", "--join-auto"}, {"--align-rgb", "measure", "--align-rgb-measure"}}};

}   // namespace

bool CliOptions::night() const
{
    return joinAuto || !nightReportPath.empty() || AnyFolder(files);
}

ParseOutcome ParseCommandLine(int argc, char** argv)
{
    CliOptions o;
    RawOptions raw;
    CLI::App app{"Centre the planet in every frame of planetary videos and write cropped, "
                 "uncompressed AVIs (name_orbic.avi, or name_Y8orbic.avi in greyscale), or SER files (name_orbic.ser).",
                 "orbicrop-cli"};
    app.set_version_flag("--version", std::string("orbicrop-cli ") + ORBICROP_VERSION);
    app.footer(kFooter);
    app.get_formatter()->column_width(30);
    app.add_option("FILE", o.files,
                   "Input videos (AVI, SER, MP4, MOV, MKV ...), captures saved as numbered FITS, TIFF or PNG "
                   "frames (their folder, or a quoted glob: 'DIR/NAME_*.fits'), or folders of captures; the first "
                   "one that opens is tested (with folders: each capture is tested, in the order of capture time)")
        ->required()
        ->option_text(" ");
    auto* settings = app.add_option("--settings", o.settingsPath,
                                    "Take the defaults from the window's settings file (Orbicrop.ini), "
                                    "its output folder among them; options given here win")
                         ->check(CLI::ExistingFile)
                         ->option_text("FILE");
    OptionTable table{app, o, raw, {}};
    for (const auto add : {AddPictureOptions, AddColourOptions, AddFrameOptions, AddOutputOptions, AddCentringOptions,
                           AddFormatOptions, AddCalibrationOptions, AddRecordOptions, AddOrientationOptions})
        add(table);

    ParseOutcome outcome;
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> args;
        for (int i = argc - 1; i >= 1; --i) {
            const std::string arg = argv[i];
            const auto hidden = std::find_if(kValuedFlags.begin(), kValuedFlags.end(), [&](const ValuedFlag& v) {
                return arg == std::string(v.flag) + "=" + std::string(v.value)
                    || (arg == v.value && i > 1 && argv[i - 1] == v.flag);
            });
            if (hidden != kValuedFlags.end()) {
                args.emplace_back(hidden->hidden);
                i -= arg == hidden->value ? 1 : 0;
            } else {
                args.push_back(arg);
            }
        }
        app.parse(args);
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
        const OrbicropSettings saved = LoadOrbicropSettings(o.settingsPath);
        for (const SettingFallback& fallback : table.fallbacks)
            if (fallback.option == nullptr || fallback.option->count() == 0)
                fallback.take(o, raw, saved);
    }
    if (const auto why = FinishOptions(o, raw, app)) {
        std::cerr << "orbicrop-cli: " << *why << '\n' << "Run with --help for the options.\n";
        outcome.exitStatus = kExitUsage;
        return outcome;
    }
    outcome.options = o;
    return outcome;
}
