#include "userevent.h"

UserEvent::UserEvent(int type)
    : QEvent(static_cast<QEvent::Type>(type))
{
}

UserEvent::UserEvent(const UserEvent& other)
    : QEvent(other.type())
{
}

UserEvent::~UserEvent() = default;
