// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frame_view_panel.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

FrameViewPanel::FrameViewPanel(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
}

void FrameViewPanel::showFrame(const FrameView& frame, const FrameOverlay& overlay)
{
    if (frame.data == nullptr || frame.width <= 0 || frame.height <= 0) {
        clear();
        return;
    }
    QImage image(frame.width, frame.height, frame.gray() ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
    const std::size_t rowBytes = std::size_t(frame.width) * std::size_t(frame.bytesPerPixel);
    // Stored row 0 is the picture's bottom: the image is filled upside down.
    for (std::int32_t r = 0; r < frame.height; ++r)
        std::memcpy(image.scanLine(r), frame.row(frame.height - 1 - r), rowBytes);
    m_frame = std::move(image);
    m_overlay = overlay;
    update();
}

void FrameViewPanel::clear()
{
    m_frame = QImage();
    m_overlay = FrameOverlay();
    update();
}

void FrameViewPanel::paintEvent(QPaintEvent*)
{
    if (m_frame.isNull())
        return;
    QPainter painter(this);
    const double w = m_frame.width();
    const double h = m_frame.height();
    const double scale = std::min({1.0, width() / w, height() / h});
    const QRectF target((width() - w * scale) / 2, (height() - h * scale) / 2, w * scale, h * scale);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_frame);

    // Frame coordinates count rows from the bottom; the picture's from the top.
    const auto place = [&](double x, double yTop) {
        return QPointF(target.left() + x * scale, target.top() + yTop * scale);
    };
    const FrameOverlay& o = m_overlay;
    if (o.cropWidth > 0 && o.cropHeight > 0) {
        const QPointF topLeft = place(o.cropLeft, h - o.cropBottom - o.cropHeight);
        const QPointF bottomRight = place(o.cropLeft + o.cropWidth, h - o.cropBottom);
        painter.setPen(QPen(QColor::fromRgb(kBoxColour), 0));
        painter.drawRect(QRectF(topLeft, bottomRight - QPointF(1, 1)).toRect());
    }
    if (o.found) {
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = place(o.centerX + 0.5, h - 1 - o.centerY + 0.5);
        painter.setPen(QPen(QColor::fromRgb(kExtentColour), 0));
        painter.drawEllipse(centre, std::max(1.0, o.radiusX * scale), std::max(1.0, o.radiusY * scale));
        painter.setPen(QPen(QColor::fromRgb(kCentreColour), 0));
        const double arm = 5;
        painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
        painter.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
    }
    if (!o.outcome.empty()) {
        QFont font = painter.font();
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::red);
        painter.drawText(rect().adjusted(4, 4, -4, -4), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(o.outcome));
    }
}
