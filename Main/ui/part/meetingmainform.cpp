#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "app/localserver.h"
#include "app/meetingnotice.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/meetingclock.h"
#include "global/processlauncher.h"
#include "global/randomsource.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"
#include "net/netmanager.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>
#include <zovwebrtc/zovwebrtc.h>

#include <QDebug>
#include <QDir>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <utility>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/meetingmainform.css";
constexpr char kBallProgram[] = "ZovMeetingBall";
constexpr quint16 kBallFirstPort = 20000;
constexpr int kBallPortCount = 100;
constexpr int kClockIntervalMs = 500;
constexpr qint64 kLiveTimeLimitSecs = 86400;
constexpr int kRoomPasswordLength = 16;

const int kRegisteredEvents[] = { UserEventType::CloseMeeting, UserEventType::SendChatMsg,
    UserEventType::ViewerMemberDelete, UserEventType::ViewerMemberInvite, UserEventType::ViewerMemberTouping,
    UserEventType::ViewerMemberToupingEnd, UserEventType::ShowNormalWindow, UserEventType::V3ReadyToCreateMeeting,
    UserEventType::V3ReadyToAddMeeting, UserEventType::V3ControlSystemAudio, UserEventType::V3ControlMicroAudio,
    UserEventType::V3StreamReady };

bg::Value dataValue(const char* key, const bg::Value& fallback)
{
    return CD && CD->data ? CD->data->get_data(key, fallback) : fallback;
}

QString dataText(const char* key)
{
    const bg::Value value = dataValue(key, bg::Value(""));
    return QString::fromUtf8(value.toStdString("").c_str());
}

bg::Abstract_Config* config() { return CD ? CD->config : nullptr; }

// A secret as the log may show it: its length only.
QByteArray masked(const QString& secret)
{
    return QByteArray("***(") + QByteArray::number(secret.size()) + ")";
}

void notice(const QString& text) { showMeetingNotice(QString::fromUtf8("提示"), text, 1); }

void closeMeetingLater() { EventDeliverer::instance()->deliver(new CloseMeetingEvent); }

QString styledJson(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

// The studio keeps its profile in the user's configuration folder.
QString studioProfilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return base + "/Tavimeet/Basic.ini";
}

} // namespace

MeetingMainForm::MeetingMainForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MeetingMainForm>())
{
    ui->setupUi(this);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    for (int type : kRegisteredEvents)
        EventDeliverer::instance()->registerReceiver(type, this);

    connect(ui->widget_center, &ZovMWidget::SignalStreamingStarted, this, &MeetingMainForm::SlotStreamStarted);
    connect(ui->widget_center, &ZovMWidget::SignalStreamingStoped, this, &MeetingMainForm::SlotStreamStoped);
    connect(ui->widget_right, &MeetingMemberForm::SignalForbiddenAll, this, &MeetingMainForm::OnForbiddenAll);

    ui->widget_center->Initialize(studioProfilePath());
    ui->widget_center->SetRateControl(EncodeRateControl_Constant);
    ui->widget_center->SetVideoBitRate(1000);
    ui->widget_center->ResetOutputs();
    m_factory = zovwebrtc::create_peer_connection_factory(nullptr);
    connectSources();
    buildCommandTables();
}

MeetingMainForm::~MeetingMainForm()
{
    for (int type : kRegisteredEvents)
        EventDeliverer::instance()->unregisterReceiver(type, this);
    closeChatRoomDialog();
    closeMemberListDialog();
    delete m_context;
    m_chatRoom.reset();
    ui->widget_center->disconnect(this);
    ui->widget_center->StopStreaming();
    delete m_localServer;
    // Every connection made through the factory goes before it.
    releaseConnections();
    zovwebrtc::destroy_peer_connection_factory(&m_factory);
}

void MeetingMainForm::trackConnection(PeerConnectionWrapper* connection)
{
    // Connections deleted since are dropped, so the list holds only the living ones.
    m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                            [](const QPointer<PeerConnectionWrapper>& tracked) { return tracked.isNull(); }),
        m_connections.end());
    if (connection)
        m_connections.append(QPointer<PeerConnectionWrapper>(connection));
}

