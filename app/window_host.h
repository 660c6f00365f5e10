// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_host.h"

class TForm1;

// The window as the core sees it: options read from the check boxes at every
// call, the preview looks, the gauge, the log and the status panels. Every
// call comes on the GUI thread, from inside one of the window's reactions.
class WindowHost : public BatchHost {
public:
    explicit WindowHost(TForm1& form) : m_form(form) {}

    bool inverse() const override;
    bool debayerSafe() const override;
    bool showEffect() const override;
    bool removeIncomplete() const override;
    bool grayscale() const override;
    bool autoColor() const override;
    std::int32_t widthPosition() const override;
    std::int32_t heightPosition() const override;
    CentringOptions centring() const override;

    void showPreview(const OutputBitmap& picture) override;
    void showWarning(const std::string& caption) override;
    void setProgressMax(std::int32_t frames) override;
    void setProgress(std::int32_t frames) override;
    void processEvents() override;
    void appendLog(const std::string& line, bool repaint) override;
    void showMessage(const std::string& text) override;
    void showCropSize(std::int32_t cropWidth, std::int32_t cropHeight) override;
    void selectOutputMode(bool color) override;
    void bestFrame(const OutputBitmap& picture) override;

    std::vector<std::string> files() const override;
    std::int32_t thresholdPosition() const override;
    void clearLog() override;
    void setStatus(StatusPanel panel, const std::string& text) override;
    void setControlsEnabled(bool enabled) override;
    void setProcessEnabled(bool enabled) override;
    void showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight) override;
    void resetProgress() override;
    void fillProgress() override;

private:
    TForm1& m_form;
};
