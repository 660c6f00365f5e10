// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gauge.h"

#include <QPainter>

#include <algorithm>

TGauge::TGauge(QWidget* parent) : QWidget(parent) {}

void TGauge::setMinValue(std::int32_t value)
{
    m_min = value;
    clampProgress();
    update();
}

void TGauge::setMaxValue(std::int32_t value)
{
    m_max = value;
    clampProgress();
    update();
}

void TGauge::setProgress(std::int32_t value)
{
    m_progress = value;
    clampProgress();
    update();
}

void TGauge::clampProgress()
{
    // A maximum below the minimum (a file whose frame count is unknown)
    // leaves no range: the progress then stays at the minimum.
    m_progress = std::clamp(m_progress, m_min, std::max(m_min, m_max));
}

int TGauge::percent() const
{
    // 64 bits: the 32-bit operands of a long file would overflow when
    // multiplied by 100.
    const std::int64_t span = std::int64_t(m_max) - m_min;
    if (span <= 0)
        return 0;
    return int((std::int64_t(m_progress) - m_min) * 100 / span);
}

QString TGauge::text() const
{
    return QString::asprintf("%d%%", percent());
}

void TGauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(inner, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(frame);

    const std::int64_t span = std::int64_t(m_max) - m_min;
    const int filled = span <= 0 ? 0 : int((std::int64_t(m_progress) - m_min) * inner.width() / span);
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    painter.fillRect(bar, Qt::black);

    // The text reads black on the white part and white on the black part.
    const QString label = text();
    painter.setClipRect(inner);
    painter.drawText(inner, Qt::AlignCenter, label);
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, label);
}
