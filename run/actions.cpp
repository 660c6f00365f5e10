#include "run/actions.h"

#include "run/file_run.h"
#include "run/paths.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool OutputReplacesInput(const std::string& outputPath, const std::vector<std::string>& inputs)
{
    const fs::path out = fs::absolute(outputPath).lexically_normal();
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (fs::equivalent(outputPath, input, ec) && !ec)
            return true;   // the same file, through any path or link
        if (fs::absolute(input).lexically_normal() == out)
            return true;
    }
    return false;
}

bool RunTestAction(TProcessingState& state, BatchHost& host, const SourceOpener& open)
{
    const auto files = host.files();
    if (files.empty())
        return false;

    state.cogValid = true;
    state.cropValid = true;
    state.colorDetected = false;
    state.currentFile = files.front();
    state.outputDir = DirectoryOf(state.currentFile);
    host.clearLog();
    state.thresholdPercent = double(host.thresholdPosition());
    state.frameLimit = 2;

    const std::int32_t result = ProcessFile(state, host, state.currentFile, open);
    if (result == 0) {
        // The output size the size controls give now, and, the first time
        // after opening, the colour or greyscale choice the frames suggest.
        UpdateCropSize(state, host.widthPosition(), host.heightPosition());
        host.showCropSize(state.cropWidth, state.cropHeight);
        if (state.autoColorPending && host.autoColor()) {
            state.autoColorPending = false;
            host.selectOutputMode(state.colorDetected);
        }
    }
    // A file that played without a single frame has shown no planet: passing
    // it would let a batch write empty outputs and call them complete.
    if (result == 0 && state.framesSeen == 0)
        host.showMessage(kNoFrameMessage);
    const bool passed = result == 0 && state.framesSeen > 0 && state.cogValid && state.cropValid;
    if (passed)
        host.showTestPassed(state.cropWidth, state.cropHeight);
    host.setProcessEnabled(passed);
    return passed;
}

namespace {

// Closes the output however the run ends, so that it is never left
// half-written behind an exception; the frame handler stops writing to it.
class CloseOnExit {
public:
    CloseOnExit(TProcessingState& state, BatchOutput& output) : m_state(state), m_output(output)
    {
        m_state.aviWriter = &m_output;
    }
    ~CloseOnExit()
    {
        m_state.aviWriter = nullptr;
        if (m_armed && m_output.isOpen()) {
            try { m_output.close(); } catch (...) {}
        }
    }
    void close()
    {
        m_state.aviWriter = nullptr;
        m_armed = false;
        m_output.close();
    }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    TProcessingState& m_state;
    BatchOutput& m_output;
    bool m_armed = true;
};

} // namespace

BatchResult RunProcessAction(TProcessingState& state, BatchHost& host, BatchOutput& output,
                             const SourceOpener& open)
{
    BatchResult summary;
    host.clearLog();
    if (!(state.cogValid && state.cropValid))
        return summary;
    summary.started = true;
    host.setControlsEnabled(false);

    const std::size_t count = host.files().size();
    for (std::size_t i = 0; i < count; ++i) {
        // The list may change while a file runs (the open control stays
        // usable), so each step reads it afresh.
        const auto files = host.files();
        if (i >= files.size())
            break;
        state.currentFile = files[i];
        host.setStatus(BatchHost::kFilePosition, "File " + std::to_string(i + 1) + "/" + std::to_string(files.size()));
        host.setStatus(BatchHost::kFileName, FileNameOf(state.currentFile));
        host.setStatus(BatchHost::kActivity, "Processing...");
        host.resetProgress();
        state.framesWritten = 0;
        state.outputFailed = false;

        // Mode and size are fixed for the whole file when its output opens.
        state.outputGrayscale = host.grayscale();
        const std::string outputPath = OutputPathFor(state.currentFile, state.outputDir, state.outputGrayscale);
        if (OutputReplacesInput(outputPath, files)) {
            // Deleting the old output would destroy a file the user chose as input.
            host.showMessage("Skipped " + FileNameOf(state.currentFile) + ": its output " + FileNameOf(outputPath)
                             + " is one of the chosen input files");
            ++summary.failed;
            continue;
        }
        std::error_code ignored;
        fs::remove(outputPath, ignored);

        output.open(outputPath, state.cropWidth, state.cropHeight, state.outputGrayscale);
        CloseOnExit closer(state, output);

        state.frameLimit = 0;
        const std::int32_t result = ProcessFile(state, host, state.currentFile, open);
        host.fillProgress();
        closer.close();
        if (result == 0 && state.framesSeen == 0)
            host.showMessage(kNoFrameMessage);
        // Frames played but none kept: an empty output is no success.
        const bool nothingWritten = result == 0 && state.framesSeen > 0 && state.framesWritten == 0;
        if (nothingWritten && !state.outputFailed)
            host.showMessage("No frame of " + FileNameOf(state.currentFile) + " was written: " + kNothingWrittenReason);
        if (result == 0 && !state.outputFailed && !nothingWritten && state.framesSeen > 0)
            ++summary.completed;
        else
            ++summary.failed;
    }

    host.setStatus(BatchHost::kActivity, "Completed!");
    host.setControlsEnabled(true);
    return summary;
}
