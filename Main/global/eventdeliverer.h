#pragma once

#include <QList>
#include <QMap>
#include <QObject>

#include <mutex>

class QEvent;

// The process-wide hub through which forms send each other custom events (UserEvent). Receivers register
// per event type; deliver() posts one event per registration through Qt's event queue, so each receiver
// handles it on its own thread in its event() override, never inside deliver().
//
// Every operation may be called from any thread. A receiver that is destroyed while registered is dropped
// from every list it was on and never gets another event. The hub is created on the first instance() call
// and lives until the process ends.
class EventDeliverer : public QObject {
    Q_OBJECT
public:
    static EventDeliverer* instance();

    // Appends the receiver to the list of the type; registering twice means two copies per event.
    void registerReceiver(int type, QObject* receiver);
    // Removes every occurrence of the receiver from the list of the type.
    void unregisterReceiver(int type, QObject* receiver);
    // Takes ownership of an event made with new. Every receiver of its type but the last gets a clone, the
    // last gets the event itself; without receivers the event is deleted. An event that is not a UserEvent
    // cannot be cloned and goes to the last receiver only.
    void deliver(QEvent* event);

private:
    EventDeliverer();
    void forgetReceiver(QObject* receiver);

    std::mutex mutex;
    QMap<int, QList<QObject*>> receivers;
};
