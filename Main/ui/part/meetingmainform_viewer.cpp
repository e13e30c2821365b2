// A viewer's meeting: the pull of the host's picture and its SDP exchange, the chat room joined on the first
// answer, the picture handed to the renderers on the GUI thread, the host's separate audio.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "app/meetingnotice.h"
#include "app/zovmeetingapplication.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/meetingtimings.h"
#include "global/openglpresence.h"
#include "global/roomkeys.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "net/netmanager.h"

#include <bridge/bg_log.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

#include <jsonread/jsonread.h>

#include <QDebug>
#include <QTimer>

#include <optional>
#include <string>

namespace {

constexpr int kMaxSdpResultCount = 10;
constexpr int kJoinAttempts = 3;

QString dataText(const char* key)
{
    if (!CD || !CD->data)
        return QString();
    return QString::fromUtf8(CD->data->get_data(key, bg::Value("")).toStdString("").c_str());
}

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

void notice(const QString& text) { showMeetingNotice(QString::fromUtf8("提示"), text, 1); }

void closeMeetingNow(const char* why)
{
    BG_LOGE("[CloseMeeting]:%s", why);
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
}

// The answer's "sdp" member, Base64-decoded; empty when the reply is not such an object.
QString answerSdp(const QString& jsonResult)
{
    const std::optional<Json::Value> answer = jsonread::parseObject(jsonResult.toUtf8().toStdString());
    if (!answer)
        return QString();
    const std::string sdp = jsonread::stringOf(*answer, "sdp").value_or(std::string());
    return QString::fromUtf8(QByteArray::fromBase64(QByteArray::fromStdString(sdp)));
}

int rotationDegrees(int index)
{
    switch (index) {
    case 1:
        return 90;
    case 2:
        return 180;
    case 3:
        return 270;
    default:
        return 0;
    }
}

void showInFullScreen(const I420FramePtr& frame)
{
    if (auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance()))
        app->showFullScreenFrame(frame);
}

} // namespace

void MeetingMainForm::startViewerMeeting(const V3ReadyToAddMeetingEvent& event)
{
    newMeetingContext();
    m_title = event.title;
    m_mainStreamId = event.mainStreamId;
    m_nickname = event.userName;
    m_roomId = event.roomId;
    m_roomPwd = event.roomPwd;
    m_chatHost = event.chatHost;
    m_chatWss = event.chatWss;
    setLiveTime(QStringLiteral("00:00:00"));
    showViewerRenderer();

    m_isHost = CD && CD->data && CD->data->get_data(kRoomIsHost, bg::Value(false)).toBool();
    m_firstMemberList = true;
    m_firstAnswer = true;
    m_closing = false;
    m_rotation.store(0);
    m_sdpResultCount = 0;
    m_hostAudioStreamId = 0;
    m_hostAudioScheduled = false;
    m_pendingCoBroadcasters.clear();
    ui->widget_right->resetTilesForViewer();

    deleteConnection(takeConnection(m_mainPull));
    auto* pull = new PeerConnectionWrapper(QString(), QString(), m_factory, nullptr);
    trackConnection(pull);
    m_mainPull = pull;
    connect(pull, &PeerConnectionWrapper::StreamReady, this, &MeetingMainForm::onViewerStreamReady);
    connect(pull, &PeerConnectionWrapper::IceGatheringCompleted, this, &MeetingMainForm::requestMainStreamSdp);
    connect(pull, &PeerConnectionWrapper::Disconnected, this, &MeetingMainForm::onViewerDisconnected);
    pull->observer = static_cast<RemoteVideoObserver*>(this);
    pull->CreateOffer(true, true);
}

void MeetingMainForm::showViewerRenderer()
{
    ui->widget_center->hide();
    m_useOpenGL = hasOpenGL();
    if (m_useOpenGL)
        openGLRenderer()->show();
    else if (m_openGLRenderer)
        m_openGLRenderer->hide();
    ui->widget_painter_center->setVisible(!m_useOpenGL);
}

OpenGLWidget* MeetingMainForm::openGLRenderer()
{
    if (!m_openGLRenderer) {
        m_openGLRenderer = new OpenGLWidget(this);
        m_openGLRenderer->setObjectName(QStringLiteral("openGLWidget_center"));
        m_openGLRenderer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        ui->verticalLayout_left->insertWidget(0, m_openGLRenderer, 1);
    }
    return m_openGLRenderer;
}

