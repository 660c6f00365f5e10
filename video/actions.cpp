#include "video/actions.h"

#include "avi/avi_writer.h"
#include "video/file_run.h"
#include "video/paths.h"

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

// Closes the writer however the run ends, so that an output is never left
// half-written behind an exception.
class CloseOnExit {
public:
    explicit CloseOnExit(TAviWriter& writer) : m_writer(writer) {}
    ~CloseOnExit()
    {
        if (m_armed && m_writer.isOpen()) {
            try { m_writer.CloseVideo(); } catch (...) {}
        }
    }
    void close() { m_armed = false; m_writer.CloseVideo(); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    TAviWriter& m_writer;
    bool m_armed = true;
};

} // namespace

BatchResult RunProcessAction(TProcessingState& state, BatchHost& host, const SourceOpener& open)
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

        const bool grayscale = host.grayscale();
        const std::string output = OutputPathFor(state.currentFile, state.outputDir, grayscale);
        if (OutputReplacesInput(output, files)) {
            // Deleting the old output would destroy a file the user chose as input.
            host.showMessage("Skipped " + FileNameOf(state.currentFile) + ": its output " + FileNameOf(output)
                             + " is one of the chosen input files");
            ++summary.failed;
            continue;
        }
        std::error_code ignored;
        fs::remove(output, ignored);

        TAviWriter& writer = *state.aviWriter;
        writer.setFileName(output);
        writer.setWidth(state.cropWidth);
        writer.setHeight(state.cropHeight);
        writer.OpenVideo(grayscale);
        CloseOnExit closer(writer);

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
