// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

PlotPanel::PlotPanel(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void PlotPanel::setPlots(QImage drift, QImage quality)
{
    m_drift = std::move(drift);
    m_quality = std::move(quality);
    setToolTip(m_drift.isNull() ? QString() : QStringLiteral("Click to see the plots at their full size"));
    if (m_fullSizePicture != nullptr)
        m_fullSizePicture->setPixmap(QPixmap::fromImage(joined()));
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
    // Side by side or one above the other, whichever shows the plots larger.
    const int gap = 4;
    const QSize plot = m_drift.isNull() ? QSize(16, 9) : m_drift.size();
    const auto scale = [&](int cellWidth, int cellHeight) {
        return std::min(double(cellWidth) / plot.width(), double(cellHeight) / plot.height());
    };
    QRect cells[2];
    if (scale((width() - gap) / 2, height()) >= scale(width(), (height() - gap) / 2)) {
        const int half = (width() - gap) / 2;
        cells[0] = QRect(0, 0, half, height());
        cells[1] = QRect(half + gap, 0, width() - half - gap, height());
    } else {
        const int half = (height() - gap) / 2;
        cells[0] = QRect(0, 0, width(), half);
        cells[1] = QRect(0, half + gap, width(), height() - half - gap);
    }
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

QImage PlotPanel::joined() const
{
    if (m_drift.isNull() || m_quality.isNull())
        return {};
    constexpr int gap = 8;
    QImage both(m_drift.width() + gap + m_quality.width(), std::max(m_drift.height(), m_quality.height()),
                QImage::Format_RGB32);
    both.fill(Qt::white);
    QPainter painter(&both);
    painter.drawImage(0, 0, m_drift);
    painter.drawImage(m_drift.width() + gap, 0, m_quality);
    return both;
}

void PlotPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_drift.isNull())
        return;
    if (m_fullSize == nullptr) {
        m_fullSize = new QWidget(this, Qt::Window);
        m_fullSize->setWindowTitle(QStringLiteral("Drift and quality"));
        auto* layout = new QHBoxLayout(m_fullSize);
        m_fullSizePicture = new QLabel(m_fullSize);
        layout->addWidget(m_fullSizePicture);
    }
    m_fullSizePicture->setPixmap(QPixmap::fromImage(joined()));
    m_fullSize->show();
    m_fullSize->raise();
}
