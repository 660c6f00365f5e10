// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/run_report.h"
#include "image/frame_view.h"

#include <QImage>
#include <QWidget>

// The whole frame a test or a view last measured, with what the core found
// in it: the output window as a box, the centre as a cross, the object's
// extent as an ellipse, and in red why the frame would be dropped. The frame
// is scaled down to fit, never up, so that the marks stay where they are
// measured from.
class FrameViewPanel : public QWidget {
    Q_OBJECT
public:
    explicit FrameViewPanel(QWidget* parent = nullptr);

    // Every pixel, or (a frame of a running batch) as many as the panel shows.
    enum class Detail { Full, Glance };
    // The frame is copied: the core's pixels are gone once its call returns.
    void showFrame(const FrameView& frame, const FrameOverlay& overlay, Detail detail = Detail::Full);
    void clear();

    const QImage& frame() const { return m_frame; }
    // A part of a frame as a picture, top row first; black outside the frame.
    static QImage CutOut(const FrameView& frame, std::int32_t left, std::int32_t bottom, std::int32_t width,
                         std::int32_t height);
    const FrameOverlay& overlay() const { return m_overlay; }

    static constexpr QRgb kBoxColour = 0xff00ff00;
    static constexpr QRgb kCentreColour = 0xff00ffff;
    static constexpr QRgb kExtentColour = 0xffff00ff;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Where the frame is drawn: scaled to fit, never enlarged, centred.
    QRectF target() const;

    QSize m_frameSize;   // in the frame's own pixels
    QImage m_frame;      // top row first: every pixel, or those a glance shows
    QImage m_scaled;     // as painted last
    FrameOverlay m_overlay;
};
