// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/deferred_host.h"

#include <algorithm>
#include <utility>

DeferredHost::DeferredHost(BatchHost& shell, TProcessingState& run)
    : ForwardingBatchHost(shell), m_run(run), m_inverse(shell.inverse()), m_debayerSafe(shell.debayerSafe()),
      m_showEffect(shell.showEffect()), m_removeIncomplete(shell.removeIncomplete())
{}

void DeferredHost::showPreview(const OutputBitmap& picture)
{
    m_calls.emplace_back([picture](BatchHost& shell) { shell.showPreview(picture); });
}

void DeferredHost::showWarning(const std::string& caption)
{
    m_calls.emplace_back([caption](BatchHost& shell) { shell.showWarning(caption); });
}

void DeferredHost::processEvents()
{
    if (m_stop.load())
        m_run.stopRequested = true;
}

void DeferredHost::appendLog(const std::string& line, bool repaint)
{
    m_calls.emplace_back([line, repaint](BatchHost& shell) { shell.appendLog(line, repaint); });
}

void DeferredHost::showMessage(const std::string& text)
{
    m_calls.emplace_back([text](BatchHost& shell) { shell.showMessage(text); });
}

void DeferredHost::frameAnalysed(const FrameRecord& record)
{
    m_calls.emplace_back([record](BatchHost& shell) { shell.frameAnalysed(record); });
}

void DeferredHost::bestFrame(const OutputBitmap& picture)
{
    m_calls.emplace_back([picture](BatchHost& shell) { shell.bestFrame(picture); });
}

void DeferredHost::qualityScores(const std::vector<double>& scores, std::int32_t kept)
{
    m_calls.emplace_back([scores, kept](BatchHost& shell) { shell.qualityScores(scores, kept); });
}

void DeferredHost::joinedFileStarted(const std::string& input)
{
    m_calls.emplace_back([input](BatchHost& shell) { shell.joinedFileStarted(input); });
}

void DeferredHost::clearLog()
{
    m_calls.emplace_back([](BatchHost& shell) { shell.clearLog(); });
}

void DeferredHost::setStatus(StatusPanel panel, const std::string& text)
{
    m_calls.emplace_back([panel, text](BatchHost& shell) { shell.setStatus(panel, text); });
}

void DeferredHost::setControlsEnabled(bool enabled)
{
    m_calls.emplace_back([enabled](BatchHost& shell) { shell.setControlsEnabled(enabled); });
}

void DeferredHost::setProcessEnabled(bool enabled)
{
    m_calls.emplace_back([enabled](BatchHost& shell) { shell.setProcessEnabled(enabled); });
}

void DeferredHost::showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight)
{
    m_calls.emplace_back([=](BatchHost& shell) { shell.showTestPassed(cropWidth, cropHeight); });
}

void DeferredHost::showCropSize(std::int32_t cropWidth, std::int32_t cropHeight)
{
    m_calls.emplace_back([=](BatchHost& shell) { shell.showCropSize(cropWidth, cropHeight); });
}

void DeferredHost::selectOutputMode(bool color)
{
    m_calls.emplace_back([color](BatchHost& shell) { shell.selectOutputMode(color); });
}

void DeferredHost::fillProgress()
{
    // A file that knew its length counts whole once over; one that never
    // learnt it (it failed to open) counts nothing.
    m_progress.store(std::max(m_progressMax.load(), 0));
}

void DeferredHost::fileFinished(const FileOutcome& file)
{
    m_calls.emplace_back([file](BatchHost& shell) { shell.fileFinished(file); });
}

void DeferredHost::replay(BatchHost& shell)
{
    for (const auto& call : std::exchange(m_calls, {}))
        call(shell);
}
