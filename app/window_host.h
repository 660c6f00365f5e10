// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_host.h"
#include "run/plots.h"

#include <QElapsedTimer>

#include <vector>

class TForm1;

// The window as the core sees it: options read from the check boxes at every
// call (the output size from the large size while it is checked, else from
// the sliders), the preview looks, the gauge, the log and the status panels.
// Every call comes on the GUI thread, from inside one of the window's
// reactions.
class WindowHost : public BatchHost {
public:
    explicit WindowHost(TForm1& form) : m_form(form) {}

    bool inverse() const override;
    bool debayerSafe() const override;
    bool showEffect() const override;
    bool removeIncomplete() const override;
    RunChoices choices() const override;
    // The positions of the output size in use, 16 pixels a step: the large
    // size's while it is checked, else the sliders'.
    std::int32_t widthPosition() const;
    std::int32_t heightPosition() const;

    void showPreview(const OutputBitmap& picture) override;
    void showWarning(const std::string& caption) override;
    void setProgressMax(std::int32_t frames) override;
    void setProgress(std::int32_t frames) override;
    void processEvents() override;
    void appendLog(const std::string& line, bool repaint) override;
    void showSizeWarning(const std::string& text) override;
    void showMessage(const std::string& text) override;
    void showCropSize(std::int32_t cropWidth, std::int32_t cropHeight) override;
    void selectOutputMode(bool color) override;
    void bestFrame(const OutputBitmap& picture) override;
    void showFrame(const FrameView& frame, const FrameOverlay& overlay) override;
    void frameAnalysed(const FrameRecord& record) override;
    bool wantsLiveFrame() override;
    void showLiveFrame(const FrameView& frame, const FrameOverlay& overlay, const FrameRecord& record) override;
    void qualityScores(const std::vector<double>& sortedScores, std::int32_t kept) override;

    std::vector<std::string> files() const override;
    std::size_t testedFile() const override;
    void clearLog() override;
    void setStatus(StatusPanel panel, const std::string& text) override;
    void setControlsEnabled(bool enabled) override;
    void setProcessEnabled(bool enabled) override;
    void showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight) override;
    void resetProgress() override;
    void fillProgress() override;
    void fileFinished(const FileOutcome& file) override;

    // While a batch keeps going past the files that fail, their messages
    // show no box: the core writes each of them to the log as well. The
    // files that failed are kept for one summary when the batch is over.
    void holdBatchMessages(bool hold);
    // The files that failed while messages were held, and forgets them.
    std::vector<FileOutcome> takeFailedFiles();
    // Frames and scores are gathered for the plots only while an analysis or
    // a batch runs (a test's or a view's would mix in frames out of order);
    // starting clears what was gathered. During a batch the window shows
    // each file's plots after it.
    void collectPlots(bool collect);
    const PlotData& plots() const { return m_plots; }
    // While a batch or an analysis runs, its frames are shown as they go,
    // at most kLiveFramesPerSecond of them a second, with the frame and the
    // speed in the status bar.
    static constexpr int kLiveFramesPerSecond = 5;
    void showRunFrames(bool show);
    // The least time between two frames shown; below 0, none is shown (to
    // measure what showing them costs).
    void setLiveInterval(int milliseconds) { m_liveIntervalMs = milliseconds; }

private:
    TForm1& m_form;
    bool m_holdMessages = false;
    std::vector<FileOutcome> m_failedFiles;
    bool m_collectPlots = false;
    PlotData m_plots;
    bool m_showRunFrames = false;
    int m_liveIntervalMs = 1000 / kLiveFramesPerSecond;
    QElapsedTimer m_lastShown;           // since the last frame shown
    QElapsedTimer m_filePlaying;         // since the file's first reported frame
    std::int32_t m_framesReported = 0;   // of the file, by the pass that decides them
};
