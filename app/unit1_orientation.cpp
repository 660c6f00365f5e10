// SPDX-License-Identifier: GPL-3.0-or-later
// "13) Orientation": the settings of every output frame's turn and mirror,
// and of the meridian flip's half turn for the captures after it.
#include "app/unit1.h"

#include "settings/orbicrop_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTime>
#include <QTimeEdit>

#include <algorithm>

void TForm1::showOrientation(const OrbicropSettings& s)
{
    comboRotate->setCurrentIndex(std::max(0, comboRotate->findData(s.rotate)));
    comboFlip->setCurrentIndex(std::max(0, comboFlip->findData(int(s.flip))));
    checkMeridianFlip->setChecked(s.meridianFlip.has_value());
    editMeridianFlip->setTime(QTime(0, 0).addSecs(60 * s.meridianFlip.value_or(0)));
}

void TForm1::takeOrientation(OrbicropSettings& s) const
{
    s.rotate = comboRotate->currentData().toInt();
    s.flip = Flip(comboFlip->currentData().toInt());
    if (checkMeridianFlip->isChecked())
        s.meridianFlip = QTime(0, 0).secsTo(editMeridianFlip->time()) / 60;
}
