// Co-broadcasting and screen casting in the meeting form. The host invites members from their rows, pulls
// the stream each accepted member announces, puts it on the scene and tells the viewers who is on; the host
// also pushes its own audio as a stream of its own. A viewer answers the invitation, pushes its camera and
// microphone, registers the stream and announces it. Phone members cast their screens after the host's
// answer.
//
// Every SDP request carries the id of the connection it is for and every registration a tag of its own, so
// each answer reaches the connection or the exchange that asked, however many run at once.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "app/meetingnotice.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/meetingprompt.h"
#include "global/meetingtimings.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "net/netmanager.h"
#include "ui/messageboxdialog.h"
#include "ui/part/mirrorwidget.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

#include <jsonread/jsonread.h>
#include <zovwebrtc/devices.h>

#include <QDebug>
#include <QTimer>

namespace {

QString dataText(const char* key)
{
    if (!CD || !CD->data)
        return QString();
    return QString::fromUtf8(CD->data->get_data(key, bg::Value("")).toStdString("").c_str());
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

void notice(const QString& text) { showMeetingNotice(QString::fromUtf8("提示"), text, 1); }

void postRowState(qint64 userId, int kind)
{
    // Every row update of the co-broadcast flow leaves the row's status as it is.
    EventDeliverer::instance()->deliver(new RefreshMemItemStateEvent(userId, kind, 3));
}

// The answer's members: "sdp" Base64-decoded, and the stream id "id" read as a 64-bit integer.
struct SdpAnswer {
    QString sdp;
    qint64 id = 0;
};

SdpAnswer parseAnswer(const QString& jsonResult)
{
    SdpAnswer answer;
    const std::optional<Json::Value> root = jsonread::parseObject(utf8(jsonResult));
    if (!root)
        return answer;
    if (const std::optional<std::string> sdp = jsonread::stringOf(*root, "sdp"))
        answer.sdp = QString::fromUtf8(QByteArray::fromBase64(QByteArray::fromStdString(*sdp)));
    answer.id = chatcommand::idOf(jsonread::member(*root, "id"));
    return answer;
}

// Why the camera a video push takes (the first one listed) cannot be used; empty when it can.
QString cameraUnusable()
{
    if (zovwebrtc::list_device_num() == 0)
        return QString::fromUtf8("没有可用的摄像头");
    char name[1024] = {};
    char id[1024] = {};
    if (!zovwebrtc::get_device_name(0, name, sizeof name, id, sizeof id))
        return QString::fromUtf8("摄像头无法打开");
    return QString();
}

bg::ValueMap sdpParams(const QString& meetingKey, qint64 streamId, const QString& sdp, const QString& uuid)
{
    bg::ValueMap params;
    params["meeting_key"] = bg::Value(utf8(meetingKey));
    params["stream_id"] = bg::Value(static_cast<long long>(streamId));
    params["type"] = bg::Value(1);
    params["sdp"] = bg::Value(sdp.toUtf8().toBase64().toStdString());
    params["uuid"] = bg::Value(utf8(uuid));
    return params;
}

} // namespace

// Events from the member rows ------------------------------------------------------------------------------

bool MeetingMainForm::handleCoBroadcastEvent(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::ViewerMemberInvite: {
        const auto* invite = static_cast<ViewerMemberInviteEvent*>(event);
        inviteMember(invite->userId, invite->kind, invite->invite);
        return true;
    }
    case UserEventType::ViewerMemberDelete:
        kickMember(static_cast<ViewerMemberDeleteEvent*>(event)->userId);
        return true;
    case UserEventType::ViewerMemberTouping: {
        const auto* touping = static_cast<ViewerMemberToupingEvent*>(event);
        replyTouping(touping->userId, touping->accept);
        return true;
    }
    case UserEventType::ViewerMemberToupingEnd:
        endTouping(static_cast<ViewerMemberToupingEndEvent*>(event)->userId);
        return true;
    default:
        return false;
    }
}

void MeetingMainForm::kickMember(qint64 userId) { qDebug() << "[踢出学员ID]:" << userId; }

// Host: invitations, answers and announcements ------------------------------------------------------------

