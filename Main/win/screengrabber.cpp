#include "win/screengrabber.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <optional>

namespace {

std::optional<ScreenGrabber::Fake> g_fake;

QRect physicalGeometry(const QScreen* screen)
{
    const QRect logical = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    return QRect(qRound(logical.x() * ratio), qRound(logical.y() * ratio), qRound(logical.width() * ratio),
        qRound(logical.height() * ratio));
}

} // namespace

QRect ScreenGrabber::virtualDesktop()
{
    if (g_fake)
        return g_fake->desktop;
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop |= physicalGeometry(screen);
    return desktop;
}

QPixmap ScreenGrabber::grabVirtualDesktop()
{
    if (g_fake)
        return g_fake->shot;
    const QRect desktop = virtualDesktop();
    if (desktop.isEmpty())
        return QPixmap();
    QPixmap shot(desktop.size());
    shot.fill(Qt::black);
    QPainter painter(&shot);
    for (QScreen* screen : QGuiApplication::screens()) {
        QPixmap part = screen->grabWindow(0);
        if (part.isNull())
            continue;
        // Drawn pixel for pixel: the grab may carry the screen's ratio, the composed picture does not.
        part.setDevicePixelRatio(1.0);
        const QRect place = physicalGeometry(screen).translated(-desktop.topLeft());
        painter.drawPixmap(place, part, part.rect());
    }
    return shot;
}

void ScreenGrabber::setFake(const Fake& fake) { g_fake = fake; }

void ScreenGrabber::clearFake() { g_fake.reset(); }