void MeetingMainForm::requestMainStreamSdp(const QString& sourceId, const QString& sdp)
{
    // A pull that was replaced in the meantime has nobody waiting for its answer.
    if (!m_mainPull || sourceId != m_mainPull->sourceId())
        return;
    connect(NetManager::instance(), &NetManager::SRVGetRtcSdpResult, this, &MeetingMainForm::slot_MainGetSdpResult,
        Qt::UniqueConnection);
    bg::ValueMap params;
    params["meeting_key"] = bg::Value(utf8(dataText(kRoomMeetingKeyClient)));
    params["stream_id"] = bg::Value(static_cast<long long>(m_mainStreamId));
    params["type"] = bg::Value(1);
    params["sdp"] = bg::Value(sdp.toUtf8().toBase64().toStdString());
    params["uuid"] = bg::Value(utf8(sourceId));
    NetManager::instance()->addTask(NetManager::SRVGetRtcSdp, params);
}

void MeetingMainForm::slot_MainGetSdpResult(
    bool result, QString jsonResult, int errorCode, QString error, QString uuid, QString sdp)
{
    Q_UNUSED(errorCode);
    Q_UNUSED(sdp);
    if (m_closing)
        return;
    // The answer is the service's text: whatever escapes its handling fails that answer alone.
    std::string failure;
    const bool handled = jsonread::guarded(
        [&] {
            if (m_mainPull && uuid == m_mainPull->sourceId()) {
                onMainAnswer(result, jsonResult, error);
                return;
            }
            if (m_mainAudioRTCSource && uuid == m_mainAudioRTCSource->sourceId()) {
                onHostAudioAnswer(result, jsonResult, error);
                return;
            }
            if (routeCoBroadcastAnswer(result, jsonResult, error, uuid))
                return;
            qDebug() << "[slot_MainGetSdpResult] no connection has the id" << uuid;
        },
        &failure);
    if (!handled)
        BG_LOGE("SDP answer not handled: %s", failure.c_str());
}

void MeetingMainForm::onMainAnswer(bool result, const QString& jsonResult, const QString& error)
{
    if (m_sdpResultCount < kMaxSdpResultCount)
        ++m_sdpResultCount;
    if (!result) {
        notice(m_firstAnswer ? QString::fromUtf8("加入直播失败。\n错误: %1").arg(error)
                             : QString::fromUtf8("直播已断开"));
        closeMeetingNow("观看端拉流应答失败");
        return;
    }
    const QString remote = answerSdp(jsonResult);
    if (!remote.isEmpty())
        m_mainPull->SetRemoteSdp(remote);
    if (!m_firstAnswer)
        return;
    m_firstAnswer = false;
    qDebug() << "[开始加入聊天室]:" << m_nickname;
    if (!joinChatRoom(m_nickname)) {
        notice(QString::fromUtf8("加入聊天室失败"));
        closeMeetingNow("观看端加入聊天室失败");
        return;
    }
    qDebug() << "[开始左下角计时]";
    startViewerClock();
}

void MeetingMainForm::onHostAudioAnswer(bool result, const QString& jsonResult, const QString& error)
{
    if (!result) {
        notice(QString::fromUtf8("获取主持端音频失败。\n错误: %1").arg(error));
        return;
    }
    const QString remote = answerSdp(jsonResult);
    if (!remote.isEmpty() && m_mainAudioRTCSource)
        m_mainAudioRTCSource->SetRemoteSdp(remote);
}

bool MeetingMainForm::joinChatRoom(const QString& nickname)
{
    setData(kRoomChatHost, bg::Value(utf8(m_chatHost)));
    setData(kRoomChatHostWs, bg::Value(utf8(m_chatWss)));
    m_chatRoom = std::make_unique<cr::ChatRoom>(this);
    m_selfMemberId = 0;
    qDebug() << "[聊天室房间号]:" << m_roomId << "[密码]:" << QStringLiteral("***(%1)").arg(m_roomPwd.size());

    cr::ChatRoom::RespJoinRoom joined;
    for (int attempt = 0; attempt < kJoinAttempts; ++attempt) {
        std::string error;
        if (m_chatRoom->joinRoom(utf8(m_roomId), 0, utf8(m_roomPwd), joined, error)) {
            m_joinText = QString::fromStdString(joined.token);
            m_selfMemberId = joined.memberId;
            setData(kRoomSelfUserId, bg::Value(static_cast<long long>(m_selfMemberId)));
            // An unusable socket address does not get better with another join.
            if (!m_chatRoom->wsConnect(utf8(m_roomId), joined.token, utf8(nickname), m_selfMemberId, "", true)) {
                qDebug() << "wsConnect fail! address:" << m_chatWss;
                return false;
            }
            return true;
        }
        qDebug() << "joinRoom fail! error: " << QString::fromStdString(error);
    }
    return false;
}

