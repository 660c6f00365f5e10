// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "run/forwarding_host.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One file of a batch that runs beside others, as the shell will hear of it:
// what the file's run reports is kept, in order, and told to the shell later
// (replay), on the shell's thread, once every file before it has been told.
// So a batch of several files at once tells the shell exactly what one file
// at a time would, in the same order.
//
// Made on the shell's thread, which then prepares the file through it; the
// run itself may go on on another thread. What the run reads while it plays
// (RunOptions) is taken from the shell when this is made, so that no other
// thread reads the shell. The rest of BatchInput (the files, the choices)
// passes to the shell and is for the shell's thread only.
//
// Two things do not wait: the progress is kept in counters the shell's thread
// reads at any time (progress, progressMax), and a stop the shell's thread
// asks for (requestStop) reaches the run's state at its next frame, as the
// shell's own stop would.
//
// A whole frame to show cannot be kept (its pixels are the source's), and a
// batch file's run shows none: showFrame and live frames are not passed on.
class DeferredHost final : public ForwardingBatchHost {
public:
    // run is the state the file will run on; it must outlive this.
    DeferredHost(BatchHost& shell, TProcessingState& run);
    DeferredHost(const DeferredHost&) = delete;
    DeferredHost& operator=(const DeferredHost&) = delete;

    bool inverse() const override { return m_inverse; }
    bool debayerSafe() const override { return m_debayerSafe; }
    bool showEffect() const override { return m_showEffect; }
    bool removeIncomplete() const override { return m_removeIncomplete; }

    void showPreview(const OutputBitmap& picture) override;
    void showWarning(const std::string& caption) override;
    void setProgressMax(std::int32_t frames) override { m_progressMax.store(frames); }
    void setProgress(std::int32_t frames) override { m_progress.store(frames); }
    void processEvents() override;
    void appendLog(const std::string& line, bool repaint) override;
    // Held as a log line, in its place among the file's.
    void showCutWarning(const std::string& text) override { appendLog(text, true); }
    void showMessage(const std::string& text) override;
    void frameAnalysed(const FrameRecord& record) override;
    void bestFrame(const OutputBitmap& picture) override;
    void qualityScores(const std::vector<double>& scores, std::int32_t kept) override;
    void joinedFileStarted(const std::string& input) override;
    void showFrame(const FrameView&, const FrameOverlay&) override {}
    bool wantsLiveFrame() override { return false; }
    void showLiveFrame(const FrameView&, const FrameOverlay&, const FrameRecord&) override {}

    void clearLog() override;
    void setStatus(StatusPanel panel, const std::string& text) override;
    void setControlsEnabled(bool enabled) override;
    void setProcessEnabled(bool enabled) override;
    void showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight) override;
    void showCropSize(std::int32_t cropWidth, std::int32_t cropHeight) override;
    void selectOutputMode(bool color) override;
    void resetProgress() override { m_progress.store(0); }
    void fillProgress() override;
    void fileFinished(const FileOutcome& file) override;

    // Tells shell, in order, everything kept so far, and forgets it. On the
    // shell's thread, once the run is over.
    void replay(BatchHost& shell);
    // Any thread.
    void requestStop() { m_stop.store(true); }
    std::int32_t progress() const { return m_progress.load(); }
    // -1 until the run knows how many frames it plays.
    std::int32_t progressMax() const { return m_progressMax.load(); }

private:
    TProcessingState& m_run;
    bool m_inverse;
    bool m_debayerSafe;
    bool m_showEffect;
    bool m_removeIncomplete;
    std::vector<std::function<void(BatchHost&)>> m_calls;
    std::atomic<std::int32_t> m_progress{0};
    std::atomic<std::int32_t> m_progressMax{-1};
    std::atomic<bool> m_stop{false};
};
