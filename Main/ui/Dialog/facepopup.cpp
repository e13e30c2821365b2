#include "ui/Dialog/facepopup.h"

#include <algorithm>

namespace facepopup {

QPoint popupPosition(const QPoint& point, const QPoint& offset, const QSize& size, const QRect& screen)
{
    int x = offset.x() + point.x();
    int y = offset.y() + point.y() - size.height();
    if (screen.isValid()) {
        // Right and bottom first, so that a picker larger than the screen keeps its top-left corner on it.
        x = std::max(screen.left(), std::min(x, screen.x() + screen.width() - size.width()));
        y = std::max(screen.top(), std::min(y, screen.y() + screen.height() - size.height()));
    }
    return { x, y };
}

} // namespace facepopup
