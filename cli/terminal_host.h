// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "cli/cli_options.h"
#include "cli/progress_bar.h"
#include "cli/track_writer.h"
#include "run/batch_host.h"

#include <memory>
#include <optional>
#include <stdexcept>

// Raised between two frames once the user pressed Ctrl+C: the batch closes
// the current output with the frames written so far and the tool ends.
class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// Makes Ctrl+C (SIGINT) and SIGTERM request an orderly stop instead of
// killing the process in the middle of a write, and turns a file-size limit
// into a failed write.
void InstallInterruptHandler();
bool InterruptRequested();

// The command-line tool's side of a run: the log goes to standard output,
// messages and warnings to standard error, progress to a terminal.
class TerminalHost : public BatchHost {
public:
    TerminalHost(const CliOptions& options, TProcessingState& state);

    bool inverse() const override { return m_options.invert; }
    bool debayerSafe() const override { return m_options.debayerSafe; }
    bool showEffect() const override { return m_options.showEffect; }
    bool removeIncomplete() const override { return m_options.removeIncomplete; }
    bool grayscale() const override { return m_grayscale; }
    bool autoColor() const override { return m_options.autoColor && !m_options.color.has_value(); }
    bool outputBesideInput() const override { return m_options.besideInput; }
    CentringOptions centring() const override { return m_options.centring; }
    std::int32_t widthPosition() const override { return m_options.width / kCropSizeStep; }
    std::int32_t heightPosition() const override { return m_options.height / kCropSizeStep; }

    void showPreview(const OutputBitmap& picture) override { m_preview = picture; }
    void showWarning(const std::string& caption) override;
    void setProgressMax(std::int32_t frames) override;
    void setProgress(std::int32_t frames) override;
    void processEvents() override;
    void appendLog(const std::string& line, bool repaint) override;
    void showMessage(const std::string& text) override;
    void selectOutputMode(bool color) override { m_grayscale = !color; }
    void frameAnalysed(const FrameRecord& record) override;
    void bestFrame(const OutputBitmap& picture) override;

    std::vector<std::string> files() const override { return m_options.files; }
    std::int32_t thresholdPosition() const override { return m_options.threshold; }
    void resetProgress() override;
    void fillProgress() override;

    const std::optional<OutputBitmap>& preview() const { return m_preview; }

private:
    const CliOptions& m_options;
    TProcessingState& m_state;
    bool m_grayscale;
    std::optional<OutputBitmap> m_preview;
    std::unique_ptr<ProgressBar> m_progress;   // only on a terminal, without --quiet
    std::unique_ptr<TrackWriter> m_track;
};
