#include "ui/Dialog/selectorgeometry.h"

#include <QRegularExpression>

#include <iterator>

namespace selectorgeometry {

int hitTest(const QRectF& s, const QPointF& p)
{
    const qreal t = kHitTolerance;
    const bool nearby
        = s.left() - t < p.x() && p.x() < s.right() + t && s.top() - t < p.y() && p.y() < s.bottom() + t;
    if (!nearby)
        return Outside;
    const bool topBand = p.y() < s.top() + t;
    const bool bottomBand = p.y() > s.bottom() - t;
    if (p.x() < s.left() + t)
        return topBand ? TopLeft : bottomBand ? BottomLeft : Left;
    if (p.x() > s.right() - t)
        return topBand ? TopRight : bottomBand ? BottomRight : Right;
    if (topBand)
        return Top;
    if (bottomBand)
        return Bottom;
    return s.contains(p) ? Inside : Outside;
}

Qt::CursorShape cursorFor(int direction)
{
    static const Qt::CursorShape shapes[] = { Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor,
        Qt::SizeHorCursor, Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor,
        Qt::OpenHandCursor };
    if (direction < 0 || direction >= int(std::size(shapes)))
        return Qt::ArrowCursor;
    return shapes[direction];
}

QRectF dragStep(const QRectF& selection, int direction, const QPointF& d)
{
    QRectF r = selection;
    switch (direction) {
    case TopLeft:
        r.setTopLeft(r.topLeft() + d);
        break;
    case Top:
        r.setTop(r.top() + d.y());
        break;
    case TopRight:
        r.setTopRight(r.topRight() + d);
        break;
    case Right:
        r.setRight(r.right() + d.x());
        break;
    case BottomRight:
        r.setBottomRight(r.bottomRight() + d);
        break;
    case Bottom:
        r.setBottom(r.bottom() + d.y());
        break;
    case BottomLeft:
        r.setBottomLeft(r.bottomLeft() + d);
        break;
    case Left:
        r.setLeft(r.left() + d.x());
        break;
    case Inside:
        r.translate(d);
        break;
    default:
        break;
    }
    return r;
}

QRectF limited(const QRectF& r, const QRectF& bounds)
{
    QRectF n = r.normalized();
    if (bounds.contains(n))
        return n;
    // Sizes, bottom and right come from the candidate as given, top and left from the normalised one.
    if (r.width() > bounds.width())
        n.setWidth(bounds.width());
    if (r.height() > bounds.height())
        n.setHeight(bounds.height());
    if (r.width() < kMinWidth)
        n.setWidth(kMinWidth);
    if (r.height() < kMinHeight)
        n.setHeight(kMinHeight);
    if (n.top() < bounds.top())
        n.moveTop(bounds.top());
    if (n.left() < bounds.left())
        n.moveLeft(bounds.left());
    if (r.bottom() > bounds.bottom())
        n.moveBottom(bounds.bottom());
    if (r.right() > bounds.right())
        n.moveRight(bounds.right());
    return n;
}

std::array<QRectF, 8> handles(const QRectF& s)
{
    const QPointF centres[]
        = { s.topLeft(), { s.center().x(), s.top() }, s.topRight(), { s.right(), s.center().y() },
              s.bottomRight(), { s.center().x(), s.bottom() }, s.bottomLeft(), { s.left(), s.center().y() } };
    std::array<QRectF, 8> squares;
    for (size_t i = 0; i < squares.size(); ++i) {
        squares[i] = QRectF(0, 0, kHandleSize, kHandleSize);
        squares[i].moveCenter(centres[i]);
    }
    return squares;
}

QPoint menuPosition(const QRectF& selection, const QSize& menuSize, int overlayHeight)
{
    const int h = menuSize.height();
    const int bottom = int(selection.bottom());
    int y = h + kMenuGap > int(overlayHeight - bottom) ? bottom - h - kMenuGap : bottom + kMenuGap;
    if (y < 0)
        y = int(selection.top()) + kMenuGap;
    const int x = int(selection.right() - menuSize.width() - kMenuGap);
    return QPoint(x, y);
}

QRectF resized(const QRectF& selection, int width, int height, const QSize& overlay)
{
    QRectF r(selection.topLeft(), QSizeF(width, height));
    const int below = int(r.bottom() - overlay.height());
    if (below >= 1)
        r.translate(0, -below);
    const int beyond = int(r.right() - overlay.width());
    if (beyond >= 1)
        r.translate(-beyond, 0);
    return r;
}

QRect physicalArea(const QRectF& s, qreal ratio, const QRect& virtualDesktop)
{
    QRect area(int(s.x() * ratio), int(s.y() * ratio), int(s.width() * ratio), int(s.height() * ratio));
    area.moveTo(virtualDesktop.x() + area.x(), virtualDesktop.y() + area.y());
    return area;
}

QRectF startSelection(
    const QRectF& previous, const QRect& virtualDesktop, qreal ratio, const QRectF& fallback)
{
    if (previous.isNull())
        return fallback;
    QRectF r = previous.toRect().translated(-virtualDesktop.x(), -virtualDesktop.y());
    if (ratio != 1.0)
        r = QRectF(r.x() / ratio, r.y() / ratio, r.width() / ratio, r.height() / ratio);
    return r;
}

QRectF physicalSource(const QRectF& s, qreal ratio)
{
    return QRectF(s.x() * ratio, s.y() * ratio, s.width() * ratio, s.height() * ratio);
}

QRect infoBox(const QRectF& s, qreal scale, int overlayWidth)
{
    const int width = int(200 * scale);
    const int height = int(72 * scale);
    int x = int(s.x());
    if (x + width > overlayWidth)
        x = overlayWidth - width;
    const int y = s.y() > height ? int(s.y() - height) : int(s.y());
    return QRect(x, y, width, height);
}

QString infoText(const QRectF& source, const QString& pattern)
{
    return pattern.arg(source.x(), 3, 'g', -1)
        .arg(source.y(), 3, 'g', -1)
        .arg(source.width(), 0, 'g', -1)
        .arg(source.height(), 0, 'g', -1);
}

QStringList fittingPresets(const QStringList& sizes, const QSize& desktop)
{
    QStringList fitting;
    for (int i = 0; i < sizes.size(); ++i) {
        if (i == 0) {
            fitting << sizes[i];
            continue;
        }
        const QStringList parts = sizes[i].split(QLatin1Char('x'));
        if (parts.size() != 2)
            continue;
        bool wOk = false;
        bool hOk = false;
        const int w = parts[0].toInt(&wOk);
        const int h = parts[1].toInt(&hOk);
        if (wOk && hOk && w <= desktop.width() && h <= desktop.height())
            fitting << sizes[i];
    }
    return fitting;
}

QString scaledStyleSheet(const QString& styleSheet, qreal scale)
{
    static const QRegularExpression px(QStringLiteral("(\\d+)px;"));
    QString out;
    int from = 0;
    for (auto it = px.globalMatch(styleSheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += styleSheet.midRef(from, m.capturedStart() - from);
        out += QString::number(m.captured(1).toDouble() * scale, 'g', 6) + QStringLiteral("px;");
        from = m.capturedEnd();
    }
    out += styleSheet.midRef(from);
    return out;
}

} // namespace selectorgeometry
