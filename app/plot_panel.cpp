// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot_panel.h"

#include <QPainter>

#include <algorithm>
#include <utility>

PlotPanel::PlotPanel(QWidget* parent) : QWidget(parent) {}

void PlotPanel::setPlots(QImage drift, QImage quality)
{
    m_drift = std::move(drift);
    m_quality = std::move(quality);
    setToolTip(QString());
    update();
}

void PlotPanel::clear()
{
    setPlots(QImage(), QImage());
}

void PlotPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int gap = 4;
    const int half = (width() - gap) / 2;
    const QRect cells[] = {QRect(0, 0, half, height()), QRect(half + gap, 0, width() - half - gap, height())};
    const QImage* images[] = {&m_drift, &m_quality};
    for (int i = 0; i < 2; ++i) {
        const QImage& image = *images[i];
        if (image.isNull()) {
            painter.setPen(palette().color(QPalette::Mid));
            painter.drawRect(cells[i].adjusted(0, 0, -1, -1));
            continue;
        }
        const QSize size = image.size().scaled(cells[i].size(), Qt::KeepAspectRatio).boundedTo(image.size());
        const QRect target(cells[i].left() + (cells[i].width() - size.width()) / 2, cells[i].top(), size.width(),
                           size.height());
        painter.drawImage(target, image);
    }
}
