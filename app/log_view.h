// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>

// The log. Its box may reach under a sibling that stands over its top right
// (the help box beside its described place): the text then starts below that
// sibling, across the whole width, and the corner left of it stays blank
// paper. Read-only; long lines wrap anywhere in a path.
class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr);

    // Pixels from the box's top to its text's; 0: the text fills the box.
    void setTextTop(int pixels);
    int textTop() const { return viewportMargins().top(); }
};
