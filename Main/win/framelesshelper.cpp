#include "win/framelesshelper.h"

#include "win/nativeeventfilter.h"
#include "win/resizeinterface.h"

#include <QAbstractButton>
#include <QWidget>
#include <QWindow>

using namespace frameless;

FramelessHelper::FramelessHelper(QWidget* widget, ResizeInterface* resize)
    : QObject(widget)
    , m_widget(widget)
    , m_resize(resize)
    , m_driver(widget,
          WindowDriver::Hooks {
              [this](QPoint global) { return hitTest(global.x(), global.y()); },
              [this](QPoint global) { return isOnButton(global); },
              [this](int sizingEdge, QRect* rect) { sizing(sizingEdge, rect); },
              nullptr,
              nullptr,
              false,
          })
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
    return m_driver.windowEvent(event);
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
