#pragma once

#include "app/zovmeetingapplication.h"
#include "win/qssmanager.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <gtest/gtest.h>

inline ZovMeetingApplication* app()
{
    return static_cast<ZovMeetingApplication*>(QCoreApplication::instance());
}

template <typename T = QWidget> T* child(QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

class ScaleOverride {
public:
    explicit ScaleOverride(double scale) { QssManager::setDpiScaleOverride(scale); }
    ~ScaleOverride() { QssManager::setDpiScaleOverride(0.0); }
};

struct ShownMessage {
    QString title;
    QString text;
    int buttons;
    bool operator==(const ShownMessage& other) const
    {
        return title == other.title && text == other.text && buttons == other.buttons;
    }
};

// Collects the application's message boxes while it lives.
class MessageLog {
public:
    MessageLog()
    {
        app()->setMessageSink([this](const QString& title, const QString& text, int buttons) {
            messages.append({ title, text, buttons });
        });
    }
    ~MessageLog()
    {
        app()->setMessageSink([](const QString&, const QString&, int) {});
    }

    QVector<ShownMessage> messages;
};
