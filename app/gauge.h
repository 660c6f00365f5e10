// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <cstdint>

// A horizontal progress bar that fills from the left, black on white within a
// one-pixel border, with the whole percentage as "%d%%" in its middle. The
// progress is clamped into [minimum, maximum] when it is set.
class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    std::int32_t minValue() const { return m_min; }
    std::int32_t maxValue() const { return m_max; }
    std::int32_t progress() const { return m_progress; }
    void setMinValue(std::int32_t value);
    void setMaxValue(std::int32_t value);
    void setProgress(std::int32_t value);

    // (progress - minimum) x 100 / (maximum - minimum), truncated toward
    // zero; 0 when maximum = minimum.
    int percent() const;
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void clampProgress();

    std::int32_t m_min = 0;
    std::int32_t m_max = 100;
    std::int32_t m_progress = 0;
};
