// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

// A file's two plots side by side: how the planet drifted, and the quality
// curve. The core draws them (run/plots.h), as it does for the tool's
// --plots, so the window and the tool show the same pictures; this panel
// only scales them down to fit.
class PlotPanel : public QWidget {
    Q_OBJECT
public:
    explicit PlotPanel(QWidget* parent = nullptr);

    void setPlots(QImage drift, QImage quality);
    void clear();

    const QImage& drift() const { return m_drift; }
    const QImage& quality() const { return m_quality; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_drift;
    QImage m_quality;
};
