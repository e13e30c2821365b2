#pragma once

// The shared test pattern as a desktop window, for tests that capture the screen.

#include <capture/testpattern.h>

#include <QImage>
#include <QPainter>
#include <QWidget>

class TestPatternWindow : public QWidget {
public:
    explicit TestPatternWindow(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        setWindowTitle(QStringLiteral("Test pattern"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void setNumber(uint32_t number)
    {
        m_number = number;
        update();
    }
    uint32_t number() const { return m_number; }

    // The picture at a size, as the window paints it (QImage's RGB32 is B, G, R, X in memory).
    static QImage picture(int width, int height, uint32_t number)
    {
        QImage image(width, height, QImage::Format_RGB32);
        capture::testpattern::drawBgrx(image.bits(), image.bytesPerLine(), width, height, number);
        return image;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, picture(width(), height(), m_number));
    }

private:
    uint32_t m_number = 0;
};