void MeetingMainForm::releaseConnections()
{
    const QList<QPointer<PeerConnectionWrapper>> connections = std::exchange(m_connections, {});
    for (const QPointer<PeerConnectionWrapper>& connection : connections)
        delete connection.data();
}

PeerConnectionWrapper* MeetingMainForm::takeConnection(QPointer<PeerConnectionWrapper>& slot)
{
    PeerConnectionWrapper* connection = slot.data();
    slot.clear();
    return connection;
}

void MeetingMainForm::deleteConnection(PeerConnectionWrapper* connection)
{
    if (!connection)
        return;
    connection->disconnect(this);
    delete connection;
}

bool MeetingMainForm::event(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::CloseMeeting:
        closeMeeting();
        return true;
    case UserEventType::SendChatMsg:
        sendChatText(static_cast<SendChatMsg*>(event)->text);
        return true;
    case UserEventType::ShowNormalWindow:
        return true;
    case UserEventType::V3ReadyToCreateMeeting:
        startHostMeeting(*static_cast<V3ReadyToCreateMeetingEvent*>(event));
        return true;
    case UserEventType::V3ReadyToAddMeeting:
        startViewerMeeting(*static_cast<V3ReadyToAddMeetingEvent*>(event));
        return true;
    default:
        return handleSourceEvent(event) || handleCoBroadcastEvent(event) || QWidget::event(event);
    }
}

QString MeetingMainForm::pushAddress(const QString& roomHost, const QString& meetingKey)
{
    QString host = roomHost;
    if (host.startsWith(QLatin1String("http://")))
        host.replace(0, 7, QStringLiteral("webrtc://"));
    else if (host.startsWith(QLatin1String("https://")))
        host.replace(0, 8, QStringLiteral("webrtcs://"));
    return QStringLiteral("%1/test/getRtcSdp?meetting_key=%2&main=1").arg(host, meetingKey);
}

