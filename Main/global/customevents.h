#pragma once

#include "userevent.h"

#include <QRect>
#include <QString>

// The custom events of the program. Each is created with new and handed to EventDeliverer::deliver, which
// owns it from then on; clone() copies every payload field.

class CloseMeetingEvent : public UserEventOf<CloseMeetingEvent, UserEventType::CloseMeeting> { };

class LoginEvent : public UserEventOf<LoginEvent, UserEventType::Login> { };

class PayEvent : public UserEventOf<PayEvent, UserEventType::Pay> { };

// A chat text that the chat room delivered.
class ReciveChatMsg : public UserEventOf<ReciveChatMsg, UserEventType::ReciveChatMsg> {
public:
    ReciveChatMsg(const QString& peer, const QString& handle, const QString& text, qint64 time)
        : peer(peer)
        , handle(handle)
        , text(text)
        , time(time)
    {
    }

    QString peer;
    QString handle; // the sender's display name
    QString text;
    qint64 time = 0;
};

// A chat text the user typed, to be sent to the room.
class SendChatMsg : public UserEventOf<SendChatMsg, UserEventType::SendChatMsg> {
public:
    explicit SendChatMsg(const QString& text)
        : text(text)
    {
    }

    QString text;
};

// The emoticon the user picked: the path of its image.
class AddFaceEvent : public UserEventOf<AddFaceEvent, UserEventType::AddFace> {
public:
    explicit AddFaceEvent(const QString& path)
        : path(path)
    {
    }

    QString path;
};

class ViewerMemberDeleteEvent
    : public UserEventOf<ViewerMemberDeleteEvent, UserEventType::ViewerMemberDelete> {
public:
    explicit ViewerMemberDeleteEvent(qint64 userId)
        : userId(userId)
    {
    }

    qint64 userId = 0;
};

class ViewerMemberInviteEvent
    : public UserEventOf<ViewerMemberInviteEvent, UserEventType::ViewerMemberInvite> {
public:
    ViewerMemberInviteEvent(qint64 userId, int kind, bool invite)
        : userId(userId)
        , kind(kind)
        , invite(invite)
    {
    }

    qint64 userId = 0;
    int kind = 0; // 1 video, 2 voice
    bool invite = false; // false withdraws or ends the invitation
};

class RefreshMemItemStateEvent
    : public UserEventOf<RefreshMemItemStateEvent, UserEventType::RefreshMemItemState> {
public:
    RefreshMemItemStateEvent(qint64 userId, int kind, int status)
        : userId(userId)
        , kind(kind)
        , status(status)
    {
    }

    qint64 userId = 0;
    int kind = 0; // 0 none, 1 voice, 2 video, 3 unchanged
    int status = 0; // 0 none, 1 screen cast running, 2 request waiting, 3 unchanged
};

class ViewerMemberToupingEvent
    : public UserEventOf<ViewerMemberToupingEvent, UserEventType::ViewerMemberTouping> {
public:
    ViewerMemberToupingEvent(qint64 userId, bool accept)
        : userId(userId)
        , accept(accept)
    {
    }

    qint64 userId = 0;
    bool accept = false;
};

class ViewerMemberToupingEndEvent
    : public UserEventOf<ViewerMemberToupingEndEvent, UserEventType::ViewerMemberToupingEnd> {
public:
    explicit ViewerMemberToupingEndEvent(qint64 userId)
        : userId(userId)
    {
    }

    qint64 userId = 0;
};

class ShowNormalWindowEvent : public UserEventOf<ShowNormalWindowEvent, UserEventType::ShowNormalWindow> { };

class V3ReadyToCreateMeetingEvent
    : public UserEventOf<V3ReadyToCreateMeetingEvent, UserEventType::V3ReadyToCreateMeeting> {
public:
    V3ReadyToCreateMeetingEvent(const QString& title, const QString& password, const QRect& area,
        int audioMode, qint64 duration, int viewer)
        : title(title)
        , password(password)
        , area(area)
        , audioMode(audioMode)
        , duration(duration)
        , viewer(viewer)
    {
    }

    QString title;
    QString password;
    QRect area;
    int audioMode = 0;
    qint64 duration = 0;
    int viewer = 0;
};

class V3ReadyToAddMeetingEvent
    : public UserEventOf<V3ReadyToAddMeetingEvent, UserEventType::V3ReadyToAddMeeting> {
public:
    V3ReadyToAddMeetingEvent(const QString& userName, qint64 mainStreamId, const QString& spare1,
        const QString& chatHost, const QString& chatWss, const QString& title, const QString& roomId,
        const QString& roomPwd, const QString& spare2, qint64 duration, int viewer)
        : userName(userName)
        , mainStreamId(mainStreamId)
        , spare1(spare1)
        , chatHost(chatHost)
        , chatWss(chatWss)
        , title(title)
        , roomId(roomId)
        , roomPwd(roomPwd)
        , spare2(spare2)
        , duration(duration)
        , viewer(viewer)
    {
    }

    QString userName;
    qint64 mainStreamId = 0;
    QString spare1;
    QString chatHost;
    QString chatWss;
    QString title;
    QString roomId;
    QString roomPwd;
    QString spare2;
    qint64 duration = 0;
    int viewer = 0;
};

class V3ShowFullScreenEvent : public UserEventOf<V3ShowFullScreenEvent, UserEventType::V3ShowFullScreen> { };

class V3ControlSystemAudioEvent
    : public UserEventOf<V3ControlSystemAudioEvent, UserEventType::V3ControlSystemAudio> {
public:
    explicit V3ControlSystemAudioEvent(bool mute)
        : mute(mute)
    {
    }

    bool mute = false; // true silences the system sound
};

class V3ControlMicroAudioEvent
    : public UserEventOf<V3ControlMicroAudioEvent, UserEventType::V3ControlMicroAudio> {
public:
    explicit V3ControlMicroAudioEvent(bool mute)
        : mute(mute)
    {
    }

    bool mute = false; // true silences the microphone
};

class V3WindowsStateChangeEvent
    : public UserEventOf<V3WindowsStateChangeEvent, UserEventType::V3WindowsStateChange> { };

// A peer joined or left the chat room.
class V3ShowChatRoomTipsEvent
    : public UserEventOf<V3ShowChatRoomTipsEvent, UserEventType::V3ShowChatRoomTips> {
public:
    V3ShowChatRoomTipsEvent(const QString& name, bool joined)
        : name(name)
        , joined(joined)
    {
    }

    QString name;
    bool joined = false;
};

class V3StreamReadyEvent : public UserEventOf<V3StreamReadyEvent, UserEventType::V3StreamReady> { };

class V3LogoutEvent : public UserEventOf<V3LogoutEvent, UserEventType::V3Logout> { };
