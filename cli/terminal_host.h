// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "cli/cli_options.h"
#include "cli/progress_bar.h"
#include "cli/track_writer.h"
#include "run/batch_host.h"
#include "run/plots.h"

#include <memory>
#include <optional>

// Makes Ctrl+C (SIGINT) and SIGTERM request an orderly stop instead of
// killing the process in the middle of a write: the host turns the request
// into the state's stopRequested after the frame in hand, so the batch
// closes the current output with the frames written so far and skips the
// rest, as a stop in the window does.
void InstallInterruptHandler();
bool InterruptRequested();

// The command-line tool's side of a run: the log goes to standard output,
// messages and warnings to standard error, each naming the file it is about
// as given on the command line, progress to a terminal.
class TerminalHost : public BatchHost {
public:
    TerminalHost(const CliOptions& options, TProcessingState& state);

    bool inverse() const override { return m_options.invert; }
    bool debayerSafe() const override { return m_options.debayerSafe; }
    bool showEffect() const override { return m_options.showEffect; }
    bool removeIncomplete() const override { return m_options.removeIncomplete; }
    // The command line's choices; the output mode is the test's automatic
    // choice once it made one.
    RunChoices choices() const override;

    void showPreview(const OutputBitmap& picture) override { m_preview = picture; }
    void showWarning(const std::string& caption) override;
    void setProgressMax(std::int32_t frames) override;
    void setProgress(std::int32_t frames) override;
    void processEvents() override;
    void appendLog(const std::string& line, bool repaint) override;
    void showMessage(const std::string& text) override;
    void selectOutputMode(bool color) override { m_grayscale = !color; }
    void frameAnalysed(const FrameRecord& record) override;
    void joinedFileStarted(const std::string& input) override { m_joinedFile = input; }
    void bestFrame(const OutputBitmap& picture) override;
    void qualityScores(const std::vector<double>& scores, std::int32_t kept) override;
    void fileFinished(const FileOutcome& file) override;
    // Every file told so far, as a batch that ended with an error left them.
    BatchResult told() const { return m_told; }

    std::vector<std::string> files() const override { return m_options.files; }
    void resetProgress() override;
    void fillProgress() override;

    const std::optional<OutputBitmap>& preview() const { return m_preview; }

private:
    void printAboutFile(const std::string& file, const std::string& text);
    std::string pathForFile(const std::string& given) const;

    const CliOptions& m_options;
    TProcessingState& m_state;
    bool m_grayscale;
    std::optional<OutputBitmap> m_preview;
    std::unique_ptr<ProgressBar> m_progress;   // only on a terminal, without --quiet
    std::unique_ptr<TrackWriter> m_track;
    PlotData m_plots;   // the current file's, with --plots
    BatchResult m_told;
    std::string m_joinedFile;   // in a join, the file the frames now come from
};
