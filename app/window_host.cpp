// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_host.h"

#include "app/frame_view_panel.h"
#include "app/gauge.h"
#include "app/preview_image.h"
#include "app/status_bar.h"
#include "app/unit1.h"
#include "output/paths.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <stdexcept>
#include <utility>

namespace {
QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}
}   // namespace

bool WindowHost::inverse() const
{
    return m_form.checkInverse->isChecked();
}
bool WindowHost::debayerSafe() const
{
    return m_form.checkDebayerSafe->isChecked();
}
bool WindowHost::showEffect() const
{
    return m_form.checkPreview->isChecked();
}
bool WindowHost::removeIncomplete() const
{
    return m_form.checkIgnoreIncomplete->isChecked();
}

// The window has no control for outputs beside their inputs, nor for the
// first frame's time: those stay as RunChoices has them.
RunChoices WindowHost::choices() const
{
    RunChoices chosen;
    chosen.thresholdPosition = m_form.trackCOG->value();
    chosen.widthPosition = widthPosition();
    chosen.heightPosition = heightPosition();
    chosen.grayscale = m_form.checkY800->isChecked();
    chosen.autoColor = m_form.checkAutocolor->isChecked();
    chosen.centring = m_form.centring();
    chosen.colour = m_form.colour();
    chosen.calibration = m_form.calibration();
    chosen.nameTime = m_form.nameTime();
    chosen.fullFrame = m_form.checkFullFrame->isChecked();
    chosen.sizeAuto = m_form.checkSizeAuto->isChecked();
    chosen.frames = m_form.frames();
    chosen.joinFiles = m_form.checkJoin->isChecked();
    chosen.timeRange = m_form.timeRange();
    chosen.segmentSeconds = m_form.segmentSeconds();
    chosen.outputRate = m_form.outputRate();
    return chosen;
}

void WindowHost::showPreview(const OutputBitmap& picture)
{
    m_form.showPreviewPicture(ToQImage(picture));
}
void WindowHost::showWarning(const std::string& caption)
{
    m_form.showWarningPanel(Text(caption));
}

void WindowHost::showSizeWarning(const std::string& text)
{
    m_form.showCutWarning(Text(text));
}

void WindowHost::showFrame(const FrameView& frame, const FrameOverlay& overlay)
{
    m_form.frameView->showFrame(frame, overlay);
}

void WindowHost::showRunFrames(bool show)
{
    m_showRunFrames = show;
    // The first frame is shown a while after the run starts, as all after
    // it: a batch of short files stays with what each file's start shows.
    m_lastShown.start();
}

// A clock read per frame costs nanoseconds; a frame shown, a copy and a
// paint of a few milliseconds: five a second stay far below the 2 % the
// window may take from a run.
bool WindowHost::wantsLiveFrame()
{
    if (!m_showRunFrames || m_liveIntervalMs < 0)
        return false;
    if (m_lastShown.isValid() && m_lastShown.elapsed() < m_liveIntervalMs)
        return false;
    m_lastShown.start();
    return true;
}

void WindowHost::showLiveFrame(const FrameView& frame, const FrameOverlay& overlay, const FrameRecord& /*record*/)
{
    // The frames this pass reported, the one in hand included: a ranked run
    // measures the whole file before it plays it again, so the gauge, which
    // counts both passes, would start the second one past the total.
    const std::int32_t played = m_framesReported;
    const double seconds = m_filePlaying.isValid() ? double(m_filePlaying.nsecsElapsed()) / 1e9 : 0.0;
    const double fps = seconds > 0.0 ? double(played) / seconds : 0.0;
    m_form.showLiveFrame(frame, overlay, played, fps);
}

void WindowHost::frameAnalysed(const FrameRecord& record)
{
    // The speed is that of the pass the frames are reported by.
    if (m_framesReported++ == 0)
        m_filePlaying.start();
    if (m_collectPlots)
        m_plots.addFrame(record, m_form.state().inputHeight);
    m_form.frameAnalysed(record);
}

