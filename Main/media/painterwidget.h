#pragma once

#include "media/i420frame.h"

#include <QImage>
#include <QMutex>
#include <QWidget>

// Draws the latest I420 frame by converting it on the CPU (libyuv, BT.601 limited range) into an image
// that it paints fitted into the widget, keeping the aspect ratio, centred, on black. The frame's rotation
// (clockwise) is applied during the conversion. setFrame may be called from any thread: it converts under
// the mutex that paintEvent holds while it draws. The widget repaints every 40 ms on the GUI thread.
class PainterWidget : public QWidget {
    Q_OBJECT
public:
    explicit PainterWidget(QWidget* parent = nullptr);
    ~PainterWidget() override;

    // Converts `frame` into the widget's image (an empty pointer or an empty frame clears it); true.
    bool setFrame(I420FramePtr frame);
    // A copy of the converted picture (null before the first frame); any thread.
    QImage image() const;

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    mutable QMutex m_mutex;
    QImage m_image;
    int m_timerId = 0;
};
