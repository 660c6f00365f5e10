// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/actions.h"

#include "run/file_run.h"
#include "run/paths.h"
#include "run/staged_output.h"

#include <filesystem>
#include <map>
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
    state.centring = host.centring();
    state.objectFillsFrame = false;

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
    if (passed && state.objectFillsFrame) {
        host.appendLog(kFillsFrameWarning, true);
        host.showMessage(kFillsFrameWarning);
    }
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

// One file's run as the batch sees it: everything passes to the shell, except
// the failure messages, which wait until the file is over so that the user
// gets one message per file that also tells what became of its output.
class FileRunHost final : public RunHost {
public:
    explicit FileRunHost(RunHost& host) : m_host(host) {}

    bool inverse() const override { return m_host.inverse(); }
    bool debayerSafe() const override { return m_host.debayerSafe(); }
    bool showEffect() const override { return m_host.showEffect(); }
    bool removeIncomplete() const override { return m_host.removeIncomplete(); }
    void showPreview(const OutputBitmap& picture) override { m_host.showPreview(picture); }
    void showWarning(const std::string& caption) override { m_host.showWarning(caption); }
    void setProgressMax(std::int32_t frames) override { m_host.setProgressMax(frames); }
    void setProgress(std::int32_t frames) override { m_host.setProgress(frames); }
    void processEvents() override { m_host.processEvents(); }
    void appendLog(const std::string& line, bool repaint) override { m_host.appendLog(line, repaint); }
    void showMessage(const std::string& text) override { m_messages.push_back(text); }
    void frameAnalysed(const FrameRecord& record) override { m_host.frameAnalysed(record); }
    void bestFrame(const OutputBitmap& picture) override { m_host.bestFrame(picture); }

    std::vector<std::string>& messages() { return m_messages; }

private:
    RunHost& m_host;
    std::vector<std::string> m_messages;
};

// A batch failure is shown and logged, so that the log of an unattended
// batch tells what happened to every file.
void Report(BatchHost& host, const std::string& text)
{
    host.appendLog(text, true);
    host.showMessage(text);
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::string Normalised(const std::string& path) { return fs::absolute(path).lexically_normal().string(); }

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

    // Output path (normalised) -> the input of this batch that claimed it.
    std::map<std::string, std::string> claimed;
    const std::size_t count = host.files().size();
    for (std::size_t i = 0; i < count; ++i) {
        // The list may change while a file runs (the open control stays
        // usable), so each step reads it afresh.
        const auto files = host.files();
        if (i >= files.size())
            break;
        state.currentFile = files[i];
        const std::string name = FileNameOf(state.currentFile);
        host.setStatus(BatchHost::kFilePosition, "File " + std::to_string(i + 1) + "/" + std::to_string(files.size()));
        host.setStatus(BatchHost::kFileName, name);
        host.setStatus(BatchHost::kActivity, "Processing...");
        host.resetProgress();
        state.framesWritten = 0;
        state.outputFailed = false;

        // Mode, size and centring are fixed for the whole file when its output opens.
        state.outputGrayscale = host.grayscale();
        state.centring = host.centring();
        const std::string outputDir = host.outputBesideInput() ? DirectoryOf(state.currentFile) : state.outputDir;
        const std::string outputPath = OutputPathFor(state.currentFile, outputDir, state.outputGrayscale);
        if (OutputReplacesInput(outputPath, files)) {
            Report(host, "Skipped " + name + ": its output " + FileNameOf(outputPath)
                             + " is one of the chosen input files");
            ++summary.failed;
            continue;
        }
        const auto [earlier, fresh] = claimed.emplace(Normalised(outputPath), state.currentFile);
        if (!fresh) {
            // Same-named captures of different nights, or jup.avi beside jup.ser.
            Report(host, "Skipped " + state.currentFile + ": its output " + outputPath
                             + " is already the output of " + earlier->second);
            ++summary.failed;
            continue;
        }

        StagedOutput staged(output);
        staged.open(outputPath, state.cropWidth, state.cropHeight, state.outputGrayscale);
        CloseOnExit closer(state, staged);

        state.frameLimit = 0;
        FileRunHost run(host);
        std::int32_t result = kRunFailed;
        try {
            result = ProcessFile(state, run, state.currentFile, open);
        } catch (...) {
            // An interruption ends the batch; what went wrong before it is still told.
            if (!run.messages().empty())
                Report(host, Joined(run.messages()));
            throw;
        }
        host.fillProgress();
        std::vector<std::string>& messages = run.messages();
        bool placementFailed = false;
        try {
            closer.close();
        } catch (const OutputPlacementError& e) {
            messages.push_back(e.what());
            placementFailed = true;
        }
        if (result == 0 && state.framesSeen == 0)
            messages.push_back(kNoFrameMessage);
        // Frames played but none kept: an empty output is no success.
        const bool nothingWritten = result == 0 && state.framesSeen > 0 && state.framesWritten == 0;
        if (nothingWritten && !state.outputFailed)
            messages.push_back("No frame of " + name + " was written: " + kNothingWrittenReason);
        else if (!staged.placed() && !placementFailed)
            messages.push_back("Nothing was written for " + name + ".");
        if (!staged.placed() && !placementFailed) {
            std::error_code ec;
            if (fs::exists(outputPath, ec))
                messages.back() += " The older " + FileNameOf(outputPath) + " is left as it was.";
        }
        if (!messages.empty())
            Report(host, Joined(messages));
        if (result == 0 && !state.outputFailed && staged.placed() && state.framesSeen > 0)
            ++summary.completed;
        else
            ++summary.failed;
    }

    host.setStatus(BatchHost::kActivity, "Completed!");
    host.setControlsEnabled(true);
    return summary;
}
