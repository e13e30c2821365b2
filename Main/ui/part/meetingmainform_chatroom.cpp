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

#include <jsonread/jsonread.h>

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace {

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), int(text.size())); }

// An id as the room sends it, read as a 64-bit integer from the text (never through a double, which keeps
// only 53 bits): an integer in range or a decimal string. Anything else, out of range included, is 0, not
// an id.
qint64 jsonInt64(const Json::Value& value)
{
    if (value.isString())
        return chatcommand::idOf(value);
    return jsonread::toInt64(value).value_or(0);
}

// Runs the handling of one report of the room: whatever escapes it fails that report alone.
template <typename Handle> void handleRoomInput(const char* what, Handle&& handle)
{
    std::string error;
    if (!jsonread::guarded(std::forward<Handle>(handle), &error))
        BG_LOGE("chat room %s not handled: %s", what, error.c_str());
}

QString textOf(const Json::Value& object, const char* key)
{
    return fromUtf8(jsonread::stringOf(object, key).value_or(std::string()));
}

// A member from a peer object of the room: "user_id", "id", "handle", "shutup" and "user_data" (a JSON text
// with "deviceType" and "nickname"). The nickname names the member when `preferNickname` is set.
MeetingMember memberFromPeer(const Json::Value& peer, const QString& chatId, bool preferNickname)
{
    MeetingMember member;
    member.userId = jsonInt64(jsonread::member(peer, "user_id"));
    member.chatId = chatId;
    member.name = textOf(peer, "handle");
    member.shutup = jsonread::intOf(peer, "shutup").value_or(0);
    const std::optional<std::string> userDataText = jsonread::stringOf(peer, "user_data");
    if (const std::optional<Json::Value> data = jsonread::parseObject(userDataText.value_or(std::string()))) {
        member.deviceType = textOf(*data, "deviceType");
        const QString nickname = textOf(*data, "nickname");
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
    // Without a usable socket address the room is never connected: no members, no commands.
    if (!m_chatRoom->wsConnect(utf8(m_roomId), joined.token, "主持人", m_selfMemberId, "", true)) {
        qDebug() << "wsConnect fail! address:" << m_chatWss;
        BG_LOGE("connect chatRoom fail: unusable socket address");
        return false;
    }
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
    handleRoomInput("peer list", [&] {
        Json::Value document;
        if (jsonread::parse(peers, document) && document.isArray()) {
            for (const Json::Value& peer : document) {
                const QString id = textOf(peer, "id");
                if (!id.isEmpty())
                    storeMember(id, memberFromPeer(peer, id, true));
            }
        }
    });
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
    handleRoomInput("joined member", [&] {
        const std::optional<Json::Value> document = jsonread::parseObject(peer);
        if (!document)
            return;
        const QString id = fromUtf8(chatId);
        const MeetingMember member = memberFromPeer(*document, id, false);
        storeMember(id, member);
        if (m_forbidAll && id != m_selfChatId)
            forbidPeerWords(id, member.userId, true, -1);
        EventDeliverer::instance()->deliver(new V3ShowChatRoomTipsEvent(member.name, true));
    });
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
    handleRoomInput("command", [&] { dispatchCommand(fromUtf8(chatId), fromUtf8(command)); });
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
