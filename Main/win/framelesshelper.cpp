#include "win/framelesshelper.h"

#include "win/nativeeventfilter.h"
#include "win/resizeinterface.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace frameless {

int sizingEdgeFlags(int sizingEdge)
{
    static constexpr int flags[] = {
        0,
        ResizeInterface::LeftEdge,
        ResizeInterface::RightEdge,
        ResizeInterface::TopEdge,
        ResizeInterface::TopEdge | ResizeInterface::LeftEdge,
        ResizeInterface::TopEdge | ResizeInterface::RightEdge,
        ResizeInterface::BottomEdge,
        ResizeInterface::BottomEdge | ResizeInterface::LeftEdge,
        ResizeInterface::BottomEdge | ResizeInterface::RightEdge,
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
    if (edgeFlags & ResizeInterface::TopEdge)
        edges |= Qt::TopEdge;
    if (edgeFlags & ResizeInterface::BottomEdge)
        edges |= Qt::BottomEdge;
    if (edgeFlags & ResizeInterface::LeftEdge)
        edges |= Qt::LeftEdge;
    if (edgeFlags & ResizeInterface::RightEdge)
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
    if (edgeFlags & ResizeInterface::LeftEdge) {
        const int width = std::clamp(start.width() - delta.x(), minW, maxW);
        rect.setLeft(start.right() - width + 1);
    } else if (edgeFlags & ResizeInterface::RightEdge) {
        rect.setWidth(std::clamp(start.width() + delta.x(), minW, maxW));
    }
    if (edgeFlags & ResizeInterface::TopEdge) {
        const int height = std::clamp(start.height() - delta.y(), minH, maxH);
        rect.setTop(start.bottom() - height + 1);
    } else if (edgeFlags & ResizeInterface::BottomEdge) {
        rect.setHeight(std::clamp(start.height() + delta.y(), minH, maxH));
    }
    return rect;
}

} // namespace frameless

using namespace frameless;

FramelessHelper::FramelessHelper(QWidget* widget, ResizeInterface* resize)
    : QObject(widget)
    , m_widget(widget)
    , m_resize(resize)
{
    if (widget && widget->windowFlags().testFlag(Qt::FramelessWindowHint))
        widget->installEventFilter(this);
}

FramelessHelper::~FramelessHelper()
{
    // Only the registered helper gives the window up; a second helper of the same window never held it.
    if (m_window && NativeEventFilter::helper(m_window) == this)
        NativeEventFilter::setHelper(m_window, nullptr);
}

bool FramelessHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WinIdChange && m_widget) {
        m_widget->removeEventFilter(this);
        m_window = m_widget->windowHandle();
        NativeEventFilter::setHelper(m_window, this);
    }
    return QObject::eventFilter(watched, event);
}

QWindow* FramelessHelper::window() const { return m_window; }

int FramelessHelper::hitTest(int x, int y) const
{
    if (!m_resize)
        return HTCLIENT;
    const QPoint point(x, y);
    const bool left = m_resize->isOnLeftEdge(point);
    const bool top = m_resize->isOnTopEdge(point);
    const bool right = m_resize->isOnRightEdge(point);
    const bool bottom = m_resize->isOnBottomEdge(point);

    if (left && top)
        return HTTOPLEFT;
    if (left && bottom)
        return HTBOTTOMLEFT;
    if (right && top)
        return HTTOPRIGHT;
    if (right && bottom)
        return HTBOTTOMRIGHT;
    if (left)
        return HTLEFT;
    if (top)
        return HTTOP;
    if (right)
        return HTRIGHT;
    if (bottom)
        return HTBOTTOM;
    return m_resize->isOnCaption(point) ? HTCAPTION : HTCLIENT;
}

bool FramelessHelper::sizing(int sizingEdge, QRect* rect) const
{
    if (!m_resize)
        return false;
    const int flags = sizingEdgeFlags(sizingEdge);
    if (flags == 0 || !rect)
        return true;
    long top = rect->top();
    long bottom = rect->top() + rect->height();
    long left = rect->left();
    long right = rect->left() + rect->width();
    m_resize->onSizing(flags, &top, &bottom, &left, &right);
    *rect = QRect(int(left), int(top), int(right - left), int(bottom - top));
    return true;
}

bool FramelessHelper::windowEvent(QEvent* event)
{
    if (!m_resize || !m_widget)
        return false;
    const auto& mouse = static_cast<const QMouseEvent&>(*event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return mousePress(mouse);
    case QEvent::MouseMove:
        return mouseMove(mouse);
    case QEvent::MouseButtonRelease:
        if (m_drag == Drag::None || mouse.button() != Qt::LeftButton)
            return false;
        m_drag = Drag::None;
        return true;
    default:
        return false;
    }
}

bool FramelessHelper::mousePress(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || m_widget->isMaximized() || m_widget->isFullScreen())
        return false;
    const QPoint global = event.globalPos();
    const int hit = hitTest(global.x(), global.y());
    const int edge = sizingEdgeForHit(hit);
    if (edge != 0) {
        if (m_window && m_window->startSystemResize(qtEdges(sizingEdgeFlags(edge))))
            return true;
        m_drag = Drag::Resize;
        m_dragEdge = edge;
    } else if (hit == HTCAPTION && !isOnButton(global)) {
        if (m_window && m_window->startSystemMove())
            return true;
        m_drag = Drag::Move;
    } else {
        return false;
    }
    // No move or resize from the window system (offscreen, some X11 window managers): do it by hand.
    m_pressGlobal = global;
    m_startPos = m_widget->pos();
    m_startGeometry = m_widget->geometry();
    return true;
}

bool FramelessHelper::mouseMove(const QMouseEvent& event)
{
    const QPoint global = event.globalPos();
    if (m_drag == Drag::None) {
        if (event.buttons() == Qt::NoButton)
            updateCursor(hitTest(global.x(), global.y()));
        return false;
    }
    const QPoint delta = global - m_pressGlobal;
    if (m_drag == Drag::Move) {
        m_widget->move(m_startPos + delta);
        return true;
    }
    QRect rect = resizedRect(m_startGeometry, sizingEdgeFlags(m_dragEdge), delta, m_widget->minimumSize(),
        m_widget->maximumSize());
    sizing(m_dragEdge, &rect);
    m_widget->setGeometry(rect);
    return true;
}

void FramelessHelper::updateCursor(int hitCode)
{
    if (sizingEdgeForHit(hitCode) != 0) {
        m_widget->setCursor(cursorForHit(hitCode));
        m_cursorSet = true;
    } else if (m_cursorSet) {
        m_widget->unsetCursor();
        m_cursorSet = false;
    }
}

bool FramelessHelper::isOnButton(QPoint global) const
{
    for (QWidget* w = m_widget->childAt(m_widget->mapFromGlobal(global)); w && w != m_widget;
         w = w->parentWidget()) {
        if (qobject_cast<QAbstractButton*>(w))
            return true;
    }
    return false;
}