void MeetingMainForm::inviteMember(qint64 userId, int kind, bool checked)
{
    Json::Value command;
    if (checked) {
        command = chatcommand::inviteLianmai(userId, kind);
        if (!m_memberStreams.contains(userId))
            m_memberStreams.insert(userId, chatcommand::MemberStream {});
        m_invitationKinds[userId] = kind;
    } else {
        command = chatcommand::endLianmai(userId);
        m_invitationKinds[userId] = -1;
        m_hostEndedMembers.insert(userId);
    }
    qDebug() << "[学员邀请操作]:" << QString::fromStdString(chatcommand::text(command));
    sendCommand(command);
}

void MeetingMainForm::onInvitationReply(qint64 studentId, const QString& chatId, bool accept)
{
    if (m_closing)
        return;
    const MeetingMember* member = memberOf(chatId);
    if (!member || member->userId != studentId || studentId <= 0)
        return;
    const QString name = member->name;
    if (!accept) {
        postRowState(studentId, 0);
        const int kind = m_invitationKinds.value(studentId, 0);
        const QString what = kind == 1 ? QString::fromUtf8("视频") : kind == 2 ? QString::fromUtf8("语音") : QString();
        notice(QString::fromUtf8("%1 拒绝了%2连麦请求").arg(name, what));
        return;
    }
    if (CD && CD->data && allSeatsTaken(CD->data)) {
        if (!m_waitingList.contains(studentId))
            m_waitingList.append(studentId);
        return;
    }
    m_coBroadcastMembers.emplace(studentId, name);
    if (!coBroadcastOf(studentId)) {
        CoBroadcastRecord record;
        record.userId = studentId;
        record.enabledMask = 3;
        m_coBroadcasts.append(record);
    }
    ui->widget_right->addMemberTile(studentId, name);
}

void MeetingMainForm::onMemberStreamUrl(qint64 userId, const QString& url, bool audio, bool video)
{
    if (m_closing)
        return;
    if (!url.isEmpty()) {
        if (m_waitingList.contains(userId)) {
            // It accepted while every seat was taken: its stream is not taken, its co-broadcast ends.
            EventDeliverer::instance()->deliver(new ViewerMemberInviteEvent(userId, 1, false));
            postRowState(userId, 0);
            m_waitingList.removeAll(userId);
            return;
        }
        if (userId > 0 && m_coBroadcastMembers.count(userId)) {
            qDebug() << "直播连麦成员:" << userId;
            AddMeetingSource(userId, url, audio, video);
        }
        postRowState(userId, video ? 2 : audio ? 1 : 0);
        return;
    }
    RemoveMeetingSource(userId);
    if (CoBroadcastRecord* record = coBroadcastOf(userId))
        record->streamUrl.clear();
    const QString name = m_coBroadcastMembers.count(userId) ? m_coBroadcastMembers.at(userId) : memberName(userId);
    m_coBroadcastMembers.erase(userId);
    qDebug() << "[连麦结束，删除成员ID]:" << userId;
    qDebug() << "[断开连麦，删除对应学员]";
    resetMemberStreamInfo(userId);
    ui->widget_right->removeMemberTile(userId);
    postRowState(userId, 0);
    sendLianmaiList();
    // The host's own ending is no news to the host.
    if (m_hostEndedMembers.remove(userId))
        return;
    notice(QString::fromUtf8("%1 断开了连麦").arg(name));
}

void MeetingMainForm::resetMemberStreamInfo(qint64 userId)
{
    const auto stream = m_memberStreams.find(userId);
    if (stream != m_memberStreams.end())
        *stream = chatcommand::MemberStream {};
}

void MeetingMainForm::dropMemberCoBroadcast(qint64 userId)
{
    m_coBroadcastMembers.erase(userId);
    m_memberStreams.remove(userId);
    m_invitationKinds.remove(userId);
    m_waitingList.removeAll(userId);
    m_hostEndedMembers.remove(userId);
}

void MeetingMainForm::AddMeetingSource(qint64 userId, const QString& url, bool audio, bool video)
{
    CoBroadcastRecord* record = coBroadcastOf(userId);
    if (!record) {
        qDebug() << "[AddMeetingSource]未找到对应member";
        return;
    }
    record->publishedMask = (audio ? 1 : 0) | (video ? 2 : 0);
    record->streamUrl = url;
    CallMeetingMember(userId);
    sendLianmaiList();
}

