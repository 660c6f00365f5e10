// SPDX-License-Identifier: GPL-3.0-or-later
// orbicrop-cli: the window's test and process actions for terminals and scripts.

#include "analysis/processing_state.h"
#include "cli/batch_summary.h"
#include "cli/cli_options.h"
#include "cli/json_report.h"
#include "cli/night_main.h"
#include "run/png_writer.h"
#include "cli/terminal_host.h"
#include "fileio/frame_sequence.h"
#include "output/output_for_format.h"
#include "run/actions.h"
#include "run/calibrating_sink.h"
#include "run/calibration_setup.h"
#include "run/capture_info.h"
#include "run/make_master.h"
#include "run/process_setup.h"
#include "run/source_keeper.h"

#include <cstdio>
#include <exception>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kInterruptedText =
    "orbicrop-cli: interrupted; the current output keeps the frames written so far "
    "(with none, an older output of its name is left as it was)\n";

// A missing output or plot directory is made before the test, so that a
// batch never runs only to find it cannot write; false (told on standard
// error) when it cannot be.
bool PrepareDirectory(const std::string& dir, const char* what)
{
    if (dir.empty())
        return true;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!ec && !fs::is_directory(dir, ec))
        ec = std::make_error_code(std::errc::not_a_directory);
    if (!ec)
        return true;
    std::fprintf(stderr, "orbicrop-cli: cannot create the %s %s: %s\n", what, dir.c_str(), ec.message().c_str());
    return false;
}

ReportSettings SettingsOf(const CliOptions& options, const TProcessingState& state, const TerminalHost& host)
{
    ReportSettings s;
    s.threshold = options.choices.thresholdPosition;
    s.width = state.cropWidth;
    s.height = state.cropHeight;
    s.grayscale = host.choices().grayscale;
    s.invert = options.invert;
    s.debayerSafe = options.debayerSafe;
    s.removeIncomplete = options.removeIncomplete;
    s.colour = options.choices.colour;
    s.fullFrame = options.choices.fullFrame;
    s.limb = options.choices.centring.limb;
    s.sizeAuto = options.choices.sizeAuto;
    s.reject = options.choices.centring.reject;
    s.frames = options.choices.frames;
    s.join = options.choices.joinFiles;
    s.timeRange = options.choices.timeRange;
    s.segment = options.choices.segmentSeconds;
    s.fps = options.choices.outputRate;
    if (state.masters) {
        const LoadedMasters& loaded = *state.masters;
        const auto add = [&](const char* kind, const std::optional<orbicrop::calibration::Master>& master,
                             const std::string& path) {
            if (master)
                s.masters.push_back({kind, path, master->width, master->height, master->combined});
        };
        add("dark", loaded.masters.dark, loaded.options.dark);
        add("flat", loaded.masters.flat, loaded.options.flat);
        add("bias", loaded.masters.bias, loaded.options.bias);
        const HotPixels hot = loaded.options.hotPixels;
        s.hotPixels = hot == HotPixels::Dark ? "dark" : hot == HotPixels::Auto ? "auto" : "";
        if (hot == HotPixels::Dark)
            s.hotPixelsInDark = loaded.darkDefects.hot.size() + loaded.darkDefects.cold.size();
    }
    return s;
}

int Run(const CliOptions& options)
{
    TProcessingState state;
    state.blockSize = kBlockSize;
    UpdateCropSize(state, options.width / kCropSizeStep, options.height / kCropSizeStep);
    // One output for a batch of one file at a time, one for each file run at once.
    const OutputMaker makeOutput = [&options] {
        return MakeOutputFor(options.format, options.winJuposName, std::string("orbicrop-cli ") + ORBICROP_VERSION);
    };
    TerminalHost host(options, state);
    BatchResult result;
    const auto report = [&](bool testPassed) {
        if (!options.reportPath.empty())
            WriteJsonReport(options.reportPath, SettingsOf(options, state, host), testPassed, result);
    };

    // Files that cannot be joined, or that a time range cannot go by, are
    // a wrong request rather than a failed test: nothing is tried.
    if (const auto why = BatchRefusal(host, OpenFrameSource, &state.masters)) {
        std::fprintf(stderr, "orbicrop-cli: %s\n", why->c_str());
        return kExitUsage;
    }
    // As right after opening files in the window: the first test may choose the mode.
    state.autoColorPending = true;
    // The test's file is processed right after it, from the source the test
    // opened; files processed at once decode on fewer threads each, so their
    // decoders cannot go on from the test's.
    SourceKeeper sources(OpenFrameSource, !options.testOnly && options.jobs == 1);
    const bool passed = RunTestAction(state, host, std::ref(sources));
    if (InterruptRequested()) {
        report(false);
        std::fputs(kInterruptedText, stderr);
        return kExitInterrupted;
    }
    if (!options.previewPath.empty()) {
        // A script that asked for the picture must not find a success without it.
        if (!passed || !host.preview()) {
            std::fprintf(stderr, "orbicrop-cli: the test made no preview, so %s was not written\n",
                         options.previewPath.c_str());
            report(false);
            return kExitTestFailed;
        }
        WritePng(*host.preview(), options.previewPath);
    }
    if (!passed || options.testOnly) {
        report(passed);
        return passed ? kExitOk : kExitTestFailed;
    }

    if (!options.outputDir.empty()) {
        state.outputDir = options.outputDir;
        if (state.outputDir.back() != '/')
            state.outputDir += '/';
    }
    try {
        result = RunProcessAction(state, host, makeOutput, options.jobs, std::ref(sources));
    } catch (const std::exception& e) {
        // An output that cannot be opened ends the batch; the message names
        // the input whose output it was, and the summary and the report
        // still tell every file.
        std::fprintf(stderr, "orbicrop-cli: %s: %s\n", state.currentFile.c_str(), e.what());
        result = host.told();
        std::fputs(BatchSummary(result).c_str(), stderr);
        report(true);
        return kExitFileFailed;
    }
    std::fputs(BatchSummary(result).c_str(), stderr);
    report(true);
    if (result.stopped && InterruptRequested()) {
        std::fputs(kInterruptedText, stderr);
        return kExitInterrupted;
    }
    return result.failed > 0 ? kExitFileFailed : kExitOk;
}

