// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/log_view.h"

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Long lines (the outputs' paths) wrap, anywhere in a path, rather than
    // run out of the box.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The margin above the text is the log's own paper, not the window's
    // grey showing through a hole in it.
    setAutoFillBackground(true);
    QPalette paper = palette();
    paper.setColor(QPalette::Window, paper.color(QPalette::Base));
    setPalette(paper);
}

void LogView::setTextTop(int pixels)
{
    if (pixels != textTop())
        setViewportMargins(0, pixels, 0, 0);
}