void MeetingMainForm::CallMeetingMember(qint64 userId)
{
    CoBroadcastRecord* record = coBroadcastOf(userId);
    if (!record || record->enabledMask == 0 || record->streamUrl.isEmpty()) {
        qDebug() << "[CallMeetingMember]未找到对应member-1";
        return;
    }
    if (record->source)
        RemoveMemberSourceFromScene(*record);
    deleteConnection(takeConnection(record->connection));
    auto* pull = new PeerConnectionWrapper(QString(), QString(), m_factory, nullptr);
    trackConnection(pull);
    record->connection = pull;
    // The pull's pictures reach the studio as the third source named by the connection's id.
    connect(pull, &PeerConnectionWrapper::IceGatheringCompleted, this, &MeetingMainForm::requestMemberStreamSdp);
    connect(pull, &PeerConnectionWrapper::StreamReady, this, &MeetingMainForm::OnMeetingStreamReady,
        Qt::UniqueConnection);
    connect(pull, &PeerConnectionWrapper::Disconnected, this, &MeetingMainForm::OnMeetingStreamStop,
        Qt::UniqueConnection);
    const int taken = record->publishedMask & record->enabledMask;
    const bool video = taken & 2;
    qDebug() << "[连麦createOffer]";
    pull->CreateOffer(video, taken & 1);
    if (video)
        AddMemberSourceToScene(*record);
}

void MeetingMainForm::requestMemberStreamSdp(const QString& sourceId, const QString& sdp)
{
    for (const CoBroadcastRecord& record : qAsConst(m_coBroadcasts)) {
        if (record.connection && record.connection->sourceId() == sourceId) {
            connect(NetManager::instance(), &NetManager::SRVGetRtcSdpResult, this,
                &MeetingMainForm::slot_MainGetSdpResult, Qt::UniqueConnection);
            NetManager::instance()->addTask(NetManager::SRVGetRtcSdp,
                sdpParams(dataText(kRoomMeetingKeyMain), record.streamUrl.toLongLong(), sdp, sourceId));
            return;
        }
    }
}

void MeetingMainForm::onMemberAnswer(qint64 userId, bool result, const QString& jsonResult, const QString& error)
{
    const CoBroadcastRecord* record = coBroadcastOf(userId);
    if (!record || record->streamUrl.isEmpty() || !record->connection)
        return;
    if (!result) {
        // The notice runs an event loop that may close the meeting: nothing of the record is read after it.
        notice(QString::fromUtf8("连麦失败，请重试。\n错误: %1").arg(error));
        if (!m_closing)
            EventDeliverer::instance()->deliver(new ViewerMemberInviteEvent(userId, 1, false));
        return;
    }
    qDebug() << "[回填连麦sdp]";
    record->connection->SetRemoteSdp(parseAnswer(jsonResult).sdp);
    qDebug() << "[回填连麦sdp 结束]";
}

// Where a member's source starts: the place it was left, else the top-left corner, the middle or the bottom
// of the picture's left edge.
void MeetingMainForm::AddMemberSourceToScene(CoBroadcastRecord& record)
{
    if (!record.connection)
        return;
    QPoint position(0, 0);
    if (record.hasSavedPos) {
        position = record.savedPos;
    } else {
        const QSize canvas = m_outputSize.isValid() ? m_outputSize : ui->widget_center->outputSize();
        const int picture = record.connection->frameHeight();
        if (record.placement == 1)
            position.setY((canvas.height() - picture) / 2);
        else if (record.placement == 2)
            position.setY(canvas.height() - picture);
    }
    record.source = ui->widget_center->AddThirdSource(record.connection->sourceId(), position);
    qDebug() << "AddMemberSourceToScene: " << record.source;
    record.embedded = true;
}

void MeetingMainForm::RemoveMemberSourceFromScene(CoBroadcastRecord& record)
{
    if (record.source) {
        QPoint position;
        if (ui->widget_center->GetSourcePos(record.source, position)) {
            record.savedPos = position;
            record.hasSavedPos = true;
        }
        ui->widget_center->RemoveSource(record.source);
        qDebug() << "RemoveMemberSourceFromScene: " << record.source;
    }
    record.source = nullptr;
    record.embedded = false;
}

