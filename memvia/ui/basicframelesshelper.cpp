#include "ui/basicframelesshelper.h"

#include "ui/nativeeventfilter.h"

#include <QWidget>
#include <QWindow>

using namespace frameless;

BasicFramelessHelper::BasicFramelessHelper(QObject* host)
    : QObject(host)
    , m_host(qobject_cast<QWidget*>(host))
{
}

BasicFramelessHelper::~BasicFramelessHelper() { NativeEventFilter::forgetHelper(this); }

void BasicFramelessHelper::addTitleObjects(QObjectList objs) { m_titleObjects.append(objs); }

void BasicFramelessHelper::addTitleObject(QObject* obj) { m_titleObjects.append(obj); }

bool BasicFramelessHelper::setValue(int& field, int value)
{
    if (value < 0 || value == field)
        return false;
    field = value;
    return true;
}

void BasicFramelessHelper::setTitleHeight(int h)
{
    if (setValue(m_titleHeight, h))
        emit titleHeightChanged(h);
}

void BasicFramelessHelper::setLeftResizeMargin(int m)
{
    if (setValue(m_leftResizeMargin, m))
        emit leftResizeMarginChanged(m);
}

void BasicFramelessHelper::setTopResizeMargin(int m)
{
    if (setValue(m_topResizeMargin, m))
        emit topResizeMarginChanged(m);
}

void BasicFramelessHelper::setRightResizeMargin(int m)
{
    if (setValue(m_rightResizeMargin, m))
        emit rightResizeMarginChanged(m);
}

void BasicFramelessHelper::setBottomResizeMargin(int m)
{
    if (setValue(m_bottomResizeMargin, m))
        emit bottomResizeMarginChanged(m);
}

void BasicFramelessHelper::applyWindowHints(QWindow* window)
{
    if (!window)
        return;
    window->setFlag(Qt::WindowMaximizeButtonHint, m_maximizable);
    window->setFlag(Qt::WindowMinimizeButtonHint, m_minimable);
}

int BasicFramelessHelper::hitTest(int x, int y)
{
    QWindow* window = m_host ? m_host->windowHandle() : nullptr;
    if (!window)
        return HTTRANSPARENT;
    const int w = window->width();
    const int h = window->height();
    const bool left = m_leftResizeMargin > 0 && x >= 0 && x <= m_leftResizeMargin;
    const bool top = m_topResizeMargin > 0 && y >= 0 && y <= m_topResizeMargin;
    const bool right = m_rightResizeMargin > 0 && x >= w - m_rightResizeMargin && x <= w;
    const bool bottom = m_bottomResizeMargin > 0 && y >= h - m_bottomResizeMargin && y <= h;

    if (!m_host->isMaximized() && m_resizable) {
        // Corners first, then the single edges.
        const struct {
            bool on;
            int code;
        } edges[] = {
            { left && top, HTTOPLEFT },
            { left && bottom, HTBOTTOMLEFT },
            { right && top, HTTOPRIGHT },
            { right && bottom, HTBOTTOMRIGHT },
            { left, HTLEFT },
            { top, HTTOP },
            { right, HTRIGHT },
            { bottom, HTBOTTOM },
        };
        for (const auto& edge : edges) {
            if (edge.on)
                return edge.code;
        }
    }
    if (y > 0 && y < m_titleHeight && isCaptionPoint(x, y))
        return HTCAPTION;
    return HTCLIENT;
}

bool BasicFramelessHelper::handleBasicEvent(QEvent* event)
{
    if (!m_host)
        return false;
    if (!m_driver) {
        WindowDriver::Hooks hooks;
        hooks.hitTest = [this](QPoint global) {
            QWindow* window = m_host ? m_host->windowHandle() : nullptr;
            if (!window)
                return int(HTTRANSPARENT);
            const QPoint local = window->mapFromGlobal(global);
            return hitTest(local.x(), local.y());
        };
        hooks.resizeStep = [this] { emit sigResizeBegin(); };
        hooks.resizeEnd = [this] { emit sigResizeEnd(); };
        hooks.doubleClickMaximizes = m_maximizable;
        m_driver = std::make_unique<WindowDriver>(m_host, std::move(hooks));
    }
    return m_driver->windowEvent(event);
}
