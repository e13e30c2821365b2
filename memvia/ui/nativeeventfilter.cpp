#include "ui/nativeeventfilter.h"

#include "ui/basicframelesshelper.h"

#include <QEvent>
#include <QWindow>

NativeEventFilter* NativeEventFilter::instance()
{
    // Lives until the process ends, like the windows that may still hold it as their filter.
    static NativeEventFilter* const filter = new NativeEventFilter;
    return filter;
}

void NativeEventFilter::setHelper(QWindow* window, BasicFramelessHelper* helper)
{
    NativeEventFilter* filter = instance();
    if (!window)
        return;
    if (!helper) {
        if (filter->m_entries.remove(window))
            window->removeEventFilter(filter);
        return;
    }
    if (filter->m_entries.contains(window))
        return;
    filter->m_entries.insert(window, helper);
    window->installEventFilter(filter);
    connect(window, &QObject::destroyed, filter, [filter, window] { filter->m_entries.remove(window); });
}

BasicFramelessHelper* NativeEventFilter::helper(QWindow* window)
{
    return instance()->m_entries.value(window);
}

void NativeEventFilter::forgetHelper(BasicFramelessHelper* helper)
{
    NativeEventFilter* filter = instance();
    for (auto it = filter->m_entries.begin(); it != filter->m_entries.end();) {
        if (it.value() == helper) {
            it.key()->removeEventFilter(filter);
            it = filter->m_entries.erase(it);
        } else {
            ++it;
        }
    }
}

int NativeEventFilter::entryCount() { return instance()->m_entries.size(); }

bool NativeEventFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        break;
    default:
        return false;
    }
    BasicFramelessHelper* target = m_entries.value(static_cast<QWindow*>(watched));
    return target && target->handleWindowEvent(event);
}