void MeetingMainForm::RemoveMeetingSource(qint64 userId)
{
    ui->widget_right->finalizeTileSource(userId);
    CoBroadcastRecord* record = coBroadcastOf(userId);
    if (!record) {
        qDebug() << "[RemoveMeetingSource]未找到对应member";
        return;
    }
    if (record->source) {
        qDebug() << "RemoveMeetingSource: " << record->source;
        RemoveMemberSourceFromScene(*record);
    }
    if (auto* mirror = qobject_cast<MirrorWidget*>(record->mirror.data())) {
        mirror->finalizeSource();
        mirror->hide();
    }
    deleteConnection(takeConnection(record->connection));
}

void MeetingMainForm::onMemberMirrorClosed(qint64 userId)
{
    if (CoBroadcastRecord* record = coBroadcastOf(userId))
        closeMemberMirror(*record);
}

// Host: its own audio as a stream of its own --------------------------------------------------------------

void MeetingMainForm::startHostAudioPush()
{
    stopHostAudioPush();
    auto* push = new PeerConnectionWrapper(QString(), QString(), m_factory, nullptr);
    trackConnection(push);
    m_hostAudioPush = push;
    push->AddAudio(false);
    connect(push, &PeerConnectionWrapper::IceGatheringCompleted, this, &MeetingMainForm::requestHostAudioPushSdp);
    connect(push, &PeerConnectionWrapper::StreamReady, this, &MeetingMainForm::onHostAudioPushReady);
    push->CreateOffer(false, false);
}

void MeetingMainForm::requestHostAudioPushSdp(const QString& sourceId, const QString& sdp)
{
    if (!m_hostAudioPush || m_hostAudioPush->sourceId() != sourceId)
        return;
    connect(NetManager::instance(), &NetManager::SRVGetRtcSdpResult, this, &MeetingMainForm::slot_MainGetSdpResult,
        Qt::UniqueConnection);
    NetManager::instance()->addTask(
        NetManager::SRVGetRtcSdp, sdpParams(dataText(kRoomMeetingKeyMain), 0, sdp, sourceId));
}

void MeetingMainForm::addHostAudioStreamer(bool result, const QString& jsonResult, const QString& error)
{
    if (!result) {
        notice(QString::fromUtf8("主持端音频推送失败。\n错误: %1").arg(error));
        return;
    }
    if (!m_hostAudioPush)
        return;
    const SdpAnswer answer = parseAnswer(jsonResult);
    m_hostAudioPush->SetRemoteSdp(answer.sdp);
    const qint64 id = answer.id;
    addStreamerRequest(dataText(kRoomMeetingKeyMain), QString::fromUtf8("主持端单独音频流"), id,
        [this, id](bool ok, int, const QString& failure) {
            if (!ok) {
                notice(QString::fromUtf8("主持端音频添加失败。\n错误: %1").arg(failure));
                return;
            }
            m_hostAudioStreamerId = id;
        });
}

void MeetingMainForm::onHostAudioPushReady() { qDebug() << "[主持人音频流已准备完毕，推流完成]"; }

void MeetingMainForm::stopHostAudioPush()
{
    m_hostAudioStreamerId = 0;
    deleteConnection(takeConnection(m_hostAudioPush));
}

void MeetingMainForm::addStreamerRequest(const QString& meetingKey, const QString& title, qint64 streamerId,
    std::function<void(bool result, int code, const QString& error)> handler)
{
    if (!m_context)
        return;
    const QString tag = nextRequestTag();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(NetManager::instance(), &NetManager::SRVAddMeetingStreamerResult, m_context,
        [tag, connection, handler](bool result, QString, int code, QString error, QString uuid) {
            if (uuid != tag)
                return;
            QObject::disconnect(*connection);
            handler(result, code, error);
        });
    bg::ValueMap params;
    params["meeting_key"] = bg::Value(utf8(meetingKey));
    params["title"] = bg::Value(utf8(title));
    params["streamer_id"] = bg::Value(static_cast<long long>(streamerId));
    params["req_id"] = bg::Value(utf8(tag));
    NetManager::instance()->addTask(NetManager::SRVAddMeetingStreamer, params);
}

