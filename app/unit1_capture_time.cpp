// SPDX-License-Identifier: GPL-3.0-or-later
// "11) Capture time": how names date captures that nothing better dates.
#include "app/unit1.h"

#include "capture/local_time.h"

#include <QLineEdit>

namespace {

// A text that cannot be used is shown so, and left out of the run's choices.
void MarkValid(QLineEdit* edit, bool valid)
{
    edit->setStyleSheet(valid ? QString() : QStringLiteral("color: #c00000"));
}

}   // namespace

orbicrop::capture::NameTimeChoices TForm1::nameTime() const
{
    orbicrop::capture::NameTimeChoices chosen;
    const std::string pattern = editNameTime->text().trimmed().toStdString();
    if (orbicrop::capture::IsTimePattern(pattern))
        chosen.pattern = pattern;
    chosen.utcOffsetSeconds = orbicrop::capture::ParseUtcOffset(editUtcOffset->text().trimmed().toStdString());
    return chosen;
}

void TForm1::captureTimeChange()
{
    const QString pattern = editNameTime->text().trimmed();
    MarkValid(editNameTime, pattern.isEmpty() || orbicrop::capture::IsTimePattern(pattern.toStdString()));
    const QString offset = editUtcOffset->text().trimmed();
    MarkValid(editUtcOffset, offset.isEmpty() || orbicrop::capture::ParseUtcOffset(offset.toStdString()));
    restartTestTimer();
}
