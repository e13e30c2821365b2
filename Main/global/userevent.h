#pragma once

#include <QEvent>

// Type numbers of the program's custom events. 1004 and 1008 are registered for but never posted.
namespace UserEventType {
enum : int {
    CloseMeeting = QEvent::User + 1,
    Login = QEvent::User + 2,
    Pay = QEvent::User + 3,
    Unused1004 = QEvent::User + 4,
    ReciveChatMsg = QEvent::User + 5,
    SendChatMsg = QEvent::User + 6,
    AddFace = QEvent::User + 7,
    ViewerMemberDelete = QEvent::User + 8,
    ViewerMemberInvite = QEvent::User + 9,
    RefreshMemItemState = QEvent::User + 10,
    ViewerMemberTouping = QEvent::User + 11,
    ViewerMemberToupingEnd = QEvent::User + 12,
    ShowNormalWindow = QEvent::User + 13,
    V3ReadyToCreateMeeting = QEvent::User + 14,
    V3ReadyToAddMeeting = QEvent::User + 15,
    V3ShowFullScreen = QEvent::User + 16,
    V3ControlSystemAudio = QEvent::User + 17,
    V3ControlMicroAudio = QEvent::User + 18,
    V3WindowsStateChange = QEvent::User + 19,
    V3ShowChatRoomTips = QEvent::User + 20,
    V3StreamReady = QEvent::User + 21,
    V3Logout = QEvent::User + 22,
};
}

// Base of every custom event that travels through EventDeliverer. clone() returns a new event of the same
// class with the same type and payload; the caller owns it. A clone is a fresh, never-posted QEvent.
class UserEvent : public QEvent {
public:
    explicit UserEvent(int type);
    ~UserEvent() override;

    virtual UserEvent* clone() const = 0;

protected:
    // Copies the type only: QEvent's own bookkeeping (posted, accepted) must not follow a copy.
    UserEvent(const UserEvent& other);
    UserEvent& operator=(const UserEvent&) = delete;
};

// Implements clone() for an event class Derived of type TypeNumber through Derived's copy constructor.
template <class Derived, int TypeNumber> class UserEventOf : public UserEvent {
public:
    static constexpr int eventType = TypeNumber;

    UserEvent* clone() const override { return new Derived(static_cast<const Derived&>(*this)); }

protected:
    UserEventOf()
        : UserEvent(TypeNumber)
    {
    }
    UserEventOf(const UserEventOf& other) = default;
};