// SDP answers of the co-broadcast connections, told apart by the connection's id.
bool MeetingMainForm::routeCoBroadcastAnswer(
    bool result, const QString& jsonResult, const QString& error, const QString& uuid)
{
    if (uuid.isEmpty())
        return false;
    if (m_hostAudioPush && m_hostAudioPush->sourceId() == uuid) {
        addHostAudioStreamer(result, jsonResult, error);
        return true;
    }
    if (m_coBroadcastPush && m_coBroadcastPush->sourceId() == uuid) {
        onCoBroadcastSdpResult(result, jsonResult, error);
        return true;
    }
    qint64 member = 0;
    bool found = false;
    for (const CoBroadcastRecord& record : qAsConst(m_coBroadcasts)) {
        if (record.connection && record.connection->sourceId() == uuid) {
            member = record.userId;
            found = true;
            break;
        }
    }
    // Handled outside the loop: the answer may show a notice, and with it run any event.
    if (found) {
        onMemberAnswer(member, result, jsonResult, error);
        return true;
    }
    if (m_isHost)
        qDebug() << "[slot_MainGetSdpResult]未找到对应member";
    return false;
}

// Viewer: the invitation, the push and its announcement -----------------------------------------------------

void MeetingMainForm::onInviteLianmai(int order)
{
    if (order >= 1) {
        m_invitationPending = true;
        closeInvitationDialog();
        QPointer<MeetingMainForm> self(this);
        const int answer = runInvitationDialog(order);
        if (!self || !m_invitationPending)
            return; // withdrawn, or the meeting closed, while the dialog was open
        m_invitationPending = false;
        if (answer == 1) {
            const Json::Value reply = chatcommand::receiveInvitation(m_selfMemberId, true);
            qDebug() << "[接受连麦邀请]:" << QString::fromStdString(chatcommand::text(reply));
            sendCommand(reply);
            startCoBroadcastPush(order == 1 ? 1 : 2);
        } else {
            const Json::Value reply = chatcommand::receiveInvitation(m_selfMemberId, false);
            qDebug() << "[拒绝连麦邀请]:" << QString::fromStdString(chatcommand::text(reply));
            sendCommand(reply);
        }
        return;
    }
    qDebug() << "[主持端取消连麦]";
    closeInvitationDialog();
    m_invitationPending = false;
    if (m_coBroadcasting)
        sendEndCoBroadcast();
}

int MeetingMainForm::runInvitationDialog(int order)
{
    MeetingPrompt prompt;
    prompt.title = QString::fromUtf8("提示");
    prompt.text = QString::fromUtf8("主持人邀请进行%1连麦，是否接受？")
                      .arg(order == 1 ? QString::fromUtf8("视频") : QString::fromUtf8("语音"));
    prompt.buttons = 3;
    prompt.okText = QString::fromUtf8("接受");
    prompt.cancelText = QString::fromUtf8("拒绝");
    if (hasMeetingPromptHook())
        return runMeetingPrompt(prompt, this);
    // The box is kept so that a withdrawal or the meeting's end can close it.
    QPointer<MessageBoxDialog> box = new MessageBoxDialog(prompt.text, prompt.buttons, prompt.title, this);
    box->setButtonTexts(prompt.okText, prompt.cancelText);
    m_invitationDialog = box;
    const int answer = box->exec();
    delete box.data();
    return answer;
}

void MeetingMainForm::closeInvitationDialog()
{
    if (m_invitationDialog)
        m_invitationDialog->reject();
    m_invitationDialog.clear();
}

void MeetingMainForm::startCoBroadcastPush(int order)
{
    // A video push without a picture would leave both sides waiting: it fails at once, and the host's row
    // and tile return to normal on the ending announcement.
    if (order == 1) {
        const QString reason = cameraUnusable();
        if (!reason.isEmpty()) {
            m_coBroadcastOrder = order;
            sendEndCoBroadcast();
            notice(QString::fromUtf8("[观看端]开启连麦失败。\n[摄像头]错误: %1").arg(reason));
            return;
        }
    }
    dropOwnCoBroadcastConnection();
    auto* push = new PeerConnectionWrapper(QString(), QString(), m_factory, nullptr);
    trackConnection(push);
    m_coBroadcastPush = push;
    m_coBroadcastOrder = order;
    push->AddAudio(false);
    if (order == 1)
        push->AddCamera();
    connect(push, &PeerConnectionWrapper::IceGatheringCompleted, this, &MeetingMainForm::requestCoBroadcastSdp);
    connect(push, &PeerConnectionWrapper::StreamReady, this, &MeetingMainForm::onCoBroadcastStreamReady);
    push->CreateOffer(false, false);
    m_coBroadcasting = true;
    if (order == 1)
        qDebug() << "[视频连麦_CreateOffer]";
}

