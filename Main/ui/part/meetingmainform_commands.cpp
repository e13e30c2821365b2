// The chat-room commands as the meeting form speaks them: one table per role from "type" to handler, the
// senders, and the host's list of co-broadcasting members.
#include "ui/part/meetingmainform.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/meetingtimings.h"
#include "global/roomkeys.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <jsonread/jsonread.h>

#include <QDebug>
#include <QTimer>

#include <optional>

using chatcommand::Dispatcher;
using chatcommand::Received;
using jsonread::member;

namespace {

qint64 hostMemberId()
{
    if (!CD || !CD->data)
        return 0;
    return CD->data->get_data(kRoomHostUserId, bg::Value(0LL)).toInt64();
}

} // namespace

void MeetingMainForm::buildCommandTables()
{
    using S = Dispatcher::Sender;
    // Orders to a viewer come from the host alone: any other member's copy is dropped.
    m_commands.setViewerTable({
        { chatcommand::kInviteLianmai, S::HostOnly,
            [this](const Received& received) {
                if (chatcommand::idOf(member(received.command, "student_id")) != m_selfMemberId)
                    return;
                qDebug() << "接收到连麦邀请";
                onInviteLianmai(jsonread::intOf(received.command, "order_type").value_or(0));
            } },
        { chatcommand::kEndLianmai, S::HostOnly,
            [this](const Received& received) {
                if (chatcommand::idOf(member(received.command, "student_id")) != m_selfMemberId)
                    return;
                qDebug() << "[接收到断开连麦请求]";
                onInviteLianmai(0);
            } },
        { chatcommand::kStreamUrl, S::Anyone,
            [this](const Received& received) {
                if (!received.command.isMember("url"))
                    return;
                const MeetingMember* sender = memberOf(received.senderChatId);
                if (!sender || sender->userId <= 0)
                    return;
                qDebug() << "[其他学员正在与主持人连麦]:" << sender->name;
                showMemberStreamTile(sender->userId, chatcommand::viewerStreamUrlText(member(received.command, "url")));
            } },
        { chatcommand::kHostUrl, S::HostOnly, [this](const Received& received) { onHostUrl(received); } },
        { chatcommand::kStreamEnd, S::HostOnly,
            [](const Received&) {
                qDebug() << "[主持人端退出，观看端也退出]";
                EventDeliverer::instance()->deliver(new CloseMeetingEvent);
            } },
        { chatcommand::kLianmaiList, S::HostOnly, [this](const Received& received) { onFirstLianmaiList(received); } },
    });
    m_commands.setHostTable({
        { chatcommand::kReceiveInvitation, S::Anyone,
            [this](const Received& received) {
                onInvitationReply(chatcommand::idOf(member(received.command, "student_id")), received.senderChatId,
                    jsonread::boolOf(received.command, "accept").value_or(false));
            } },
        { chatcommand::kStreamUrl, S::Anyone, [this](const Received& received) { onHostStreamUrl(received); } },
    });
    m_commands.setSenderIsHost([this](const QString& chatId) { return senderIsHost(chatId); });
}

void MeetingMainForm::dispatchCommand(const QString& chatId, const QString& text)
{
    qDebug() << "onRecievedCommand: " << text;
    // A meeting that is closing, or closed, takes no more orders.
    if (m_closing)
        return;
    const std::string cleaned = cleanCommandText(text).toUtf8().toStdString();
    if (!m_isHost) {
        const std::optional<Json::Value> parsed = jsonread::parseObject(cleaned);
        const std::optional<std::string> type = parsed ? jsonread::stringOf(*parsed, "type") : std::nullopt;
        qDebug() << "[观看端命令处理开始]:" << QString::fromStdString(type.value_or(std::string()));
    }
    const Dispatcher::Outcome outcome = m_commands.dispatch(m_isHost, chatId, cleaned);
    if (outcome == Dispatcher::Outcome::FromOtherSender)
        qDebug() << "[命令不是主持人发出的，不处理]:" << chatId;
    if (outcome == Dispatcher::Outcome::Failed)
        qWarning() << "[命令处理失败]:" << chatId;
    if (outcome != Dispatcher::Outcome::Unparsable)
        qDebug() << "[命令结尾]";
}

