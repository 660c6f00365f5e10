// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/status_bar.h"

#include <QLabel>

#include <algorithm>

namespace {
constexpr int kFirstWidth = 50;
constexpr int kSecondWidth = 450;
}   // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    for (QLabel*& panel : m_panels) {
        panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setContentsMargins(2, 0, 2, 0);
    }
}

QString StatusBar::panelText(int panel) const
{
    return m_panels.at(std::size_t(panel))->text();
}

void StatusBar::setPanelText(int panel, const QString& text)
{
    m_panels.at(std::size_t(panel))->setText(text);
}

void StatusBar::resizeEvent(QResizeEvent*)
{
    const int h = height();
    m_panels[0]->setGeometry(0, 0, kFirstWidth, h);
    m_panels[1]->setGeometry(kFirstWidth, 0, kSecondWidth, h);
    m_panels[2]->setGeometry(kFirstWidth + kSecondWidth, 0, std::max(0, width() - kFirstWidth - kSecondWidth), h);
}