QString MeetingMainForm::clockText(qint64 seconds)
{
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

QString MeetingMainForm::liveTimeText() const { return ui->widget_ctrl->liveTime(); }

void MeetingMainForm::setLiveTime(const QString& text) { ui->widget_ctrl->setLiveTime(text); }

void MeetingMainForm::killWhiteBoard() { ui->widget_ctrl->killWhiteBoard(); }

void MeetingMainForm::newMeetingContext()
{
    delete m_context;
    m_context = new QObject(this);
    m_clockTimer = nullptr;
    m_addStreamerTag.clear();
}

QString MeetingMainForm::nextRequestTag()
{
    return QStringLiteral("meeting-%1-%2").arg(quintptr(this), 0, 16).arg(++m_requestSerial);
}

void MeetingMainForm::startHostMeeting(const V3ReadyToCreateMeetingEvent& event)
{
    if (!m_closing) {
        BG_LOGW("[startHostMeeting] a meeting is running; the start is ignored");
        return;
    }
    newMeetingContext();
    m_title = event.title;
    // Each meeting's chat room gets a password of its own.
    m_roomPwd = randomAlnum(kRoomPasswordLength);
    m_area = event.area;
    m_audioMode = event.audioMode;
    m_viewer = event.viewer;
    m_liveTimeLimit = kLiveTimeLimitSecs;
    setNormalCancel(false);
    m_isHost = dataValue(kRoomIsHost, bg::Value(true)).toBool();

    ui->widget_right->resetTilesForHost();
    ui->widget_center->show();
    ui->widget_painter_center->hide();
    if (m_openGLRenderer)
        m_openGLRenderer->hide();

    m_chatHost = dataText(kRoomChatHostMain);
    m_chatWss = dataText(kRoomChatWssMain);
    m_closing = false;
    setLiveTime(QStringLiteral("00:00:00"));

    setupEncoder();

    const QString meetingKey = dataText(kRoomMeetingKeyMain);
    m_hostMeetingKey = meetingKey;
    const QString address = pushAddress(dataText(kRoomServiceHost), meetingKey);
    const QString token = dataText(kRoomUserToken);
    qDebug() << "[server_url]:" << address;
    qDebug() << "[user_token]:" << masked(token);
    ui->widget_center->StartStreaming(address.toUtf8().constData(), token.toUtf8().constData(), "", "");
}

void MeetingMainForm::setupEncoder()
{
    ZovMWidget* studio = ui->widget_center;
    m_outputSize = cfgGetSize(config(), kCfgVideoSize, 1280, 720, true);
    studio->ResetVideoSize(m_outputSize.width(), m_outputSize.height());
    cfgSetSize(config(), kCfgLastMeetingSize, m_outputSize);
    m_portrait = m_outputSize.width() <= m_outputSize.height();

    studio->SetFps(cfgGetInt(config(), kCfgVideoFps, 30, false));
    studio->SetVideoKeyFrameSec(cfgGetInt(config(), kCfgVideoKeyFrameSec, 3, false));
    studio->SetEncoder(cfgGetInt(config(), kCfgVideoEncoder, 1, false) == 1 ? VideoEncoder_Hardware
                                                                             : VideoEncoder_Software);
    studio->DisableBFrame();
    studio->ResetOutputs();
    studio->InitializePreview();

    clearCoBroadcasts();

    if (!m_desktopSource) {
        if (m_area.isValid() && m_area.width() != 0 && m_area.height() != 0)
            m_desktopSource
                = studio->AddPartDesktopCapture(m_area.x(), m_area.y(), m_area.width(), m_area.height());
        else
            m_desktopSource = studio->AddDesktopCapture();
    }
    studio->AddDesktopAudio();
    studio->AddMicrophoneSource();

    qDebug() << "[控制声音]";
    switch (m_audioMode) {
    case 0:
        qDebug() << "[仅系统声音]";
        studio->MuteMicrophone(true);
        studio->MuteDesktopAudio(false);
        break;
    case 1:
        qDebug() << "[仅麦克风声音]";
        studio->MuteMicrophone(false);
        studio->MuteDesktopAudio(true);
        break;
    case 2:
        qDebug() << "[系统声音和麦克风声音]";
        studio->MuteMicrophone(false);
        studio->MuteDesktopAudio(false);
        break;
    case 3:
        qDebug() << "[不开启声音]";
        studio->MuteMicrophone(true);
        studio->MuteDesktopAudio(true);
        break;
    default:
        // The studio keeps its switches from the meeting before: an unknown mode silences nothing.
        studio->MuteMicrophone(false);
        studio->MuteDesktopAudio(false);
        break;
    }
    qDebug() << "[控制声音完成]";

    startBall();
}

void MeetingMainForm::startBall()
{
    if (m_localServer)
        return;
    m_localServer = new LocalServer;
    connect(m_localServer, &LocalServer::message, this, &MeetingMainForm::OnLocalServerMessage);
    m_ballPort = 0;
    for (int i = 0; i < kBallPortCount; ++i) {
        if (m_localServer->listen(quint16(kBallFirstPort + i))) {
            m_ballPort = quint16(kBallFirstPort + i);
            break;
        }
    }
    fprintf(stderr, "socket port:%d\n", int(m_ballPort));
    if (m_ballPort == 0)
        return;
    const QStringList args { QString::number(m_ballPort) };
    qDebug() << "command:" << kBallProgram << args;
    if (!launchHelperProgram(QString::fromLatin1(kBallProgram), args))
        BG_LOGW("[ZovMeetingBall] not started: no such program beside the client or on PATH");
}

void MeetingMainForm::sendBall(const QString& json)
{
    if (m_localServer)
        m_localServer->broadcast(json);
}

void MeetingMainForm::SlotStreamStarted()
{
    if (m_closing) {
        // A push that connects after its meeting ended has nobody to serve.
        ui->widget_center->StopStreaming();
        return;
    }
    qDebug() << "[SlotStreamStarted]推流成功，开始创建聊天室。";
    m_streaming = true;
    m_pushStreamId = ui->widget_center->GetWebrtcRoomID();
    qDebug() << "[webRTC_Stream_ID]:" << m_pushStreamId;

    if (!createChatRoom()) {
        notice(QString::fromUtf8("加入聊天室失败"));
        BG_LOGE("[CloseMeeting]:主持端创建加入聊天室失败");
        closeMeetingLater();
        return;
    }
    addMeetingStreamer();

    qDebug() << "[开始计时]";
    if (m_recording) {
        ui->widget_center->SetRecordDir(QString::fromStdString(cfgGetString(config(), kCfgRecordDir, "")));
        ui->widget_center->StartRecording();
    }
    EventDeliverer::instance()->deliver(new V3StreamReadyEvent);
    startClock();
}

void MeetingMainForm::addMeetingStreamer()
{
    const QString tag = nextRequestTag();
    m_addStreamerTag = tag;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(NetManager::instance(), &NetManager::SRVAddMeetingStreamerResult, m_context,
        [this, tag, connection](bool result, QString json, int code, QString error, QString uuid) {
            if (uuid != tag)
                return;
            QObject::disconnect(*connection);
            onAddStreamerResult(result, json, code, error);
        });
    bg::ValueMap params;
    params["meeting_key"] = bg::Value(dataText(kRoomMeetingKeyMain).toStdString());
    params["title"] = bg::Value(m_title.toStdString());
    params["streamer_id"] = bg::Value(static_cast<long long>(m_pushStreamId));
    params["room_id"] = bg::Value(m_roomId.toStdString());
    params["room_pwd"] = bg::Value(m_roomPwd.toStdString());
    params["main"] = bg::Value(true);
    params["req_id"] = bg::Value(tag.toStdString());
    NetManager::instance()->addTask(NetManager::SRVAddMeetingStreamer, params);
}

void MeetingMainForm::onAddStreamerResult(bool result, const QString& json, int code, const QString& error)
{
    Q_UNUSED(json);
    if (!result) {
        notice(QString::fromUtf8("开启直播失败。\n错误:[add streamer] %1 %2").arg(code).arg(error));
        BG_LOGE("[CloseMeeting]:主持端推送主流加入会流失败");
        closeMeetingLater();
        return;
    }
    BG_LOGD("[SRVAddMeettingStreamer]接口调用成功");
    startHostAudioPush();
}

void MeetingMainForm::SlotStreamStoped()
{
    qDebug() << "SlotStreamStoped";
    qDebug() << "[结束计时]";
    m_streaming = false;
    stopClock();
    // A push that stops while the meeting runs was not asked to stop.
    if (!m_closing && m_isHost)
        onStreamingStopped();
}

void MeetingMainForm::onStreamingStopped()
{
    if (!isNormalCancel()) {
        BG_LOGE("[CloseMeeting]:主持端推流异常停止");
        notice(QString::fromUtf8("直播出现异常，请稍后重试"));
    }
    closeMeetingLater();
}

void MeetingMainForm::startClock()
{
    stopClock();
    if (!m_context)
        return;
    m_clockTimer = new QTimer(m_context);
    m_clockTimer->setTimerType(Qt::CoarseTimer);
    connect(m_clockTimer, &QTimer::timeout, this, &MeetingMainForm::updateClock);
    m_clockTimer->start(kClockIntervalMs);
    m_startTime = meetingNowSecs();
}

void MeetingMainForm::stopClock()
{
    delete m_clockTimer;
    m_clockTimer = nullptr;
    m_startTime = 0;
}

void MeetingMainForm::updateClock()
{
    if (m_startTime == 0)
        return;
    const qint64 elapsed = meetingNowSecs() - m_startTime;
    setLiveTime(clockText(elapsed));
    if (m_isHost && elapsed > m_liveTimeLimit) {
        BG_LOGE("[本场直播限时]:%lld (s)", static_cast<long long>(m_liveTimeLimit));
        setNormalCancel(true);
        BG_LOGE("[CloseMeeting]:主持端直播时间已到达上限: %lld (s)", static_cast<long long>(m_liveTimeLimit));
        closeMeetingLater();
        // The clock has done its work for this meeting.
        stopClock();
        notice(QString::fromUtf8("本场直播时间已到达开启上限"));
        return;
    }
    if (m_localServer) {
        QJsonObject message;
        message["type"] = "duration";
        message["duration"] = elapsed;
        sendBall(styledJson(message));
    }
}

void MeetingMainForm::clearCoBroadcasts()
{
    ZovMWidget* studio = ui->widget_center;
    // The records leave the form first; what each points to is let go of afterwards.
    const QList<CoBroadcastRecord> records = std::exchange(m_coBroadcasts, {});
    QList<PeerConnectionWrapper*> pulls;
    for (CoBroadcastRecord record : records) {
        if (record.source)
            studio->RemoveSource(record.source);
        if (record.hasSavedPos)
            cfgSetStdString(config(), QStringLiteral("LastMeetingMemberPos%1").arg(record.slot).toUtf8().constData(),
                QStringLiteral("%1,%2").arg(record.savedPos.x()).arg(record.savedPos.y()).toUtf8().constData());
        closeMemberMirror(record);
        if (PeerConnectionWrapper* pull = takeConnection(record.connection))
            pulls.append(pull);
    }
    for (PeerConnectionWrapper* pull : qAsConst(pulls))
        deleteConnection(pull);
}

void MeetingMainForm::closeMeeting()
{
    if (m_closing)
        return;
    m_closing = true;
    setNormalCancel(true);
    BG_LOGE("[直播结束=========================]");
    closeViewer();
    closeCoBroadcast();

    if (m_isHost) {
        const QString tag = nextRequestTag();
        // The listener lives until its answer comes or the form goes, whichever is first; it owns nothing.
        auto* listener = new QObject(this);
        connect(NetManager::instance(), &NetManager::SRVDeleteMeetingResult, listener,
            [tag, listener](bool result, QString, int code, QString, QString uuid) {
                if (uuid != tag)
                    return;
                listener->deleteLater();
                BG_LOGD("[SRVDeleteMeetingResult]: %d %d", int(result), code);
            });
        bg::ValueMap params;
        params["meeting_key"] = bg::Value(m_hostMeetingKey.toStdString());
        params["req_id"] = bg::Value(tag.toStdString());
        NetManager::instance()->addTask(NetManager::SRVDeleteMeeting, params);
    }

    ZovMWidget* studio = ui->widget_center;
    // The push is asked to stop here: its stop notice is no surprise any more.
    studio->StopStreaming();
    SlotStreamStoped();
    sendStreamEnd();
    studio->StopRecording();

    closeChatRoomDialog();
    closeMemberListDialog();

    killWhiteBoard();
    studio->FinalizePreview();
    DeleteAllImageSource();

    clearCoBroadcasts();

    if (m_desktopSource) {
        studio->RemoveSource(m_desktopSource);
        m_desktopSource = nullptr;
    }
    studio->RemoveDesktopAudio();
    studio->RemoveMicrophoneSource();

    if (m_meetingId > 0 && m_classId > 0) {
        bg::ValueMap params;
        params["meeting_id"] = bg::Value(m_meetingId);
        params["class_id"] = bg::Value(m_classId);
        NetManager::instance()->addTask(NetManager::StopMeeting, params);
        m_meetingId = -1;
        m_classId = -1;
    }

    if (m_localServer) {
        QJsonObject hide;
        hide["type"] = "hide";
        sendBall(styledJson(hide));
        delete m_localServer;
        m_ballPort = 0;
    }

    m_members.clear();
    ui->widget_right->syncMemberList({});
    setLiveTime(QStringLiteral("00:00:00"));
    delete m_context;
    m_clockTimer = nullptr;
    qDebug() << "[结束==================================================]";
}

