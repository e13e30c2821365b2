#pragma once

#include "global/eventdeliverer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QObject>
#include <QVector>

#include <initializer_list>

// Registers itself with the event hub for the given types and records every event it receives, in order.
class EventRecorder : public QObject {
public:
    explicit EventRecorder(std::initializer_list<int> types)
    {
        for (int type : types)
            EventDeliverer::instance()->registerReceiver(type, this);
    }

    bool event(QEvent* event) override
    {
        if (event->type() >= QEvent::User) {
            types.append(int(event->type()));
            return true;
        }
        return QObject::event(event);
    }

    // Runs the event loop until `count` events have arrived or the deadline passes.
    bool waitFor(int count, int deadlineMs = 5000)
    {
        QDeadlineTimer deadline(deadlineMs);
        while (types.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return types.size() >= count;
    }

    QVector<int> types;
};

// Runs the event loop until `condition` holds or the deadline passes; the condition's last result.
template <typename Condition> bool waitUntil(Condition condition, int deadlineMs = 5000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return condition();
}
