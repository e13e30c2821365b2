#pragma once

// The rectangle arithmetic of the screen-area selector, free of widgets. Overlay pixels are the selector's
// own logical coordinates with the origin at the virtual desktop's top-left; physical pixels are overlay
// pixels times the overlay's device-pixel ratio.

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

#include <Qt>
#include <array>

namespace selectorgeometry {

// Where a point lies against the selection: the drag that a press there starts.
enum Direction {
    TopLeft = 0,
    Top = 1,
    TopRight = 2,
    Right = 3,
    BottomRight = 4,
    Bottom = 5,
    BottomLeft = 6,
    Left = 7,
    Inside = 8,
    Outside = 17,
};

constexpr qreal kHitTolerance = 5;
constexpr qreal kHandleSize = 4;
constexpr qreal kMinWidth = 100;
constexpr qreal kMinHeight = 80;
constexpr int kMenuGap = 4;

int hitTest(const QRectF& selection, const QPointF& point);
Qt::CursorShape cursorFor(int direction);

// The selection after a drag by `delta` from `direction`, not yet limited.
QRectF dragStep(const QRectF& selection, int direction, const QPointF& delta);
// Keeps a candidate inside `bounds`; only a candidate that leaves them is grown to the minimum size.
QRectF limited(const QRectF& candidate, const QRectF& bounds);

// Eight squares centred on the corners and edge middles, clockwise from the top-left corner.
std::array<QRectF, 8> handles(const QRectF& selection);

// Top-left of the tool bar: below the selection when it fits, else inside above its bottom edge.
QPoint menuPosition(const QRectF& selection, const QSize& menuSize, int overlayHeight);

// The selection with a new size, moved back inside the overlay where it would pass its bottom or right.
QRectF resized(const QRectF& selection, int width, int height, const QSize& overlay);

// The confirmed selection in physical desktop pixels.
QRect physicalArea(const QRectF& selection, qreal ratio, const QRect& virtualDesktop);
// Where the selection starts: the previous area (physical desktop pixels), or `fallback` when there is none.
QRectF startSelection(
    const QRectF& previous, const QRect& virtualDesktop, qreal ratio, const QRectF& fallback);

// The selection's position and size in physical pixels, as the information box shows them.
QRectF physicalSource(const QRectF& selection, qreal ratio);
QRect infoBox(const QRectF& selection, qreal scale, int overlayWidth);
QString infoText(const QRectF& source, const QString& pattern);

// The size presets ("W" "x" "H") that fit the desktop, after the leading custom entry.
QStringList fittingPresets(const QStringList& sizes, const QSize& desktop);
// Multiplies every "<digits>px;" by `scale`, at scale 1 too.
QString scaledStyleSheet(const QString& styleSheet, qreal scale);

} // namespace selectorgeometry