void MeetingMainForm::requestCoBroadcastSdp(const QString& sourceId, const QString& sdp)
{
    if (!m_coBroadcastPush || m_coBroadcastPush->sourceId() != sourceId)
        return;
    connect(NetManager::instance(), &NetManager::SRVGetRtcSdpResult, this, &MeetingMainForm::slot_MainGetSdpResult,
        Qt::UniqueConnection);
    NetManager::instance()->addTask(
        NetManager::SRVGetRtcSdp, sdpParams(dataText(kRoomMeetingKeyClient), 0, sdp, sourceId));
}

void MeetingMainForm::onCoBroadcastSdpResult(bool result, const QString& jsonResult, const QString& error)
{
    if (!result) {
        notice(QString::fromUtf8("[观看端]开启连麦失败。\n[接口GetRtcSdp]错误: %1").arg(error));
        // Closing, had it come during the notice, has ended the co-broadcast already.
        if (!m_closing)
            sendEndCoBroadcast();
        return;
    }
    if (!m_coBroadcastPush)
        return;
    const SdpAnswer answer = parseAnswer(jsonResult);
    m_coBroadcastPush->SetRemoteSdp(answer.sdp);
    const qint64 id = answer.id;
    const bool video = m_coBroadcastOrder == 1;
    QPointer<PeerConnectionWrapper> push = m_coBroadcastPush;
    addStreamerRequest(dataText(kRoomMeetingKeyClient), QString::fromUtf8("连麦流"), id,
        [this, id, video, push](bool ok, int code, const QString& failure) {
            // An answer for a push that ended meanwhile announces nothing.
            if (!push || push != m_coBroadcastPush)
                return;
            onCoBroadcastStreamerResult(ok, code, failure, id, video);
        });
    qDebug() << "[开始调用SRVAddMeetingStreamer接口]";
}

void MeetingMainForm::onCoBroadcastStreamerResult(
    bool result, int code, const QString& error, qint64 streamerId, bool video)
{
    if (!result) {
        notice(video ? QString::fromUtf8("[观看端]开启连麦失败。\n[接口AddMeetingStreamer]错误: %1").arg(error)
                     : QString::fromUtf8("[观看端]开启连麦失败。\n[接口AddMeetingStreamer]错误: %1 %2")
                           .arg(code)
                           .arg(error));
        // An unregistered push is never announced: the co-broadcast ends, and the host frees the seat.
        if (!m_closing)
            sendEndCoBroadcast();
        return;
    }
    qDebug() << "[SRVAddMeettingStreamer]接口调用成功";
    if (m_chatRoom)
        sendCommandLater(meetingTimings().delayedCommandMs,
            chatcommand::streamUrl(m_selfMemberId, streamerId, true, video));
}

void MeetingMainForm::onCoBroadcastStreamReady(const QString& sourceId)
{
    auto* push = m_coBroadcastPush.data();
    if (!push || push->sourceId() != sourceId)
        return;
    ui->widget_right->addSelfTile(m_coBroadcastOrder == 1 ? sourceId : QString());
    disconnect(push, &PeerConnectionWrapper::StreamReady, this, &MeetingMainForm::onCoBroadcastStreamReady);
}

void MeetingMainForm::sendEndCoBroadcast()
{
    m_coBroadcasting = false;
    const Json::Value ended = chatcommand::streamUrlEnded(m_selfMemberId);
    qDebug() << "[结束连麦操作]:" << QString::fromStdString(chatcommand::text(ended));
    sendCommand(ended);
    ui->widget_right->removeSelfTile();
    dropOwnCoBroadcastConnection();
}

void MeetingMainForm::dropOwnCoBroadcastConnection() { deleteConnection(takeConnection(m_coBroadcastPush)); }

// Screen cast ----------------------------------------------------------------------------------------------

void MeetingMainForm::addScreenCastRequester(qint64 userId)
{
    if (userId > 0 && !m_screenCastRequesters.contains(userId))
        m_screenCastRequesters.append(userId);
}