void MeetingMainForm::startViewerClock() { startClock(); }

void MeetingMainForm::onViewerStreamReady()
{
    if (m_closing || sender() != m_mainPull.data() || !m_context)
        return;
    qDebug() << "[观看端拉流成功，退出键恢复可用]";
    QTimer::singleShot(meetingTimings().streamReadyMs, m_context,
        [] { EventDeliverer::instance()->deliver(new V3StreamReadyEvent); });
}

void MeetingMainForm::onViewerDisconnected()
{
    if (m_closing || sender() != m_mainPull.data())
        return;
    qDebug() << "[主流断开，关闭直播界面]";
    closeMeetingNow("主流断开，关闭直播界面");
}

void MeetingMainForm::pullHostAudio()
{
    deleteConnection(takeConnection(m_mainAudioRTCSource));
    if (m_hostAudioStreamId == 0) {
        qDebug() << "[audio_id是0，直接退出]";
        return;
    }
    auto* pull = new PeerConnectionWrapper(QString(), QString(), m_factory, nullptr);
    trackConnection(pull);
    m_mainAudioRTCSource = pull;
    qDebug() << "[m_mainAudioRTCSource_AUDIO音频流ID]:" << m_hostAudioStreamId;
    connect(pull, &PeerConnectionWrapper::IceGatheringCompleted, this, &MeetingMainForm::requestV3RtcSdp);
    pull->CreateOffer(false, true);
}

void MeetingMainForm::requestV3RtcSdp(const QString& sourceId, const QString& sdp)
{
    if (!m_mainAudioRTCSource || sourceId != m_mainAudioRTCSource->sourceId())
        return;
    connect(NetManager::instance(), &NetManager::V3GetRtcSdpResult, this, &MeetingMainForm::slot_MainGetSdpResult,
        Qt::UniqueConnection);
    bg::ValueMap params;
    params["streamId"] = bg::Value(static_cast<long long>(m_hostAudioStreamId));
    // Nothing in the program writes these two keys: both go out empty.
    params["host"] = bg::Value(utf8(dataText("meeting.addhost")));
    params["sdp"] = bg::Value(utf8(sdp));
    params["token"] = bg::Value(utf8(dataText("meeting.addtoken")));
    params["uuid"] = bg::Value(utf8(sourceId));
    NetManager::instance()->addTask(NetManager::V3GetRtcSdp, params);
}

// The viewer's part of closing: the renderers go black and the pulls go; nothing they queued shows later.
void MeetingMainForm::closeViewer()
{
    if (m_isHost)
        return;
    const I420FramePtr empty;
    if (m_useOpenGL)
        openGLRenderer()->setFrame(empty);
    else
        ui->widget_painter_center->setFrame(empty);
    showInFullScreen(empty);
    deleteConnection(takeConnection(m_mainPull));
    deleteConnection(takeConnection(m_mainAudioRTCSource));
    m_hostAudioScheduled = false;
}


// Frames come on the connection's thread: the form keeps its own reference and renders on the GUI thread,
// and only the current pull's frames are shown. One picture per connection waits for the GUI thread; a
// newer one replaces it, so a blocked GUI thread does not pile up a queued call per frame.
void MeetingMainForm::onRemoteFrame(const char* sourceId, const I420FramePtr& frame)
{
    if (!frame)
        return;
    const QString id = QString::fromUtf8(sourceId ? sourceId : "");
    if (!m_pendingFrames.put(id, frame))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (I420FramePtr waiting = m_pendingFrames.take(id))
                deliverFrame(id, std::move(waiting));
        },
        Qt::QueuedConnection);
}

void MeetingMainForm::deliverFrame(const QString& sourceId, I420FramePtr frame)
{
    if (m_closing || !m_mainPull || sourceId != m_mainPull->sourceId())
        return;
    slot_Render(std::move(frame));
}

void MeetingMainForm::slot_Render(I420FramePtr frame)
{
    if (!frame)
        return;
    frame->rotation = rotationDegrees(m_rotation.load());
    if (m_useOpenGL)
        openGLRenderer()->setFrame(frame);
    else
        ui->widget_painter_center->setFrame(frame);
    showInFullScreen(frame);
}
