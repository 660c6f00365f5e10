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

namespace {
// The size the core draws its plots at.
constexpr QSize kPlotSize(640, 360);
constexpr int kCellGap = 4;
}   // namespace

int PlotPanel::heightSideBySide(int width)
{
    const int cell = std::max(0, (width - kCellGap) / 2);
    return std::min(kPlotSize.height(), cell * kPlotSize.height() / kPlotSize.width());
}

std::array<QRect, 2> PlotPanel::cells() const
{
    const QSize plot = m_drift.isNull() ? kPlotSize : m_drift.size();
    const auto scale = [&](int cellWidth, int cellHeight) {
        return std::min(double(cellWidth) / plot.width(), double(cellHeight) / plot.height());
    };
    if (scale((width() - kCellGap) / 2, height()) >= scale(width(), (height() - kCellGap) / 2)) {
        const int half = (width() - kCellGap) / 2;
        return {QRect(0, 0, half, height()), QRect(half + kCellGap, 0, width() - half - kCellGap, height())};
    }
    const int half = (height() - kCellGap) / 2;
    return {QRect(0, 0, width(), half), QRect(0, half + kCellGap, width(), height() - half - kCellGap)};
}

std::array<QRect, 2> PlotPanel::plotPlaces() const
{
    const std::array<QRect, 2> cell = cells();
    const QImage* images[] = {&m_drift, &m_quality};
    std::array<QRect, 2> places;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (images[i]->isNull())
            continue;
        const QSize size = images[i]->size().scaled(cell[i].size(), Qt::KeepAspectRatio).boundedTo(images[i]->size());
        places[i] =
            QRect(cell[i].left() + (cell[i].width() - size.width()) / 2, cell[i].top(), size.width(), size.height());
    }
    return places;
}

void PlotPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const std::array<QRect, 2> cell = cells();
    const std::array<QRect, 2> places = plotPlaces();
    const QImage* images[] = {&m_drift, &m_quality};
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (images[i]->isNull()) {
            painter.setPen(palette().color(QPalette::Mid));
            painter.drawRect(cell[i].adjusted(0, 0, -1, -1));
            continue;
        }
        painter.drawImage(places[i], *images[i]);
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
