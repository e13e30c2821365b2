#include "win/nativeeventfilter.h"

#include "win/framelesshelper.h"

#include <QEvent>

NativeEventFilter* NativeEventFilter::instance()
{
    // Lives until the process ends, like the windows that may still hold it as their filter.
    static NativeEventFilter* const filter = new NativeEventFilter;
    return filter;
}

void NativeEventFilter::setHelper(QWindow* window, FramelessHelper* helper)
{
    NativeEventFilter* filter = instance();
    if (!window)
        return;
    const WId key = window->winId();
    if (!helper) {
        filter->forget(key, filter->m_entries.value(key).window);
        return;
    }
    if (filter->m_entries.contains(key))
        return;
    filter->m_entries.insert(key, Entry { window, helper });
    window->installEventFilter(filter);
    // A window destroyed before its helper must not leave an entry that a reused id could reach.
    connect(window, &QObject::destroyed, filter, [filter, key, window] { filter->forget(key, window); });
}

FramelessHelper* NativeEventFilter::helper(QWindow* window)
{
    if (!window || !window->handle())
        return nullptr;
    const auto it = instance()->m_entries.constFind(window->winId());
    return it != instance()->m_entries.constEnd() && it->window == window ? it->helper : nullptr;
}

void NativeEventFilter::forget(WId key, QWindow* window)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || it->window != window)
        return;
    m_entries.erase(it);
}

bool NativeEventFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        break;
    default:
        return false;
    }
    if (m_entries.isEmpty())
        return false;
    FramelessHelper* target = helper(qobject_cast<QWindow*>(watched));
    return target && target->windowEvent(event);
}
