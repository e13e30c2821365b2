#include "media/painterwidget.h"

#include "media/colormatrix.h"
#include "media/rendergeometry.h"

#include <libyuv/convert_argb.h>
#include <libyuv/rotate.h>

#include <QMutexLocker>
#include <QPainter>
#include <QTimerEvent>

namespace {

constexpr int kRepaintIntervalMs = 40;

// The frame turned clockwise by 90, 180 or 270 degrees into a new frame of `size` (rounded down as
// libyuv's rotation needs), taken from the source's top-left part; empty when it cannot be made.
I420FramePtr rotated(const I420Frame& frame, int rotation, QSize size)
{
    const auto dw = uint32_t(size.width());
    const auto dh = uint32_t(size.height());
    I420FramePtr dest = I420Frame::create(dw, dw / 2, dw / 2, dw, dh);
    if (!dest)
        return nullptr;
    const bool quarter = rotation == 90 || rotation == 270;
    const int sourceWidth = int(quarter ? dh : dw);
    const int sourceHeight = int(quarter ? dw : dh);
    const auto mode = static_cast<libyuv::RotationMode>(rotation);
    if (libyuv::I420Rotate(frame.dataY(), int(frame.strideY()), frame.dataU(), int(frame.strideU()),
            frame.dataV(), int(frame.strideV()), dest->dataY(), int(dest->strideY()), dest->dataU(),
            int(dest->strideU()), dest->dataV(), int(dest->strideV()), sourceWidth, sourceHeight, mode)
        != 0)
        return nullptr;
    return dest;
}

} // namespace

PainterWidget::PainterWidget(QWidget* parent)
    : QWidget(parent)
{
    m_timerId = startTimer(kRepaintIntervalMs, Qt::CoarseTimer);
}

PainterWidget::~PainterWidget()
{
    killTimer(m_timerId);
    QMutexLocker lock(&m_mutex);
    m_image = QImage();
}

QImage PainterWidget::image() const
{
    QMutexLocker lock(&m_mutex);
    return m_image.copy();
}

bool PainterWidget::setFrame(I420FramePtr frame)
{
    if (!frame || !frame->data || frame->width == 0 || frame->height == 0) {
        QMutexLocker lock(&m_mutex);
        m_image = QImage();
        return true;
    }
    const int rotation = normalizedRotation(frame->rotation);
    if (rotation == 90 || rotation == 180 || rotation == 270) {
        const QSize size = painterPictureSize(frame->width, frame->height, rotation);
        frame = size.isEmpty() ? nullptr : rotated(*frame, rotation, size);
        if (!frame) {
            QMutexLocker lock(&m_mutex);
            m_image = QImage();
            return true;
        }
    }
    const int w = int(frame->width);
    const int h = int(frame->height);

    QMutexLocker lock(&m_mutex);
    if (m_image.width() != w || m_image.height() != h) {
        m_image = QImage(w, h, QImage::Format_ARGB32);
        m_image.fill(Qt::black);
    }
    // An image that cannot be allocated stays null and shows black.
    if (m_image.isNull())
        return true;
    libyuv::I420ToARGBMatrix(frame->dataY(), int(frame->strideY()), frame->dataU(), int(frame->strideU()),
        frame->dataV(), int(frame->strideV()), m_image.bits(), int(m_image.bytesPerLine()),
        kBt601LimitedRange.libyuvConstants, w, h);
    return true;
}

void PainterWidget::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId) {
        QWidget::timerEvent(event);
        return;
    }
    update();
}

void PainterWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QMutexLocker lock(&m_mutex);
    painter.fillRect(rect(), Qt::black);
    if (m_image.isNull())
        return;
    painter.drawImage(painterTargetRect(m_image.size(), size()), m_image);
}
