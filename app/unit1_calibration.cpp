// SPDX-License-Identifier: GPL-3.0-or-later
// "10) Calibration": the masters chosen in the window.
#include "app/unit1.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr char kMasterFilter[] = "FITS masters (*.fits *.fit *.fts);;All files (*)";

}   // namespace

CalibrationOptions TForm1::calibration() const
{
    CalibrationOptions chosen = m_calibration;
    chosen.hotPixels = HotPixels(std::clamp(comboHotPixels->currentIndex(), 0, int(HotPixels::Auto)));
    return chosen;
}

void TForm1::setMaster(std::string CalibrationOptions::*master, const std::string& path)
{
    m_calibration.*master = path;
    const auto [label, clear] = master == &CalibrationOptions::dark ? std::pair{lblDark, btnDarkClear}
        : master == &CalibrationOptions::flat                       ? std::pair{lblFlat, btnFlatClear}
                                                                    : std::pair{lblBias, btnBiasClear};
    const QString file = QFile::decodeName(path.c_str());
    // The file's name tells which master it is; the tool tip gives the whole path.
    const QString shown = path.empty() ? QStringLiteral("none") : QFileInfo(file).fileName();
    label->setText(label->fontMetrics().elidedText(shown, Qt::ElideMiddle, label->width()));
    label->setToolTip(file);
    clear->setEnabled(!path.empty());
}

void TForm1::chooseMaster(std::string CalibrationOptions::*master)
{
    const std::string& current = m_calibration.*master;
    QString start = current.empty() ? QString() : QFileInfo(QFile::decodeName(current.c_str())).absolutePath();
    if (start.isEmpty() && !m_files.empty())
        start = QFileInfo(QFile::decodeName(m_files.front().c_str())).absolutePath();
    QString filter = QString::fromLatin1(kMasterFilter).section(QStringLiteral(";;"), 0, 0);
    const QStringList chosen = m_services.chooser->chooseFiles(this, QString::fromLatin1(kMasterFilter), start, filter);
    if (chosen.isEmpty())
        return;
    setMaster(master, QFile::encodeName(chosen.front()).toStdString());
    btnTestClick();
}