void MeetingMainForm::replyTouping(qint64 userId, bool accept)
{
    if (!accept) {
        if (m_chatRoom)
            sendCommand(chatcommand::receiveTouping(userId, false));
        m_screenCastRequesters.removeAll(userId);
        return;
    }
    m_screenCast.userId = userId;
    m_screenCast.enabledMask = 3;
    // The accepted member learns it, and every other waiting requester learns it was not chosen.
    if (m_chatRoom) {
        sendCommand(chatcommand::receiveTouping(userId, true));
        for (qint64 requester : qAsConst(m_screenCastRequesters)) {
            if (requester != userId)
                sendCommand(chatcommand::receiveTouping(requester, false));
        }
    }
    m_screenCastRequesters.clear();
}

void MeetingMainForm::endTouping(qint64 userId)
{
    if (!m_chatRoom)
        return;
    const Json::Value command = chatcommand::endTouping(userId);
    qDebug() << "[json_requst:END_TOUPING]:" << QString::fromStdString(chatcommand::text(command));
    sendCommand(command);
}

void MeetingMainForm::OnToupingStreamReady(QString sourceId, bool hasAudio, bool hasVideo)
{
    Q_UNUSED(sourceId);
    Q_UNUSED(hasAudio);
    qDebug() << "[投屏StreamReady]";
    if (!m_screenCast.connection)
        return;
    if (hasVideo)
        ui->widget_right->initializeTileSource(
            m_screenCast.userId, m_screenCast.connection->sourceId().toUtf8().constData());
    if (m_screenCast.embedded && !m_screenCast.source)
        AddMemberSourceToScene(m_screenCast);
    if (m_screenCast.mirrored)
        mirrorMember(m_screenCast);
}

void MeetingMainForm::OnToupingStreamStop()
{
    const qint64 userId = m_screenCast.userId;
    removeScreenCastSource(userId);
    postRowState(userId, 3);
}

void MeetingMainForm::removeScreenCastSource(qint64 userId)
{
    if (userId == -1 || userId != m_screenCast.userId)
        return;
    QPointer<PeerConnectionWrapper> connection = m_screenCast.connection;
    m_screenCast.connection.clear();
    if (void* source = m_screenCast.source) {
        m_screenCast.source = nullptr;
        QPoint position;
        if (ui->widget_center->GetSourcePos(source, position)) {
            m_screenCast.savedPos = position;
            m_screenCast.hasSavedPos = true;
        }
        qDebug() << "RemoveMeetingSource: " << source;
        ui->widget_center->RemoveSource(source);
    }
    if (auto* mirror = qobject_cast<MirrorWidget*>(m_screenCast.mirror.data())) {
        mirror->finalizeSource();
        mirror->hide();
    }
    deleteConnection(connection.data());
    m_screenCast.streamUrl.clear();
    m_screenCast.userId = -1;
}

// Closing: nothing of the co-broadcast outlives its meeting ---------------------------------------------------

void MeetingMainForm::closeCoBroadcast()
{
    closeInvitationDialog();
    m_invitationPending = false;
    m_coBroadcasting = false;
    if (m_coBroadcastPush)
        ui->widget_right->removeSelfTile();
    dropOwnCoBroadcastConnection();
    stopHostAudioPush();
    removeScreenCastSource(m_screenCast.userId);
    m_screenCastRequesters.clear();
    // Every pull is taken out of its record first, then deleted.
    QList<PeerConnectionWrapper*> pulls;
    for (CoBroadcastRecord& record : m_coBroadcasts) {
        if (PeerConnectionWrapper* pull = takeConnection(record.connection))
            pulls.append(pull);
    }
    for (PeerConnectionWrapper* pull : qAsConst(pulls))
        deleteConnection(pull);
    m_invitationKinds.clear();
    m_waitingList.clear();
    m_hostEndedMembers.clear();
    m_coBroadcastMembers.clear();
    m_memberStreams.clear();
}

// Viewer: another member's co-broadcast tile; an empty url drops it.
void MeetingMainForm::showMemberStreamTile(qint64 userId, const QString& url)
{
    if (url.isEmpty()) {
        ui->widget_right->dropMemberTile(userId);
        return;
    }
    qDebug() << "[need to find_UserId]:" << userId;
    for (const MeetingMember& member : qAsConst(m_members)) {
        if (member.userId == userId) {
            ui->widget_right->addInvitingTile(userId, member.name);
            return;
        }
    }
}
