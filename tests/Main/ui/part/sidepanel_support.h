#pragma once

#include "global/eventdeliverer.h"
#include "global/meetingtimings.h"
#include "global/userevent.h"
#include "win/qssmanager.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/value.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <vector>

namespace sidepanel {

// Registers with the event hub for the given types and keeps a copy of every event it receives.
class EventLog : public QObject {
public:
    explicit EventLog(std::initializer_list<int> types)
        : m_types(types)
    {
        for (int type : m_types)
            EventDeliverer::instance()->registerReceiver(type, this);
    }
    ~EventLog() override
    {
        for (int type : m_types)
            EventDeliverer::instance()->unregisterReceiver(type, this);
    }

    bool event(QEvent* event) override
    {
        if (event->type() < QEvent::User)
            return QObject::event(event);
        events.push_back(std::unique_ptr<UserEvent>(static_cast<UserEvent*>(event)->clone()));
        return true;
    }

    template <typename T> std::vector<const T*> of() const
    {
        std::vector<const T*> found;
        for (const auto& event : events) {
            if (event->type() == T::eventType)
                found.push_back(static_cast<const T*>(event.get()));
        }
        return found;
    }

    std::vector<std::unique_ptr<UserEvent>> events;

private:
    std::vector<int> m_types;
};

// Runs the event loop until `condition` holds or the deadline passes; the condition's last result.
template <typename Condition> bool waitUntil(Condition condition, int deadlineMs = 5000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return condition();
}

// Lets posted events (the hub's deliveries) arrive.
inline void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

inline void setData(const char* key, const bg::Value& value) { CD->data->set_data(key, value); }

inline void clearData(std::initializer_list<const char*> keys)
{
    for (const char* key : keys)
        CD->data->erease_data(key);
}

class ScaleOverride {
public:
    explicit ScaleOverride(double scale) { QssManager::setDpiScaleOverride(scale); }
    ~ScaleOverride() { QssManager::setDpiScaleOverride(0.0); }
};

// Short delays for the meeting forms while a test runs; the production table afterwards.
class ShortTimings {
public:
    ShortTimings()
    {
        meetingTimings().rowTipHideMs = 40;
        meetingTimings().tileResizeStepMs = 10;
        meetingTimings().pageSwitchMs = 10;
    }
    ~ShortTimings() { meetingTimings() = MeetingTimings(); }
};

template <typename T> T* child(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

} // namespace sidepanel
