// SPDX-License-Identifier: GPL-3.0-or-later
// orbicrop-cli: the window's test and process actions for terminals and scripts.

#include "analysis/processing_state.h"
#include "avi/avi_writer.h"
#include "cli/cli_options.h"
#include "cli/png_writer.h"
#include "cli/terminal_host.h"
#include "run/actions.h"
#include "run/avi_output.h"
#include "run/process_setup.h"

#include <cstdio>
#include <exception>

namespace {

int Run(const CliOptions& options)
{
    TProcessingState state;
    state.blockSize = kBlockSize;
    UpdateCropSize(state, options.width / kCropSizeStep, options.height / kCropSizeStep);
    TAviWriter writer(0, 0);
    AviOutput output(writer);
    TerminalHost host(options, state);

    // As right after opening files in the window: the first test may choose the mode.
    state.autoColorPending = true;
    const bool passed = RunTestAction(state, host);
    if (!options.previewPath.empty()) {
        // A script that asked for the picture must not find a success without it.
        if (!passed || !host.preview()) {
            std::fprintf(stderr, "orbicrop-cli: the test made no preview, so %s was not written\n",
                         options.previewPath.c_str());
            return kExitTestFailed;
        }
        WritePng(*host.preview(), options.previewPath);
    }
    if (!passed)
        return kExitTestFailed;
    if (options.testOnly)
        return kExitOk;

    if (!options.outputDir.empty()) {
        state.outputDir = options.outputDir;
        if (state.outputDir.back() != '/')
            state.outputDir += '/';
    }
    const BatchResult result = RunProcessAction(state, host, output);
    return result.failed > 0 ? kExitFileFailed : kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    PrepareProcess(argv);
    const ParseOutcome parsed = ParseCommandLine(argc, argv);
    if (!parsed.options)
        return parsed.exitStatus;
    InstallInterruptHandler();
    try {
        return Run(*parsed.options);
    } catch (const Interrupted&) {
        std::fprintf(stderr, "orbicrop-cli: interrupted; the current output keeps the frames written so far "
                             "(with none, an older output of its name is left as it was)\n");
        return kExitInterrupted;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orbicrop-cli: %s\n", e.what());
        return kExitFileFailed;
    }
}