void WindowHost::qualityScores(const std::vector<double>& sortedScores, std::int32_t kept)
{
    if (m_collectPlots)
        m_plots.setScores(sortedScores, kept);
}

void WindowHost::collectPlots(bool collect)
{
    m_collectPlots = collect;
    m_plots.clear();
}

void WindowHost::setProgressMax(std::int32_t frames)
{
    m_framesReported = 0;
    m_filePlaying.invalidate();
    m_form.Gauge1->setMaxValue(frames);
}

void WindowHost::setProgress(std::int32_t frames)
{
    m_form.Gauge1->setProgress(frames);
    m_form.Gauge1->repaint();
}

void WindowHost::processEvents()
{
    QCoreApplication::processEvents();
}

void WindowHost::appendLog(const std::string& line, bool repaint)
{
    m_form.Memo1->appendPlainText(Text(line));
    if (repaint)
        m_form.Memo1->repaint();
}

void WindowHost::showMessage(const std::string& text)
{
    if (!m_holdMessages)
        m_form.showMessage(Text(text));
}

void WindowHost::fileFinished(const FileOutcome& file)
{
    // A file that played no frame (one that failed to open, those a stop
    // left out) leaves the last plots shown rather than empty ones.
    if (m_collectPlots && !m_plots.frames().empty()) {
        m_form.showPlots(m_plots);
        m_plots.clear();
    }
    if (m_holdMessages && file.status == FileOutcome::Status::Failed)
        m_failedFiles.push_back(file);
}

void WindowHost::holdBatchMessages(bool hold)
{
    m_holdMessages = hold;
}

std::vector<FileOutcome> WindowHost::takeFailedFiles()
{
    return std::exchange(m_failedFiles, {});
}

std::int32_t WindowHost::widthPosition() const
{
    if (m_form.checkLargeSize->isChecked())
        return m_form.spinLargeWidth->value() / kCropSizeStep;
    return m_form.trackWidth->value();
}
std::int32_t WindowHost::heightPosition() const
{
    if (m_form.checkLargeSize->isChecked())
        return m_form.spinLargeHeight->value() / kCropSizeStep;
    return m_form.trackHeight->value();
}

void WindowHost::showCropSize(std::int32_t cropWidth, std::int32_t cropHeight)
{
    m_form.showCropSize(cropWidth, cropHeight);
}

void WindowHost::selectOutputMode(bool color)
{
    m_form.checkColor->setChecked(color);
    m_form.checkY800->setChecked(!color);
    m_form.checkColorClick();
}

void WindowHost::bestFrame(const OutputBitmap& picture)
{
    // A night asks for every capture's best frame for its report; only the
    // user's choice writes it beside the output.
    if (!m_form.checkBestFrame->isChecked())
        return;
    const TProcessingState& state = m_form.state();
    const std::string path = BestFramePathFor(state.currentFile, state.outputDir);
    if (!ToQImage(picture).save(QString::fromLocal8Bit(path.c_str()), "PNG"))
        throw std::runtime_error("Couldn't write the best frame " + path);
}

std::vector<std::string> WindowHost::files() const
{
    return m_form.chosenFiles();
}
std::size_t WindowHost::testedFile() const
{
    return m_form.testedFile();
}
void WindowHost::clearLog()
{
    m_form.Memo1->clear();
}

void WindowHost::setStatus(StatusPanel panel, const std::string& text)
{
    m_form.StatusBar1->setPanelText(int(panel), Text(text));
}

void WindowHost::setControlsEnabled(bool enabled)
{
    m_form.SetControlsEnabled(enabled);
}
void WindowHost::setProcessEnabled(bool enabled)
{
    m_form.btnProcess->setEnabled(enabled);
}

void WindowHost::showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight)
{
    m_form.showTestPassedPanel(cropWidth, cropHeight);
}

void WindowHost::resetProgress()
{
    m_form.Gauge1->setMinValue(0);
    m_form.Gauge1->setProgress(0);
}

void WindowHost::fillProgress()
{
    m_form.Gauge1->setProgress(m_form.Gauge1->maxValue());
}
