#pragma once

#include "global/customevents.h"
#include "global/eventdeliverer.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QVector>

#include <initializer_list>

// Registers with the event hub for the given types and keeps each event's type and, for the two sound
// events, its mute flag.
class PostedEvents : public QObject {
public:
    struct Entry {
        int type;
        bool mute;
    };

    explicit PostedEvents(std::initializer_list<int> types)
        : m_types(types)
    {
        for (int type : m_types)
            EventDeliverer::instance()->registerReceiver(type, this);
    }
    ~PostedEvents() override
    {
        for (int type : m_types)
            EventDeliverer::instance()->unregisterReceiver(type, this);
    }

    bool event(QEvent* event) override
    {
        const int type = int(event->type());
        if (type < QEvent::User)
            return QObject::event(event);
        bool mute = false;
        if (type == UserEventType::V3ControlMicroAudio)
            mute = static_cast<V3ControlMicroAudioEvent*>(event)->mute;
        else if (type == UserEventType::V3ControlSystemAudio)
            mute = static_cast<V3ControlSystemAudioEvent*>(event)->mute;
        entries.append({ type, mute });
        return true;
    }

    // Lets every posted event arrive: the hub posts, so one pass of the queue delivers them all.
    void settle() { QCoreApplication::sendPostedEvents(); }

    QVector<Entry> entries;

private:
    QVector<int> m_types;
};

template <typename Condition> bool spinUntil(Condition condition, int deadlineMs = 20000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

inline void setData(const char* key, const bg::Value& value) { CD->data->set_data(key, value); }

// Hands the event to the hub and lets it arrive.
inline void deliverNow(QEvent* event)
{
    EventDeliverer::instance()->deliver(event);
    QCoreApplication::sendPostedEvents();
}

inline V3ReadyToCreateMeetingEvent* createMeeting(int audioMode)
{
    return new V3ReadyToCreateMeetingEvent(QStringLiteral("t"), QString(), QRect(), audioMode, 0, 0);
}