// A fact's value as JSON: a number as it is, anything else as a string.
std::string JsonValue(const std::string& value)
{
    char* end = nullptr;
    std::strtod(value.c_str(), &end);
    const bool number =
        !value.empty() && end == value.c_str() + value.size() && value.find_first_of("xXnN") == std::string::npos;
    return number ? value : JsonString(value);
}

// --info: each file's facts, one a line, and with --report as JSON.
int PrintInfo(const CliOptions& options)
{
    std::string json = "{\n  \"files\": [";
    bool failed = false;
    for (std::size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        std::string why;
        const auto facts = CaptureInfo(path, options.choices.nameTime, options.choices.startTime, why);
        json += std::string(i == 0 ? "" : ",") + "\n    {\"input\": " + JsonString(path);
        if (!facts) {
            std::fprintf(stderr, "orbicrop-cli: %s: %s\n", path.c_str(), why.c_str());
            json += ", \"error\": " + JsonString(why) + "}";
            failed = true;
            continue;
        }
        std::printf("%s\n", path.c_str());
        for (const auto& [key, value] : *facts) {
            std::printf("  %s: %s\n", key.c_str(), value.c_str());
            json += ", " + JsonString(key) + ": " + JsonValue(value);
        }
        json += "}";
    }
    if (!options.reportPath.empty()) {
        std::ofstream out(options.reportPath, std::ios::trunc);
        out << json << "\n  ]\n}\n";
        if (!out.flush()) {
            std::fprintf(stderr, "orbicrop-cli: cannot write %s\n", options.reportPath.c_str());
            return kExitFileFailed;
        }
    }
    return failed ? kExitFileFailed : kExitOk;
}

// --make-master: the files' frames combined into one master, written only
// once it is whole.
int MakeMasterFile(const CliOptions& options)
{
    using orbicrop::calibration::MasterKind;
    const std::string& kind = options.makeMaster[0];
    const std::string& path = options.makeMaster[1];
    MasterRequest request;
    request.kind = kind == "flat" ? MasterKind::Flat : kind == "bias" ? MasterKind::Bias : MasterKind::Dark;
    request.method = options.combine;
    request.inputs = options.files;
    request.colour = options.choices.colour;
    if (request.kind == MasterKind::Flat) {
        request.bias = options.choices.calibration.bias;
        request.darkFlat = options.choices.calibration.dark;
    }
    if (const auto why = MasterOutputRefusal(path, request)) {
        std::fprintf(stderr, "orbicrop-cli: %s\n", why->c_str());
        return kExitUsage;
    }
    TProcessingState state;
    TerminalHost host(options, state);
    host.appendLog("Making the master " + kind + " " + path + " from " + std::to_string(options.files.size())
                       + (options.files.size() == 1 ? " file" : " files"),
                   true);
    try {
        const orbicrop::calibration::Master master = MakeMaster(request, host);
        WriteMaster(path, master, std::string("orbicrop-cli ") + ORBICROP_VERSION);
        host.appendLog("Wrote " + path + ": " + std::to_string(master.combined) + " frames combined", true);
    } catch (const CalibrationError& e) {
        std::fprintf(stderr, "orbicrop-cli: %s\n", e.what());
        return kExitFileFailed;
    }
    return kExitOk;
}

// A shell expands an unquoted glob into one file a frame, and each still
// image would then be a capture of one frame: worth a word before the run.
void NoteStillsGivenOneByOne(const std::vector<std::string>& inputs)
{
    const auto stills = std::count_if(inputs.begin(), inputs.end(), [](const std::string& input) {
        std::error_code ec;
        return IsStillImageName(input) && fs::is_regular_file(input, ec);
    });
    if (stills >= 2)
        std::fprintf(stderr,
                     "orbicrop-cli: %ld still images are taken as a capture each; to read numbered frames as one "
                     "capture, give their folder or quote the glob ('DIR/NAME_*.fits')\n",
                     long(stills));
}

}   // namespace

int main(int argc, char** argv)
{
    PrepareProcess();
    const ParseOutcome parsed = ParseCommandLine(argc, argv);
    if (!parsed.options)
        return parsed.exitStatus;
    if (!PrepareDirectory(parsed.options->outputDir, "output directory")
        || !PrepareDirectory(parsed.options->plotsDir, "plot directory"))
        return kExitUsage;
    InstallInterruptHandler();
    NoteStillsGivenOneByOne(parsed.options->files);
    try {
        if (parsed.options->info)
            return PrintInfo(*parsed.options);
        if (!parsed.options->makeMaster.empty())
            return MakeMasterFile(*parsed.options);
        if (parsed.options->night())
            return RunNight(*parsed.options);
        return Run(*parsed.options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orbicrop-cli: %s\n", e.what());
        return kExitFileFailed;
    }
}
