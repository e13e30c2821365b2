#include <framelessdrive/windowdriver.h>

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace frameless {

int sizingEdgeFlags(int sizingEdge)
{
    static constexpr int flags[] = {
        0,
        LeftEdge,
        RightEdge,
        TopEdge,
        TopEdge | LeftEdge,
        TopEdge | RightEdge,
        BottomEdge,
        BottomEdge | LeftEdge,
        BottomEdge | RightEdge,
    };
    return sizingEdge >= WMSZ_LEFT && sizingEdge <= WMSZ_BOTTOMRIGHT ? flags[sizingEdge] : 0;
}

int sizingEdgeForHit(int hitCode)
{
    // The resize hit codes run in the same order as the sizing edges, nine apart.
    return hitCode >= HTLEFT && hitCode <= HTBOTTOMRIGHT ? hitCode - (HTLEFT - WMSZ_LEFT) : 0;
}

Qt::Edges qtEdges(int edgeFlags)
{
    Qt::Edges edges;
    if (edgeFlags & TopEdge)
        edges |= Qt::TopEdge;
    if (edgeFlags & BottomEdge)
        edges |= Qt::BottomEdge;
    if (edgeFlags & LeftEdge)
        edges |= Qt::LeftEdge;
    if (edgeFlags & RightEdge)
        edges |= Qt::RightEdge;
    return edges;
}

Qt::CursorShape cursorForHit(int hitCode)
{
    switch (hitCode) {
    case HTLEFT:
    case HTRIGHT:
        return Qt::SizeHorCursor;
    case HTTOP:
    case HTBOTTOM:
        return Qt::SizeVerCursor;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return Qt::SizeFDiagCursor;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

QRect resizedRect(const QRect& start, int edgeFlags, QPoint delta, QSize minimum, QSize maximum)
{
    const int minW = std::max(1, minimum.width());
    const int minH = std::max(1, minimum.height());
    const int maxW = std::max(minW, maximum.width());
    const int maxH = std::max(minH, maximum.height());
    QRect rect = start;
    if (edgeFlags & LeftEdge) {
        const int width = std::clamp(start.width() - delta.x(), minW, maxW);
        rect.setLeft(start.right() - width + 1);
    } else if (edgeFlags & RightEdge) {
        rect.setWidth(std::clamp(start.width() + delta.x(), minW, maxW));
    }
    if (edgeFlags & TopEdge) {
        const int height = std::clamp(start.height() - delta.y(), minH, maxH);
        rect.setTop(start.bottom() - height + 1);
    } else if (edgeFlags & BottomEdge) {
        rect.setHeight(std::clamp(start.height() + delta.y(), minH, maxH));
    }
    return rect;
}

WindowDriver::WindowDriver(QWidget* widget, Hooks hooks)
    : m_widget(widget)
    , m_hooks(std::move(hooks))
{
}

bool WindowDriver::windowEvent(QEvent* event)
{
    if (!m_widget || !m_hooks.hitTest)
        return false;
    const auto& mouse = static_cast<const QMouseEvent&>(*event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return mousePress(mouse);
    case QEvent::MouseMove:
        return mouseMove(mouse);
    case QEvent::MouseButtonRelease:
        return mouseRelease(mouse);
    case QEvent::MouseButtonDblClick:
        return doubleClick(mouse);
    default:
        return false;
    }
}

bool WindowDriver::mousePress(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || m_widget->isMaximized() || m_widget->isFullScreen())
        return false;
    const QPoint global = event.globalPos();
    const int hit = m_hooks.hitTest(global);
    const int edge = sizingEdgeForHit(hit);
    QWindow* window = m_widget->windowHandle();
    if (edge != 0) {
        if (window && window->startSystemResize(qtEdges(sizingEdgeFlags(edge)))) {
            m_drag = Drag::SystemResize;
            if (m_hooks.resizeStep)
                m_hooks.resizeStep();
            return true;
        }
        m_drag = Drag::Resize;
        m_dragEdge = edge;
    } else if (hit == HTCAPTION && !(m_hooks.isOnButton && m_hooks.isOnButton(global))) {
        if (window && window->startSystemMove())
            return true;
        m_drag = Drag::Move;
    } else {
        return false;
    }
    // No move or resize from the window system: do it by hand.
    m_pressGlobal = global;
    m_startPos = m_widget->pos();
    m_startGeometry = m_widget->geometry();
    return true;
}

bool WindowDriver::mouseMove(const QMouseEvent& event)
{
    const QPoint global = event.globalPos();
    if (m_drag == Drag::SystemResize && event.buttons() == Qt::NoButton)
        endSystemResize();
    if (m_drag == Drag::None || m_drag == Drag::SystemResize) {
        if (event.buttons() == Qt::NoButton)
            updateCursor(m_hooks.hitTest(global));
        return false;
    }
    const QPoint delta = global - m_pressGlobal;
    if (m_drag == Drag::Move) {
        m_widget->move(m_startPos + delta);
        return true;
    }
    QRect rect = resizedRect(m_startGeometry, sizingEdgeFlags(m_dragEdge), delta, m_widget->minimumSize(),
        m_widget->maximumSize());
    if (m_hooks.sizing)
        m_hooks.sizing(m_dragEdge, &rect);
    m_widget->setGeometry(rect);
    if (m_hooks.resizeStep)
        m_hooks.resizeStep();
    return true;
}

bool WindowDriver::mouseRelease(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton)
        return false;
    switch (m_drag) {
    case Drag::None:
        return false;
    case Drag::SystemResize:
        endSystemResize();
        return false;
    case Drag::Resize:
        m_drag = Drag::None;
        if (m_hooks.resizeEnd)
            m_hooks.resizeEnd();
        return true;
    case Drag::Move:
        m_drag = Drag::None;
        return true;
    }
    return false;
}

bool WindowDriver::doubleClick(const QMouseEvent& event)
{
    if (!m_hooks.doubleClickMaximizes || event.button() != Qt::LeftButton)
        return false;
    const QPoint global = event.globalPos();
    if (m_hooks.hitTest(global) != HTCAPTION || (m_hooks.isOnButton && m_hooks.isOnButton(global)))
        return false;
    if (m_widget->isMaximized())
        m_widget->showNormal();
    else
        m_widget->showMaximized();
    return true;
}

void WindowDriver::endSystemResize()
{
    m_drag = Drag::None;
    if (m_hooks.resizeEnd)
        m_hooks.resizeEnd();
}

void WindowDriver::updateCursor(int hitCode)
{
    if (sizingEdgeForHit(hitCode) != 0) {
        m_widget->setCursor(cursorForHit(hitCode));
        m_cursorSet = true;
    } else if (m_cursorSet) {
        m_widget->unsetCursor();
        m_cursorSet = false;
    }
}

} // namespace frameless
