// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_host.h"

#include "app/gauge.h"
#include "app/preview_image.h"
#include "app/status_bar.h"
#include "app/unit1.h"
#include "run/paths.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <stdexcept>

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
bool WindowHost::grayscale() const
{
    return m_form.checkY800->isChecked();
}
bool WindowHost::autoColor() const
{
    return m_form.checkAutocolor->isChecked();
}

void WindowHost::showPreview(const OutputBitmap& picture)
{
    m_form.showPreviewPicture(ToQImage(picture));
}
void WindowHost::showWarning(const std::string& caption)
{
    m_form.showWarningPanel(Text(caption));
}

void WindowHost::setProgressMax(std::int32_t frames)
{
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
    m_form.showMessage(Text(text));
}

std::int32_t WindowHost::widthPosition() const
{
    return m_form.trackWidth->value();
}
std::int32_t WindowHost::heightPosition() const
{
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

CentringOptions WindowHost::centring() const
{
    return m_form.centring();
}

void WindowHost::bestFrame(const OutputBitmap& picture)
{
    const TProcessingState& state = m_form.state();
    const std::string path = BestFramePathFor(state.currentFile, state.outputDir);
    if (!ToQImage(picture).save(QString::fromLocal8Bit(path.c_str()), "PNG"))
        throw std::runtime_error("Couldn't write the best frame " + path);
}

std::vector<std::string> WindowHost::files() const
{
    return m_form.chosenFiles();
}
std::int32_t WindowHost::thresholdPosition() const
{
    return m_form.trackCOG->value();
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
