#pragma once

// Placement arithmetic of the emoticon picker, free of widgets. All points are global (virtual
// desktop) coordinates; a screen may lie anywhere on the desktop, left of or above the origin too.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace facepopup {

// Top-left corner of a picker of `size` whose bottom edge sits on `point` moved by `offset`, then pushed
// back inside `screen` (its full rectangle) where it would stick out; where it cannot fit, its left and top
// edges stay on the screen. An invalid screen leaves the point where it is.
QPoint popupPosition(const QPoint& point, const QPoint& offset, const QSize& size, const QRect& screen);

} // namespace facepopup
