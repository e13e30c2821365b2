// The meeting's chat room: made and joined by the host once its push runs, the members it reports, silence
// and the end of the room.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "ui/part/memberrecord.h"

#include <bridge/bg_log.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <limits>

namespace {

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), int(text.size())); }

qint64 jsonInt64(const QJsonValue& value)
{
    if (value.isDouble())
        return qint64(value.toDouble());
    if (value.isString())
        return value.toString().toLongLong();
    return 0;
}

// A member from a peer object of the room: "user_id", "id", "handle", "shutup" and "user_data" (a JSON text
// with "deviceType" and "nickname"). The nickname names the member when `preferNickname` is set.
MeetingMember memberFromPeer(const QJsonObject& peer, const QString& chatId, bool preferNickname)
{
    MeetingMember member;
    member.userId = jsonInt64(peer.value("user_id"));
    member.chatId = chatId;
    member.name = peer.value("handle").toString();
    member.shutup = peer.value("shutup").toInt();
    const QJsonDocument userData = QJsonDocument::fromJson(peer.value("user_data").toString().toUtf8());
    if (userData.isObject()) {
        const QJsonObject data = userData.object();
        member.deviceType = data.value("deviceType").toString();
        const QString nickname = data.value("nickname").toString();
        if (preferNickname && !nickname.isEmpty())
            member.name = nickname;
    }
    return member;
}

} // namespace

bool MeetingMainForm::createChatRoom()
{
    setData(kRoomChatHost, bg::Value(utf8(m_chatHost)));
    setData(kRoomChatHostWs, bg::Value(utf8(m_chatWss)));
    m_chatRoom = std::make_unique<cr::ChatRoom>(this);

    cr::ChatRoom::ReqCreateRoom request;
    request.name = "ZovMeeting";
    request.role = "Teacher";
    request.password = utf8(m_roomPwd);
    request.maxMembers = m_viewer;
    std::string error;
    m_roomId = fromUtf8(m_chatRoom->createRoom(request, error));
    qDebug() << "[聊天室房间ID]:" << m_roomId;
    if (m_roomId.isEmpty()) {
        qDebug() << "createRoom fail! error: " << fromUtf8(error);
        BG_LOGE("create chatRoom fail. error: %s", error.c_str());
        return false;
    }

    m_selfMemberId = 0;
    cr::ChatRoom::RespJoinRoom joined;
    if (!m_chatRoom->joinRoom(utf8(m_roomId), 0, utf8(m_roomPwd), joined, error)) {
        qDebug() << "joinRoom fail! error: " << fromUtf8(error);
        BG_LOGE("join chatRoom fail. error: %s", error.c_str());
        return false;
    }
    m_joinText = fromUtf8(joined.token);
    m_selfMemberId = joined.memberId;
    setData(kRoomSelfUserId, bg::Value(static_cast<long long>(m_selfMemberId)));
    // The room's administration (kick-out) reads these.
    setData(kRoomChatroomHost, bg::Value(utf8(m_chatHost)));
    setData(kRoomChatroomId, bg::Value(static_cast<long long>(m_roomId.toLongLong())));
    setData(kRoomChatroomPwd, bg::Value(utf8(m_roomPwd)));
    qDebug() << "[聊天室分配成员ID]:" << m_selfMemberId;
    m_chatRoom->wsConnect(utf8(m_roomId), joined.token, "主持人", m_selfMemberId, "", true);
    return true;
}

void MeetingMainForm::onConnected()
{
    qDebug() << "ChatRoom connected!";
    sendLianmaiList();
}

void MeetingMainForm::onDisconnected()
{
    qDebug() << "[聊天室掉线]";
    if (!isNormalCancel())
        BG_LOGE("[CloseMeeting]:主持端聊天室掉线，退出直播");
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
}

void MeetingMainForm::onSelfID(const std::string& chatId, const std::string& handle)
{
    qDebug() << "onSelfID:" << fromUtf8(chatId) << fromUtf8(handle);
    m_selfChatId = fromUtf8(chatId);
}

void MeetingMainForm::storeMember(const QString& chatId, const MeetingMember& member) { m_members[chatId] = member; }

void MeetingMainForm::onPeers(const std::string& peers)
{
    qDebug() << "peers:" << fromUtf8(peers);
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(peers));
    if (document.isArray()) {
        for (const QJsonValue& value : document.array()) {
            const QJsonObject peer = value.toObject();
            const QString id = peer.value("id").toString();
            if (!id.isEmpty())
                storeMember(id, memberFromPeer(peer, id, true));
        }
    }
    refreshMemberList();
    placePendingCoBroadcastTiles();
}

void MeetingMainForm::onPeerJoined(
    const std::string& chatId, const std::string& handle, const std::string& deviceType, const std::string& peer)
{
    Q_UNUSED(handle);
    Q_UNUSED(deviceType);
    qDebug() << "onPeerJoined: " << fromUtf8(chatId);
    qDebug() << "[join_member_info]:" << fromUtf8(peer);
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(peer));
    if (document.isObject()) {
        const QString id = fromUtf8(chatId);
        const MeetingMember member = memberFromPeer(document.object(), id, false);
        storeMember(id, member);
        if (m_forbidAll && id != m_selfChatId)
            forbidPeerWords(id, member.userId, true, -1);
        EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(member.name, true));
    }
    sendLianmaiList();
    refreshMemberList();
}

