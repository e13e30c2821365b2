#include "eventdeliverer.h"

#include "userevent.h"

#include <QCoreApplication>

#include <memory>

EventDeliverer* EventDeliverer::instance()
{
    // Never destroyed: receivers may still unregister while static objects are torn down.
    static EventDeliverer* const hub = new EventDeliverer;
    return hub;
}

EventDeliverer::EventDeliverer() = default;

void EventDeliverer::registerReceiver(int type, QObject* receiver)
{
    if (!receiver)
        return;
    // Direct, so that the receiver leaves the lists on the thread that destroys it, before QObject's
    // destructor drops the events still queued for it.
    connect(receiver, &QObject::destroyed, this, &EventDeliverer::forgetReceiver,
        Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    std::lock_guard<std::mutex> lock(mutex);
    receivers[type].append(receiver);
}

void EventDeliverer::unregisterReceiver(int type, QObject* receiver)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = receivers.find(type);
    if (it != receivers.end())
        it->removeAll(receiver);
}

void EventDeliverer::forgetReceiver(QObject* receiver)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& list : receivers)
        list.removeAll(receiver);
}

void EventDeliverer::deliver(QEvent* event)
{
    if (!event)
        return;
    std::unique_ptr<QEvent> owned(event);
    std::lock_guard<std::mutex> lock(mutex);
    const QList<QObject*> targets = receivers.value(event->type());
    if (targets.isEmpty())
        return;
    if (const auto* userEvent = dynamic_cast<const UserEvent*>(event)) {
        for (int i = 0; i < targets.size() - 1; ++i)
            QCoreApplication::postEvent(targets[i], userEvent->clone(), Qt::NormalEventPriority);
    }
    QCoreApplication::postEvent(targets.last(), owned.release(), Qt::NormalEventPriority);
}
