// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_place.h"
#include "app/unit1.h"

#include "settings/orbicrop_settings.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTimeEdit>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>

#include <unistd.h>

bool SettingsBesideExecutable(unsigned folderOwner, unsigned user, bool folderWritable, bool portableMarker)
{
    // A folder that cannot be written would give an error at every exit.
    return folderWritable && (portableMarker || (user != 0 && folderOwner == user));
}

QString SettingsPathIn(const QString& executableDir, const QString& configDir)
{
    const QFileInfo dir(executableDir);
    const bool beside = dir.isDir()
        && SettingsBesideExecutable(
                            dir.ownerId(), ::geteuid(), dir.isWritable(),
                            QFileInfo::exists(QDir(executableDir).filePath(QLatin1String(kPortableMarkerName))));
    return QDir(beside ? executableDir : configDir).filePath(QString::fromLatin1(kSettingsFileName));
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
    comboFormat->setCurrentIndex(int(s.format));
    checkWinJupos->setChecked(s.winJuposName);
    showOutputRate(s.fps);
    comboFormatChange();
    setOutputFolder(QFile::decodeName(s.outputFolder.c_str()));
    checkKeepGoing->setChecked(s.keepGoing);
    m_openFilter = OpenDialogFilterNamed(s.openFilter);
    updateCropSize();
    checkLargestObject->setChecked(s.largestObject);
    checkSurface->setChecked(s.surface);
    checkLimb->setChecked(s.limb);
    spinSurfaceRefresh->setValue(s.surfaceRefresh);
    comboKeepBestUnit->setCurrentIndex(comboKeepBestUnit->findData(int(s.keepBestUnit)));
    comboKeepBestUnitChange();
    spinKeepBest->setValue(s.keepBest);
    checkBestFrame->setChecked(s.bestFrame);
    comboBayer->setCurrentIndex(s.bayer           ? comboBayer->findData(int(*s.bayer))
                                    : s.bayerAuto ? comboBayer->findData(QStringLiteral("auto"))
                                                  : 0);
    checkDebayer->setChecked(s.debayer);
    comboDebayerMethod->setCurrentIndex(comboDebayerMethod->findData(int(s.debayerMethod)));
    checkDebayerClick();
    spinLargeWidth->setValue(s.largeWidth);
    spinLargeHeight->setValue(s.largeHeight);
    checkLargeSize->setChecked(s.largeSize);
    checkLargeSizeClick();
    checkFullFrame->setChecked(s.fullFrame);
    checkAlignRgb->setChecked(s.alignRgb);
    comboLevels->setCurrentText(s.levels ? QString::fromStdString(LevelsText(*s.levels)) : comboLevels->itemText(0));
    checkSizeAuto->setChecked(s.sizeAuto);
    checkRejectCut->setChecked(s.rejectCut);
    spinMinSize->setValue(s.rejectMinSize);
    // A rejection that is off leaves its spin box at what the window offers.
    checkMaxSaturated->setChecked(s.rejectMaxSaturated.has_value());
    spinMaxSaturated->setValue(s.rejectMaxSaturated.value_or(kRejectMaxSaturatedDefault));
    checkRejectDim->setChecked(s.rejectDim.has_value());
    spinRejectDim->setValue(s.rejectDim.value_or(kRejectDimDefault));
    checkFrames->setChecked(s.frameRange);
    spinFramesFirst->setValue(s.framesFirst);
    spinFramesLast->setValue(s.framesLast);
    checkJoin->setChecked(s.join);
    checkTimeRange->setChecked(s.timeRange);
    timeRangeFirst->setTime(QTime(0, 0).addSecs(s.timeFirst));
    timeRangeEnd->setTime(QTime(0, 0).addSecs(s.timeEnd));
    checkSegment->setChecked(s.segment);
    spinSegment->setValue(s.segmentSeconds);
    checkRejectClick();
    setMaster(&CalibrationOptions::dark, s.calibration.dark);
    setMaster(&CalibrationOptions::flat, s.calibration.flat);
    setMaster(&CalibrationOptions::bias, s.calibration.bias);
    comboHotPixels->setCurrentIndex(int(s.calibration.hotPixels));
    editNameTime->setText(QString::fromStdString(s.nameTimePattern));
    editUtcOffset->setText(QString::fromStdString(s.utcOffset));
    checkRecurse->setChecked(s.nightRecurse);
    checkJoinAuto->setChecked(s.nightJoinAuto);
    showOrientation(s);
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
    s.limb = checkLimb->isChecked();
    s.surfaceRefresh = spinSurfaceRefresh->value();
    s.keepBest = spinKeepBest->value();
    s.keepBestUnit = KeepBestUnit(comboKeepBestUnit->currentData().toInt());
    s.bestFrame = checkBestFrame->isChecked();
    s.format = OutputFormat(std::clamp(comboFormat->currentIndex(), 0, int(OutputFormat::Png)));
    s.winJuposName = checkWinJupos->isChecked();
    s.fps = outputRate();
    s.outputFolder = QFile::encodeName(m_outputFolder).toStdString();
    s.keepGoing = checkKeepGoing->isChecked();
    s.openFilter = OpenDialogFilterName(m_openFilter);
    if (const QVariant pattern = comboBayer->currentData(); pattern.toString() == QStringLiteral("auto"))
        s.bayerAuto = true;
    else if (pattern.isValid())
        s.bayer = BayerPattern(pattern.toInt());
    s.debayer = checkDebayer->isChecked();
    s.debayerMethod = DemosaicMethod(comboDebayerMethod->currentData().toInt());
    s.largeSize = checkLargeSize->isChecked();
    s.largeWidth = spinLargeWidth->value();
    s.largeHeight = spinLargeHeight->value();
    s.fullFrame = checkFullFrame->isChecked();
    s.alignRgb = checkAlignRgb->isChecked();
    // "Off", and text that names no levels, leave the top 8 bits.
    s.levels = ParseLevels(comboLevels->currentText().trimmed().toStdString());
    s.sizeAuto = checkSizeAuto->isChecked();
    s.calibration = calibration();
    s.nameTimePattern = editNameTime->text().trimmed().toStdString();
    s.utcOffset = editUtcOffset->text().trimmed().toStdString();
    s.rejectCut = checkRejectCut->isChecked();
    s.rejectMinSize = spinMinSize->value();
    if (checkMaxSaturated->isChecked())
        s.rejectMaxSaturated = spinMaxSaturated->value();
    if (checkRejectDim->isChecked())
        s.rejectDim = spinRejectDim->value();
    s.frameRange = checkFrames->isChecked();
    s.framesFirst = spinFramesFirst->value();
    s.framesLast = spinFramesLast->value();
    s.join = checkJoin->isChecked();
    s.timeRange = checkTimeRange->isChecked();
    s.timeFirst = QTime(0, 0).secsTo(timeRangeFirst->time());
    s.timeEnd = QTime(0, 0).secsTo(timeRangeEnd->time());
    s.segment = checkSegment->isChecked();
    s.segmentSeconds = spinSegment->value();
    s.nightRecurse = checkRecurse->isChecked();
    s.nightJoinAuto = checkJoinAuto->isChecked();
    takeOrientation(s);
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