const MeetingMember* MeetingMainForm::memberOf(const QString& chatId) const
{
    const auto found = m_members.constFind(chatId);
    return found == m_members.constEnd() ? nullptr : &found.value();
}

bool MeetingMainForm::senderIsHost(const QString& chatId) const
{
    const MeetingMember* member = memberOf(chatId);
    const qint64 host = hostMemberId();
    return member && host > 0 && member->userId == host;
}

void MeetingMainForm::onHostUrl(const Received& received)
{
    const std::optional<int64_t> id = chatcommand::hostUrlStreamId(received.command);
    if (!id || *id == m_hostAudioStreamId)
        return;
    qDebug() << "[主持人另起音频流推送]";
    m_hostAudioStreamId = *id;
    if (m_hostAudioScheduled || !m_context)
        return;
    m_hostAudioScheduled = true;
    QTimer::singleShot(meetingTimings().hostAudioPullMs, m_context, [this] {
        m_hostAudioScheduled = false;
        pullHostAudio();
    });
}

void MeetingMainForm::onFirstLianmaiList(const Received& received)
{
    if (!m_firstMemberList)
        return;
    m_pendingCoBroadcasters.clear();
    for (int64_t id : chatcommand::lianmaiMemberIds(received.command))
        m_pendingCoBroadcasters.append(id);
    placePendingCoBroadcastTiles();
}

void MeetingMainForm::placePendingCoBroadcastTiles()
{
    if (!m_firstMemberList || m_members.size() <= 1 || m_pendingCoBroadcasters.isEmpty())
        return;
    m_firstMemberList = false;
    for (qint64 userId : qAsConst(m_pendingCoBroadcasters))
        showMemberStreamTile(userId, QStringLiteral("null"));
}

void MeetingMainForm::onHostStreamUrl(const Received& received)
{
    if (!received.command.isMember("url"))
        return;
    const MeetingMember* sender = memberOf(received.senderChatId);
    if (!sender || sender->userId <= 0)
        return;
    const bool audio = jsonread::boolOf(received.command, "audio").value_or(false);
    const bool video = jsonread::boolOf(received.command, "video").value_or(false);
    const QString url = chatcommand::hostStreamUrlText(member(received.command, "url"));
    const qint64 userId = sender->userId;
    const QString name = sender->name;
    const auto stream = m_memberStreams.find(userId);
    if (stream == m_memberStreams.end())
        qDebug() << "[未找到对应的连麦学员]";
    else
        *stream = { url.toLongLong(), name, audio, video };
    onMemberStreamUrl(userId, url, audio, video);
}

void MeetingMainForm::sendCommand(const Json::Value& command)
{
    if (m_chatRoom)
        m_chatRoom->sendCommand(chatcommand::text(command));
}

// The command waits on the meeting's timer: a meeting closed in between takes it along.
void MeetingMainForm::sendCommandLater(int delayMs, const Json::Value& command)
{
    if (!m_context)
        return;
    QTimer::singleShot(delayMs, m_context, [this, command] { sendCommand(command); });
}

void MeetingMainForm::sendLianmaiList()
{
    if (!m_isHost)
        return;
    qDebug() << "[m_meetingMmeberList连麦成员数量]:" << int(m_coBroadcastMembers.size());
    chatcommand::LianmaiListInput input;
    input.hostVideoStreamId = m_pushStreamId;
    input.hostAudioStreamerId = m_hostAudioStreamerId;
    input.outputSize = m_outputSize;
    input.members = m_coBroadcastMembers;
    input.streams = m_memberStreams;
    sendCommand(chatcommand::lianmaiList(input));
}
