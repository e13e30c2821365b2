#include "ui/Dialog/selectwidget.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTimerEvent>
#include <QX11Info>

namespace {

const QColor kFrameColor(2, 160, 255);
constexpr int kOutset = 5;
constexpr qreal kBarLength = 32;
constexpr qreal kBarThickness = 4;

bool compositingManagerRunning()
{
    return QX11Info::isPlatformX11() && QX11Info::isCompositingManagerRunning();
}

} // namespace

SelectWidget::SelectWidget(QWidget* parent, Qt::WindowFlags f)
    : QAeroWidget(parent, f)
{
    setupWindow(3);
    setWindowTitle(QStringLiteral("Tavicast"));
    // Input goes to the windows beneath: the frame only shows what is being recorded.
    setWindowFlags(windowFlags() | Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput);
    setCursor(Qt::SizeAllCursor);
}

SelectWidget::~SelectWidget()
{
    if (m_timerId)
        killTimer(m_timerId);
}

std::array<QRectF, 8> SelectWidget::cornerBars(const QSize& size)
{
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal l = kBarLength;
    const qreal t = kBarThickness;
    return { QRectF(0, 0, l, t), QRectF(0, 0, t, l), QRectF(w - l, 0, l, t), QRectF(w - t, 0, t, l),
        QRectF(w - l, h - t, l, t), QRectF(w - t, h - l, t, l), QRectF(0, h - t, l, t),
        QRectF(0, h - l, t, l) };
}

void SelectWidget::setRect(const QRectF& area, int interval)
{
    const qreal q = qApp->devicePixelRatio();
    const QRectF logical(area.x() / q, area.y() / q, area.width() / q, area.height() / q);
    const QRect frame = logical.adjusted(-kOutset, -kOutset, kOutset, kOutset).toRect();
    setGeometry(frame);
    m_bars = cornerBars(frame.size());
    updateMask();

    if (m_timerId) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    if (interval > 0)
        m_timerId = startTimer(interval);
}

void SelectWidget::paintFrame(QPainter& painter)
{
    QPen dashed(QBrush(kFrameColor), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    dashed.setDashPattern({ 6, 10, 6, 10 });
    painter.setPen(dashed);
    painter.drawRect(QRect(QPoint(), size()).adjusted(4, 4, -4, -4));

    const QBrush previous = painter.brush();
    painter.setBrush(QBrush(kFrameColor));
    painter.setPen(QPen(kFrameColor));
    for (const QRectF& bar : m_bars)
        painter.drawRect(bar);
    painter.setBrush(previous);
}

void SelectWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter);
}

// Without a compositing manager the transparent pixels of the window would show black: the window is cut
// down to what the frame paints.
void SelectWidget::updateMask()
{
    if (compositingManagerRunning()) {
        clearMask();
        return;
    }
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintFrame(painter);
    }
    setMask(QBitmap::fromImage(image.createAlphaMask()));
}

void SelectWidget::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId) {
        QAeroWidget::timerEvent(event);
        return;
    }
    // Setting the same flags again changes nothing on Qt 5, and changing them hides the window: raising
    // brings the frame back over windows that came up since.
    raise();
}
