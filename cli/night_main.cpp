// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/night_main.h"

#include "cli/batch_summary.h"
#include "cli/json_report.h"
#include "cli/terminal_host.h"
#include "night/night_report.h"
#include "output/output_for_format.h"
#include "output/paths.h"
#include "run/capture_folder.h"
#include "run/night_batch.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Where the night's outputs, resume file and report go: the output folder
// given; else a night's folder when only folders were given; else beside the
// first file, as for any batch.
std::string NightFolder(const CliOptions& options, const std::vector<std::string>& files)
{
    if (!options.outputDir.empty())
        return options.outputDir;
    const bool folders = std::all_of(options.files.begin(), options.files.end(), IsNightFolder);
    return folders ? options.files.front() : DirectoryOf(files.front());
}

std::string ReportPath(const CliOptions& options, const std::string& folder)
{
    if (!options.nightReportPath.empty())
        return options.nightReportPath;
    return AnyFolder(options.files) ? (fs::path(folder) / "night.html").string() : std::string();
}

// The night is named after the folder of its captures, when one was given.
std::string NightTitle(const CliOptions& options, const std::string& folder)
{
    std::error_code ec;
    for (const std::string& input : options.files)
        if (IsNightFolder(input))
            return fs::weakly_canonical(input, ec).filename().string();
    return fs::weakly_canonical(folder, ec).filename().string();
}

const char* OutputKind(const CliOptions& options)
{
    switch (options.format) {
    case OutputFormat::Avi: return "avi";
    case OutputFormat::Ser: return options.winJuposName ? "ser-winjupos" : "ser";
    case OutputFormat::Tiff: return "tiff";
    case OutputFormat::Fits: return "fits";
    case OutputFormat::Png: return "png";
    }
    return "avi";
}

}   // namespace

int RunNight(const CliOptions& given)
{
    CliOptions options = given;
    const NightJoin join = given.joinAuto ? NightJoin::Auto
        : given.choices.joinFiles         ? NightJoin::All
                                          : NightJoin::None;
    const NightPlan plan = PlanNight(given.files, given.recurse, join);
    for (const std::string& note : plan.notes)
        std::fprintf(stderr, "orbicrop-cli: %s\n", note.c_str());
    options.files.clear();
    for (const auto& capture : plan.captures)
        options.files.insert(options.files.end(), capture.begin(), capture.end());
    if (options.files.empty()) {
        std::fputs("orbicrop-cli: there is no capture to process\n", stderr);
        return kExitUsage;
    }
    const std::string folder = NightFolder(given, options.files);
    std::error_code ec;
    fs::create_directories(folder, ec);

    TProcessingState state;
    state.blockSize = kBlockSize;
    UpdateCropSize(state, options.width / kCropSizeStep, options.height / kCropSizeStep);
    TerminalHost host(options, state);
    for (const std::string& line : plan.log)
        host.appendLog(line, true);
    const auto& captures = plan.captures;
    const OutputMaker makeOutput = [&options] {
        return MakeOutputFor(options.format, options.winJuposName, std::string("orbicrop-cli ") + ORBICROP_VERSION);
    };
    const std::string reportPath = ReportPath(given, folder);
    NightChoices choices;
    choices.force = options.force;
    choices.report = !reportPath.empty();
    choices.outputKind = OutputKind(options);
    const NightRun night = RunNightAction(state, host, captures, folder, makeOutput, options.jobs, choices);

    std::fputs(BatchSummary(night.batch).c_str(), stderr);
    const auto skipped = std::count_if(night.captures.begin(), night.captures.end(),
                                       [](const NightCaptureRun& run) { return run.skipped; });
    if (skipped > 0)
        std::fprintf(stderr,
                     "orbicrop-cli: %ld %s skipped (done in an earlier run or by another machine; --force "
                     "redoes them)\n",
                     long(skipped), skipped == 1 ? "capture" : "captures");
    if (!options.reportPath.empty())
        WriteJsonReport(options.reportPath, ReportSettings{}, night.batch.started, night.batch);
    if (!reportPath.empty()) {
        WriteNightReport(NightFactsOf(night, NightTitle(given, folder)), reportPath);
        host.appendLog("Night report: " + reportPath, true);
    }
    if (!night.testPassed)
        return kExitTestFailed;
    if (night.batch.stopped && InterruptRequested())
        return kExitInterrupted;
    return night.batch.failed > 0 ? kExitFileFailed : kExitOk;
}
