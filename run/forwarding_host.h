// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_host.h"

#include <cstdint>
#include <string>
#include <vector>

// A host that passes every call on to another, unchanged, for decorators to
// derive from: a decorator overrides only what it changes, and a call added
// to the interfaces later is passed on by default instead of being dropped
// (tests/run/test_forwarding_host.cpp calls every one). Host is RunHost or
// BatchHost; the wrapped host must outlive this.
template <typename Host>
class ForwardingRunPart : public Host {
public:
    explicit ForwardingRunPart(Host& host) : m_host(host) {}

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
    void showCutWarning(const std::string& text) override { m_host.showCutWarning(text); }
    void showMessage(const std::string& text) override { m_host.showMessage(text); }
    void frameAnalysed(const FrameRecord& record) override { m_host.frameAnalysed(record); }
    void bestFrame(const OutputBitmap& picture) override { m_host.bestFrame(picture); }
    void showFrame(const FrameView& frame, const FrameOverlay& overlay) override { m_host.showFrame(frame, overlay); }
    bool wantsLiveFrame() override { return m_host.wantsLiveFrame(); }
    void showLiveFrame(const FrameView& frame, const FrameOverlay& overlay, const FrameRecord& record) override
    {
        m_host.showLiveFrame(frame, overlay, record);
    }
    void qualityScores(const std::vector<double>& scores, std::int32_t kept) override
    {
        m_host.qualityScores(scores, kept);
    }
    void joinedFileStarted(const std::string& input) override { m_host.joinedFileStarted(input); }

protected:
    Host& wrapped() const { return m_host; }

private:
    Host& m_host;
};

using ForwardingRunHost = ForwardingRunPart<RunHost>;

class ForwardingBatchHost : public ForwardingRunPart<BatchHost> {
public:
    using ForwardingRunPart<BatchHost>::ForwardingRunPart;

    std::vector<std::string> files() const override { return wrapped().files(); }
    std::size_t testedFile() const override { return wrapped().testedFile(); }
    RunChoices choices() const override { return wrapped().choices(); }

    void clearLog() override { wrapped().clearLog(); }
    void setStatus(StatusPanel panel, const std::string& text) override { wrapped().setStatus(panel, text); }
    void setControlsEnabled(bool enabled) override { wrapped().setControlsEnabled(enabled); }
    void setProcessEnabled(bool enabled) override { wrapped().setProcessEnabled(enabled); }
    void showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight) override
    {
        wrapped().showTestPassed(cropWidth, cropHeight);
    }
    void showCropSize(std::int32_t cropWidth, std::int32_t cropHeight) override
    {
        wrapped().showCropSize(cropWidth, cropHeight);
    }
    void selectOutputMode(bool color) override { wrapped().selectOutputMode(color); }
    void showSizeWarning(const std::string& text) override { wrapped().showSizeWarning(text); }
    void resetProgress() override { wrapped().resetProgress(); }
    void fillProgress() override { wrapped().fillProgress(); }
    void fileFinished(const FileOutcome& file) override { wrapped().fileFinished(file); }
};
