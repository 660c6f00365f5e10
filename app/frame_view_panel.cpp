// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frame_view_panel.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <vector>

FrameViewPanel::FrameViewPanel(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
}

void FrameViewPanel::showFrame(const FrameView& frame, const FrameOverlay& overlay, Detail detail)
{
    if (frame.data == nullptr || frame.width <= 0 || frame.height <= 0) {
        clear();
        return;
    }
    m_frameSize = QSize(frame.width, frame.height);
    // A running batch's frame is only glanced at: it is sampled straight
    // at the size it is shown at, which saves most of the copying and all of
    // the scaling of a large frame.
    const QSize kept = detail == Detail::Glance ? target().size().toSize().expandedTo(QSize(1, 1)) : m_frameSize;
    const int channels = frame.gray() ? 1 : 3;
    // A run shows frames of one size again and again: each picture is
    // written over the last one's, not allocated anew.
    const QImage::Format format = frame.gray() ? QImage::Format_Grayscale8 : QImage::Format_BGR888;
    if (m_frame.size() != kept || m_frame.format() != format)
        m_frame = QImage(kept, format);
    // Stored row 0 is the picture's bottom: the image is filled upside down.
    if (kept == m_frameSize) {
        const std::size_t rowBytes = std::size_t(frame.width) * std::size_t(frame.bytesPerPixel);
        for (std::int32_t r = 0; r < frame.height; ++r)
            std::memcpy(m_frame.scanLine(r), frame.row(frame.height - 1 - r), rowBytes);
    } else {
        std::vector<std::size_t> columns(std::size_t(kept.width()));
        for (int x = 0; x < kept.width(); ++x)
            columns[std::size_t(x)] =
                std::size_t(std::int64_t(x) * frame.width / kept.width()) * std::size_t(frame.bytesPerPixel);
        for (int r = 0; r < kept.height(); ++r) {
            const std::int32_t y = std::int32_t(std::int64_t(r) * frame.height / kept.height());
            const std::uint8_t* src = frame.row(frame.height - 1 - y);
            std::uint8_t* dst = m_frame.scanLine(r);
            for (std::size_t column : columns) {
                std::memcpy(dst, src + column, std::size_t(channels));
                dst += channels;
            }
        }
    }
    m_scaled = QImage();
    m_overlay = overlay;
    update();
}

void FrameViewPanel::clear()
{
    m_frame = QImage();
    m_frameSize = QSize();
    m_scaled = QImage();
    m_overlay = FrameOverlay();
    update();
}

QRectF FrameViewPanel::target() const
{
    const double w = m_frameSize.width();
    const double h = m_frameSize.height();
    if (w <= 0 || h <= 0)
        return {};
    const double scale = std::min({1.0, width() / w, height() / h});
    return {(width() - w * scale) / 2, (height() - h * scale) / 2, w * scale, h * scale};
}

void FrameViewPanel::paintEvent(QPaintEvent*)
{
    if (m_frame.isNull())
        return;
    QPainter painter(this);
    const QRectF target = this->target();
    const double w = m_frameSize.width();
    const double h = m_frameSize.height();
    const double scale = target.width() / w;
    // Scaled once per frame and size, not at every paint; a glanced frame
    // is kept at the size it is shown at.
    const QSize shown = target.size().toSize();
    if (m_scaled.size() != shown)
        m_scaled =
            m_frame.size() == shown ? m_frame : m_frame.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target.topLeft(), m_scaled);

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

QImage FrameViewPanel::CutOut(const FrameView& frame, std::int32_t left, std::int32_t bottom, std::int32_t width,
                              std::int32_t height)
{
    QImage picture(width, height, frame.gray() ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
    picture.fill(Qt::black);
    const std::int32_t x0 = std::max(left, 0);
    const std::int32_t x1 = std::min(left + width, frame.width);
    if (x0 >= x1)
        return picture;
    for (std::int32_t r = 0; r < height; ++r) {
        const std::int32_t y = bottom + height - 1 - r;   // the frame's row, from the bottom
        if (y < 0 || y >= frame.height)
            continue;
        std::memcpy(picture.scanLine(r) + std::size_t(x0 - left) * std::size_t(frame.bytesPerPixel),
                    frame.row(y) + std::size_t(x0) * std::size_t(frame.bytesPerPixel),
                    std::size_t(x1 - x0) * std::size_t(frame.bytesPerPixel));
    }
    return picture;
}
