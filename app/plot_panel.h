// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <array>

// A file's two plots, side by side or one above the other: how the planet drifted, and the quality
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
    // Where the drift plot and the quality plot are drawn in the panel,
    // scaled down to fit, never up; empty while there are none.
    std::array<QRect, 2> plotPlaces() const;
    // The height at which two plots side by side fill a panel this wide, no
    // taller than the plots are drawn.
    static int heightSideBySide(int width);

    // The window a click opens with both plots at their full size; null
    // before the first click.
    QWidget* fullSize() const { return m_fullSize; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // A click shows the plots at their full size in a window of their own:
    // the panel has room for the curves, not for their labels.
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage joined() const;   // side by side
    // The two cells the plots are fitted into, side by side or one above
    // the other, whichever shows them larger.
    std::array<QRect, 2> cells() const;

    QImage m_drift;
    QImage m_quality;
    QWidget* m_fullSize = nullptr;
    class QLabel* m_fullSizePicture = nullptr;
};
