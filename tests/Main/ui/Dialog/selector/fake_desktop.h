#pragma once

#include "win/screengrabber.h"

#include <QPainter>
#include <QPixmap>

// A 1600 x 900 picture as the whole desktop, whose left edge lies at x = -1920: as if a second monitor stood
// left of the primary one. Colours: a gradient, so that cut-outs can be told apart.
class FakeDesktop {
public:
    static constexpr int kX = -1920;

    explicit FakeDesktop(const QSize& size = QSize(1600, 900))
    {
        QPixmap shot(size);
        QPainter painter(&shot);
        for (int x = 0; x < size.width(); x += 10)
            painter.fillRect(x, 0, 10, size.height(), QColor(x * 255 / size.width(), 128, 200));
        painter.end();
        ScreenGrabber::setFake({ QRect(QPoint(kX, 0), size), shot });
    }
    ~FakeDesktop() { ScreenGrabber::clearFake(); }
};
