// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_place.h"
#include "app/unit1.h"

#include "settings/orbicrop_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>

QString SettingsPathIn(const QString& executableDir, const QString& configDir)
{
    const QFileInfo dir(executableDir);
    const QString base = dir.isDir() && dir.isWritable() ? executableDir : configDir;
    return QDir(base).filePath(QString::fromLatin1(kSettingsFileName));
}

QString DefaultSettingsPath()
{
    return SettingsPathIn(QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

void TForm1::LoadSettings()
{
    const OrbicropSettings s = LoadOrbicropSettings(QFile::encodeName(m_settingsPath).toStdString());
    trackCOG->setValue(s.threshold);
    lblCog->setText(QString::number(trackCOG->value()));
    lblCog->adjustSize();
    checkPreview->setChecked(s.showEffect);
    checkIgnoreIncomplete->setChecked(s.ignoreIncomplete);
    checkDebayerSafe->setChecked(s.debayerSafe);
    checkAutocolor->setChecked(s.autoColor);
    trackWidth->setValue(s.width);
    trackHeight->setValue(s.height);
    comboFormat->setCurrentIndex(s.serFormat ? 1 : 0);
    checkWinJupos->setChecked(s.winJuposName);
    comboFormatChange();
    updateCropSize();
    checkLargestObject->setChecked(s.largestObject);
    checkSurface->setChecked(s.surface);
    spinSurfaceRefresh->setValue(s.surfaceRefresh);
    comboKeepBestUnit->setCurrentIndex(s.keepBestFrames ? 1 : 0);
    comboKeepBestUnitChange();
    spinKeepBest->setValue(s.keepBest);
    checkBestFrame->setChecked(s.bestFrame);
}

OrbicropSettings TForm1::settingsFromControls() const
{
    OrbicropSettings s;
    s.threshold = trackCOG->value();
    s.showEffect = checkPreview->isChecked();
    s.ignoreIncomplete = checkIgnoreIncomplete->isChecked();
    s.autoColor = checkAutocolor->isChecked();
    s.color = checkColor->isChecked();
    s.width = trackWidth->value();
    s.height = trackHeight->value();
    s.debayerSafe = checkDebayerSafe->isChecked();
    s.largestObject = checkLargestObject->isChecked();
    s.surface = checkSurface->isChecked();
    s.surfaceRefresh = spinSurfaceRefresh->value();
    s.keepBest = spinKeepBest->value();
    s.keepBestFrames = comboKeepBestUnit->currentIndex() == 1;
    s.bestFrame = checkBestFrame->isChecked();
    s.serFormat = comboFormat->currentIndex() == 1;
    s.winJuposName = checkWinJupos->isChecked();
    return s;
}

void TForm1::SaveSettings()
{
    const OrbicropSettings s = settingsFromControls();
    // The user's configuration folder may not exist yet; a failure here shows
    // up as the save's own error.
    QDir().mkpath(QFileInfo(m_settingsPath).absolutePath());
    SaveOrbicropSettings(QFile::encodeName(m_settingsPath).toStdString(), s);
}
