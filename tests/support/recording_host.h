// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "run/batch_host.h"

#include <functional>
#include <string>
#include <vector>

// A shell that records everything the core tells it, with options a test sets.
class RecordingHost : public BatchHost {
public:
    // Options
    bool optInverse = false;
    bool optDebayerSafe = false;
    bool optShowEffect = false;
    bool optRemoveIncomplete = false;
    std::vector<std::string> chosenFiles;
    RunChoices chosen;   // what choices() returns

    // What was shown
    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<std::string> warnings;
    std::vector<OutputBitmap> previews;
    std::vector<FrameRecord> frames;
    std::vector<OutputBitmap> bestFrames;
    std::vector<FrameOverlay> overlays;   // with the whole frames' sizes
    std::vector<std::pair<std::int32_t, std::int32_t>> frameSizes;
    std::vector<std::vector<double>> scores;   // each ranked file's, best first
    std::vector<std::string> statusText = std::vector<std::string>(3);
    std::vector<std::string> statusHistory;
    std::int32_t progressMax = 100;
    std::int32_t progress = 0;
    std::int32_t eventsPumped = 0;
    std::int32_t cropSizeUpdates = 0;
    std::vector<bool> modesSelected;   // true = colour
    bool controlsEnabled = true;
    bool processEnabled = false;
    std::int32_t passedWidth = 0, passedHeight = 0;

    // Runs where the shell would handle its events, with their count so far.
    std::function<void(std::int32_t)> onEvents;

    bool inverse() const override { return optInverse; }
    bool debayerSafe() const override { return optDebayerSafe; }
    bool showEffect() const override { return optShowEffect; }
    bool removeIncomplete() const override { return optRemoveIncomplete; }
    RunChoices choices() const override { return chosen; }

    void showPreview(const OutputBitmap& picture) override { previews.push_back(picture); }
    void showWarning(const std::string& caption) override { warnings.push_back(caption); }
    void setProgressMax(std::int32_t frames) override { progressMax = frames; }
    void setProgress(std::int32_t frames) override { progress = frames; }
    void processEvents() override
    {
        ++eventsPumped;
        if (onEvents)
            onEvents(eventsPumped);
    }
    void appendLog(const std::string& line, bool) override { log.push_back(line); }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showCropSize(std::int32_t, std::int32_t) override { ++cropSizeUpdates; }
    void selectOutputMode(bool color) override
    {
        modesSelected.push_back(color);
        chosen.grayscale = !color;
    }
    void frameAnalysed(const FrameRecord& record) override { frames.push_back(record); }
    void bestFrame(const OutputBitmap& picture) override { bestFrames.push_back(picture); }
    void qualityScores(const std::vector<double>& sorted, std::int32_t) override { scores.push_back(sorted); }
    void showFrame(const FrameView& frame, const FrameOverlay& overlay) override
    {
        overlays.push_back(overlay);
        frameSizes.emplace_back(frame.width, frame.height);
    }

    std::vector<std::string> files() const override { return chosenFiles; }
    void clearLog() override { log.clear(); }
    void setStatus(StatusPanel panel, const std::string& text) override
    {
        statusText[std::size_t(panel)] = text;
        statusHistory.push_back(std::to_string(int(panel)) + ":" + text);
    }
    void setControlsEnabled(bool enabled) override
    {
        controlsEnabled = enabled;
        processEnabled = enabled;
    }
    void setProcessEnabled(bool enabled) override { processEnabled = enabled; }
    void showTestPassed(std::int32_t w, std::int32_t h) override
    {
        passedWidth = w + 1;
        passedHeight = h + 1;
    }
    void resetProgress() override { progress = 0; }
    void fillProgress() override { progress = progressMax; }
};

// A state as a passed test leaves it, ready to run a file: a planet was
// found and cropped at the default threshold, the output size at the given
// slider steps.
inline void PrepareToRun(TProcessingState& state, std::int32_t sizeSteps)
{
    state.blockSize = kBlockSize;
    state.cogValid = true;
    state.cropValid = true;
    state.thresholdPercent = 5;
    UpdateCropSize(state, sizeSteps, sizeSteps);
}
