#include "win/powerinhibitor.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include <memory>

namespace {

// The session screen saver's inhibit call; a machine without a session bus keeps only the count.
PowerInhibitor::Backend screenSaverBackend()
{
    auto cookie = std::make_shared<quint32>(0);
    return [cookie](bool inhibit) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusInterface screenSaver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
            "org.freedesktop.ScreenSaver", bus);
        if (!screenSaver.isValid())
            return;
        if (inhibit) {
            QDBusReply<quint32> reply
                = screenSaver.call("Inhibit", "Tavimeet", QString::fromUtf8("直播进行中"));
            if (reply.isValid())
                *cookie = reply.value();
        } else if (*cookie) {
            screenSaver.call("UnInhibit", *cookie);
            *cookie = 0;
        }
    };
}

} // namespace

PowerInhibitor& PowerInhibitor::instance()
{
    static PowerInhibitor inhibitor(screenSaverBackend());
    return inhibitor;
}

PowerInhibitor::PowerInhibitor(Backend backend)
    : m_backend(std::move(backend))
{
}

PowerInhibitor::~PowerInhibitor()
{
    m_holds.clear();
    update();
}

void PowerInhibitor::hold(const QString& holder, int needs)
{
    m_holds.insert(holder, needs);
    update();
}

void PowerInhibitor::release(const QString& holder)
{
    m_holds.remove(holder);
    update();
}

int PowerInhibitor::needs() const
{
    int all = 0;
    for (int needs : m_holds)
        all |= needs;
    return all;
}

void PowerInhibitor::update()
{
    const bool inhibit = needs() != 0;
    if (inhibit == m_inhibiting)
        return;
    m_inhibiting = inhibit;
    if (m_backend)
        m_backend(inhibit);
}