void MeetingMainForm::onPeerLeft(const std::string& chatId, const std::string& peer)
{
    qDebug() << "onPeerLeft: " << fromUtf8(chatId);
    qDebug() << "[leave_member_info]:" << fromUtf8(peer);
    const QString id = fromUtf8(chatId);
    const auto found = m_members.constFind(id);
    if (found != m_members.constEnd()) {
        const MeetingMember member = found.value();
        // A co-broadcasting member leaves without ending first: its source, pull and listing go with it.
        if (m_isHost && !m_closing && member.userId > 0) {
            RemoveMeetingSource(member.userId);
            if (CoBroadcastRecord* record = coBroadcastOf(member.userId))
                record->streamUrl.clear();
        }
        EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(member.name, false));
        ui->widget_right->removeMemberTile(member.userId);
        qDebug() << "[断开连麦，删除对应学员]";
        if (m_isHost && !m_closing && member.userId > 0)
            dropMemberCoBroadcast(member.userId);
        m_members.remove(id);
        removeScreenCastSource(member.userId);
    }
    sendLianmaiList();
    refreshMemberList();
}

void MeetingMainForm::onRoomError(const std::string& message) { qDebug() << "room error:" << fromUtf8(message); }

void MeetingMainForm::onRoomForbidden(int shutup)
{
    qDebug() << "RoomForbidden:" << shutup;
    ui->widget_right->setForbiddenAllChecked(shutup != 0);
}

void MeetingMainForm::onRecordMessage(
    const std::string& chatId, const std::string& handle, const std::string& text, int64_t timeMs)
{
    qDebug() << "onRecordMessage:pear->" << fromUtf8(chatId) << "handle->" << fromUtf8(handle) << "msg->"
             << fromUtf8(text) << "time->" << timeMs;
    EventDeliverer::instance()->deliver(
        new ReciveChatMsg(fromUtf8(chatId), fromUtf8(handle), fromUtf8(text), qint64(timeMs)));
}

void MeetingMainForm::onRecievedCommand(
    const std::string& chatId, const std::string& handle, const std::string& command, int64_t timeMs)
{
    Q_UNUSED(handle);
    Q_UNUSED(timeMs);
    dispatchCommand(fromUtf8(chatId), fromUtf8(command));
}

void MeetingMainForm::refreshMemberList()
{
    QVector<MemberRecord> rows;
    rows.reserve(m_members.size());
    qint64 hostId = std::numeric_limits<qint64>::max();
    int hostRow = -1;
    for (const MeetingMember& member : qAsConst(m_members)) {
        MemberRecord row;
        row.userId = member.userId;
        row.peerId = member.chatId;
        row.displayName = member.name;
        row.deviceType = member.deviceType;
        if (!m_isHost && member.userId == m_selfMemberId)
            row.displayName += QString::fromUtf8(" (我)");
        if (member.userId < hostId) {
            hostId = member.userId;
            hostRow = rows.size();
        }
        rows.append(row);
    }
    if (hostRow >= 0) {
        rows[hostRow].host = true;
        setData(kRoomHostUserId, bg::Value(static_cast<long long>(hostId)));
    }
    ui->widget_right->syncMemberList(rows);
}

void MeetingMainForm::OnForbiddenAll(bool all)
{
    if (!m_chatRoom)
        return;
    m_forbidAll = all;
    for (const MeetingMember& member : qAsConst(m_members)) {
        if (member.chatId != m_selfChatId && member.userId != m_selfMemberId)
            forbidPeerWords(member.chatId, member.userId, all, -1);
    }
}

void MeetingMainForm::forbidPeerWords(const QString& chatId, qint64 userId, bool forbid, int value)
{
    if (!m_chatRoom)
        return;
    cr::ChatRoom::ReqForbiddenWords request;
    request.roomId = utf8(m_roomId);
    request.password = utf8(m_roomPwd);
    request.chatId = utf8(chatId);
    request.memberId = userId;
    request.forbid = forbid;
    request.seconds = forbid ? (value == -1 ? 0 : value) : 1;
    std::string error;
    m_chatRoom->forbiddenWords(request, error);
}

void MeetingMainForm::sendChatText(const QString& text)
{
    if (m_chatRoom)
        m_chatRoom->sendText(utf8(text));
}

void MeetingMainForm::sendStreamEnd()
{
    if (!m_chatRoom)
        return;
    std::string error;
    if (m_isHost) {
        QJsonObject end;
        end["type"] = "stream_end";
        m_chatRoom->sendCommand(QJsonDocument(end).toJson(QJsonDocument::Indented).toStdString());
        qDebug() << "[发送结束直播的聊天室命令]";
        if (m_forbidAll) {
            OnForbiddenAll(false);
            qDebug() << "[解除全员禁言]";
        }
        if (m_chatRoom->disposeRoom(utf8(m_roomId), utf8(m_roomPwd), utf8(m_joinText), error))
            qDebug() << "disposeRoom" << m_roomId << "disposeRoom success";
        else
            qDebug() << "disposeRoom" << m_roomId << "fail! error:" << fromUtf8(error);
    } else {
        cr::ChatRoom::ReqKickOut request;
        request.roomId = utf8(m_roomId);
        request.password = utf8(m_roomPwd);
        request.memberId = m_selfMemberId;
        request.kickType = 1;
        if (m_chatRoom->kickout(request, error))
            qDebug() << "kickoutRoom success";
        else
            qDebug() << "kickoutRoom fail! error:" << fromUtf8(error);
    }
    m_chatRoom.reset();
    m_forbidAll = false;
}

QString MeetingMainForm::cleanCommandText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith('"')) {
        // The room hands commands over as a JSON string literal: its value is the command.
        const QJsonDocument wrapped = QJsonDocument::fromJson("[" + trimmed.toUtf8() + "]");
        if (wrapped.isArray() && wrapped.array().size() == 1 && wrapped.array().at(0).isString())
            return wrapped.array().at(0).toString();
    }
    const int first = text.indexOf('{');
    const int last = text.lastIndexOf('}');
    if (first < 0 || last < first)
        return QString();
    return text.mid(first, last - first + 1);
}
