// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <array>

class QLabel;

// Three text panels along the window's bottom edge: 50 and 450 pixels wide,
// the third taking the rest.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 3;

    explicit StatusBar(QWidget* parent = nullptr);

    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::array<QLabel*, kPanelCount> m_panels{};
};
