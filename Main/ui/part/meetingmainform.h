#pragma once

#include "app/localserver.h"
#include "media/i420frame.h"
#include "media/pendingframes.h"
#include "media/peerconnectionwrapper.h"
#include "media/remotevideoobserver.h"
#include "ui/part/chatcommands.h"

#include <chatroom/chatroom.h>
#include <chatroom/uicallback.h>

#include <QList>
#include <QMap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QSet>
#include <QWidget>

class OpenGLWidget;

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class FloatingBallLink;
class MessageBoxDialog;
class MirrorWidget;
class QTimer;

namespace Ui {
class MeetingMainForm;
}
namespace zovwebrtc {
struct peer_connection_factory;
}

// One chat-room member as the meeting keeps it, keyed by its chat-room id text.
struct MeetingMember {
    qint64 userId = 0;
    QString chatId;
    QString name;
    QString deviceType;
    int shutup = 0;
};

// A member whose stream the host shows on the scene.
struct CoBroadcastRecord {
    qint64 userId = 0;
    int slot = 0; // its place among the scene's member sources
    void* source = nullptr; // the studio source, null while none is shown
    QString streamUrl;
    bool hasSavedPos = false;
    QPoint savedPos; // where the host left the source, kept for the next meeting
    QPointer<QWidget> mirror;
    // The member's pull connection, and what the host made of its picture.
    QPointer<PeerConnectionWrapper> connection;
    bool embedded = false; // shown on the scene
    bool mirrored = false; // shown in a mirror window
    QRect savedMirrorGeometry; // where the member's mirror was when it was last closed
    // Co-broadcast bookkeeping: where the source starts on the scene (0 top, 1 centre, 2 bottom, -1 the
    // top-left corner), and which media (bit 0 audio, bit 1 video) the member publishes and the host takes.
    int placement = -1;
    int publishedMask = 0;
    int enabledMask = 0;
};

// The window of a running live meeting: the studio in the centre (host) or the host's picture (viewer), the
// control bar below and the side panel beside. It starts a meeting on the new-meeting form's events and
// ends it on CloseMeetingEvent, whatever asked for the end; one form serves one meeting after another.
//
// Everything a meeting starts that may fire later (timers, delayed actions, request replies) hangs off a
// per-meeting context object made at start and deleted by closing, so nothing of a closed meeting reaches
// the next one. Request replies are told apart by the tag each request carries. GUI thread only; the
// chat room calls back on this thread.
class MeetingMainForm : public QWidget, public cr::UICallback, public RemoteVideoObserver {
    Q_OBJECT
public:
    explicit MeetingMainForm(QWidget* parent = nullptr);
    ~MeetingMainForm() override;

    // Chat-room command text as the client hands it over: a JSON string literal gives its value; else the
    // part from the first "{" to the last "}" inclusive; else empty.
    static QString cleanCommandText(const QString& text);
    // "webrtc(s)://<room host>/test/getRtcSdp?meetting_key=<key>&main=1".
    static QString pushAddress(const QString& roomHost, const QString& meetingKey);
    // "hh:mm:ss", hours not wrapped.
    static QString clockText(qint64 seconds);

    // Read side, for the panel, the control bar and tests.
    bool isClosing() const { return m_closing; }
    bool isHost() const { return m_isHost; }
    bool isStreaming() const { return m_streaming; }
    qint64 liveTimeLimit() const { return m_liveTimeLimit; }
    int audioMode() const { return m_audioMode; }
    bool isPortrait() const { return m_portrait; }
    QString roomId() const { return m_roomId; }
    QString roomPassword() const { return m_roomPwd; }
    qint64 selfMemberId() const { return m_selfMemberId; }
    const QMap<QString, MeetingMember>& members() const { return m_members; }
    QObject* meetingContext() const { return m_context; }
    LocalServer* ballServer() const { return m_localServer; }
    // The viewer's side, for tests.
    PeerConnectionWrapper* mainPull() const { return m_mainPull.data(); }
    PeerConnectionWrapper* hostAudioPull() const { return m_mainAudioRTCSource.data(); }
    // Pictures from the connections' threads still waiting for the GUI thread (one per connection at most).
    int waitingFrames() const { return m_pendingFrames.waiting(); }
    // How many connections the form keeps track of (each is deleted before the factory).
    int trackedConnectionCount() const { return m_connections.size(); }
    qint64 hostAudioStreamId() const { return m_hostAudioStreamId; }

    // Sends the command through the meeting's chat room after `delayMs`; dropped when the meeting closed
    // in between or the form then has no chat room.
    void sendCommandLater(int delayMs, const Json::Value& command);
    quint16 ballPort() const { return m_ballPort; }
    QString liveTimeText() const;
    Ui::MeetingMainForm* form() const { return ui.get(); }

    // Pop-out windows of the side panel's pages (asked for by the floating ball). Each shows its page in
    // a window of its own, made once while it lives; closing puts the page back into the panel.
    void showChatRoomDialog();
    void showMemberListDialog();
    void closeChatRoomDialog();
    void closeMemberListDialog();
    QWidget* chatRoomDialog() const { return m_chatRoomDialog; }
    QWidget* memberListDialog() const { return m_memberListDialog; }

public slots:
    void OnToupingStreamReady(QString sourceId, bool hasAudio, bool hasVideo);
    void OnToupingStreamStop();
    void SlotStreamStarted();
    void SlotStreamStoped();
    void OnForbiddenAll(bool all);
    void OnLocalServerMessage(QString msg);

    // Sources, mirrors, source menus and the viewer's rotation (meetingmainform_sources.cpp).
    void OnCameraReady(QString id, int width, int height);
    void OnCameraStop();
    void OnAddImage(QString path);
    void DeleteAllImageSource();
    void OnSourceContextMenuRequested(void* handle);
    void OnMemberContextMenuRequested(qint64 userId);
    void OnMeetingStreamReady(QString sourceId, bool audio, bool video);
    void OnMeetingStreamStop();
    void OnFrameRotate();
    void slot_Render(I420FramePtr frame);

public:
    // Which menu a right click on a scene source opens: a co-broadcast member's, an image's, the camera's,
    // or none (a null handle, or a source none of them has).
    enum class SourceMenu { None, Member, Image, Camera };
    SourceMenu sourceMenuFor(void* handle) const;

    // Read side of the sources, for tests.
    void* cameraSource() const { return m_cameraSource; }
    QString cameraSourceId() const { return m_cameraId; }
    MirrorWidget* cameraMirror() const;
    int imageSourceCount() const { return m_images.size(); }
    int rotationIndex() const { return m_rotation.load(); }
    QList<CoBroadcastRecord>& coBroadcasts() { return m_coBroadcasts; }

    // Co-broadcast and screen cast (meetingmainform_cobroadcast.cpp); the read side is for the panel and tests.
    void inviteMember(qint64 userId, int kind, bool checked);
    void kickMember(qint64 userId);
    void sendEndCoBroadcast();
    void replyTouping(qint64 userId, bool accept);
    void endTouping(qint64 userId);
    void removeScreenCastSource(qint64 userId);
    // A phone member asking to cast its screen; the answer goes to every requester.
    void addScreenCastRequester(qint64 userId);
    void AddMemberSourceToScene(CoBroadcastRecord& record);
    void RemoveMemberSourceFromScene(CoBroadcastRecord& record);
    bool isCoBroadcasting() const { return m_coBroadcasting; }
    bool isInvitationPending() const { return m_invitationPending; }
    PeerConnectionWrapper* coBroadcastPush() const { return m_coBroadcastPush.data(); }
    PeerConnectionWrapper* hostAudioPush() const { return m_hostAudioPush.data(); }
    qint64 hostAudioStreamerId() const { return m_hostAudioStreamerId; }
    const std::map<int64_t, QString>& coBroadcastMembers() const { return m_coBroadcastMembers; }
    const QList<qint64>& waitingMembers() const { return m_waitingList; }
    const QMap<int64_t, int>& invitationKinds() const { return m_invitationKinds; }
    CoBroadcastRecord& screenCast() { return m_screenCast; }
    const QList<qint64>& screenCastRequesters() const { return m_screenCastRequesters; }

protected:
    bool event(QEvent* event) override;

    // cr::UICallback
    void onConnected() override;
    void onDisconnected() override;
    void onSelfID(const std::string& chatId, const std::string& handle) override;
    void onPeers(const std::string& peers) override;
    void onPeerJoined(const std::string& chatId, const std::string& handle, const std::string& deviceType,
        const std::string& peer) override;
    void onPeerLeft(const std::string& chatId, const std::string& peer) override;
    void onRoomError(const std::string& message) override;
    void onRoomForbidden(int shutup) override;
    void onRecordMessage(
        const std::string& chatId, const std::string& handle, const std::string& text, int64_t timeMs) override;
    void onRecievedCommand(
        const std::string& chatId, const std::string& handle, const std::string& command, int64_t timeMs) override;

    // RemoteVideoObserver: the viewer's pictures (handed to the renderer on the GUI thread).
    void onRemoteFrame(const char* sourceId, const I420FramePtr& frame) override;

private:
    // Host life cycle.
    void startHostMeeting(const class V3ReadyToCreateMeetingEvent& event);
    void setupEncoder();
    void startBall();
    void addMeetingStreamer();
    void onAddStreamerResult(bool result, const QString& json, int code, const QString& error);
    void onStreamingStopped();
    void updateClock();
    void startClock();
    void stopClock();
    void closeMeeting();
    void sendBall(const QString& json);
    void setLiveTime(const QString& text);
    void killWhiteBoard();

    // Chat room.
    bool createChatRoom();
    void sendChatText(const QString& text);
    void sendStreamEnd();
    void refreshMemberList();
    void forbidPeerWords(const QString& chatId, qint64 userId, bool forbid, int value);
    void storeMember(const QString& chatId, const MeetingMember& member);

    // Co-broadcast members on the scene: taken out, their places kept.
    void clearCoBroadcasts();

    // Connections made through the factory; all are deleted before it. The list keeps the living ones.
    void trackConnection(PeerConnectionWrapper* connection);
    void releaseConnections();
    // A connection is taken out of where the form keeps it (the guard is cleared) before it is deleted;
    // deleting disconnects it from the form first. Null is left alone.
    static PeerConnectionWrapper* takeConnection(QPointer<PeerConnectionWrapper>& slot);
    void deleteConnection(PeerConnectionWrapper* connection);

    // Sources (meetingmainform_sources.cpp).
    struct ImageRecord {
        QString id; // a fresh UUID text per image
        void* source = nullptr;
    };
    void connectSources();
    bool handleSourceEvent(QEvent* event);
    QPoint cameraCorner() const;
    void addCameraToScene();
    void showCameraMenu();
    void showImageMenu(const ImageRecord& record);
    void showMemberMenu(qint64 userId);
    void mirrorCamera(bool hide);
    void closeCameraMirror();
    void onCameraMirrorClosed();
    void mirrorMember(CoBroadcastRecord& record);
    void closeMemberMirror(CoBroadcastRecord& record);
    void embedMember(CoBroadcastRecord& record);
    void unembedMember(CoBroadcastRecord& record);
    CoBroadcastRecord* coBroadcastOf(qint64 userId);
    QString memberName(qint64 userId) const;

    // Per meeting.
    void newMeetingContext();
    QString nextRequestTag();

    // Watching (meetingmainform_viewer.cpp).
    void startViewerMeeting(const class V3ReadyToAddMeetingEvent& event);
    void showViewerRenderer();
    void requestMainStreamSdp(const QString& sourceId, const QString& sdp);
    void slot_MainGetSdpResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid, QString sdp);
    void onMainAnswer(bool result, const QString& jsonResult, const QString& error);
    void onHostAudioAnswer(bool result, const QString& jsonResult, const QString& error);
    bool joinChatRoom(const QString& nickname);
    void onViewerStreamReady();
    void onViewerDisconnected();
    void pullHostAudio();
    void requestV3RtcSdp(const QString& sourceId, const QString& sdp);
    void startViewerClock();
    void closeViewer();
    void deliverFrame(const QString& sourceId, I420FramePtr frame);

    // Chat-room commands (meetingmainform_commands.cpp).
    void buildCommandTables();
    void dispatchCommand(const QString& chatId, const QString& text);
    bool senderIsHost(const QString& chatId) const;
    const MeetingMember* memberOf(const QString& chatId) const;
    void sendCommand(const Json::Value& command);
    void sendLianmaiList();
    void onHostUrl(const chatcommand::Received& received);
    void onFirstLianmaiList(const chatcommand::Received& received);
    void placePendingCoBroadcastTiles();
    void onHostStreamUrl(const chatcommand::Received& received);
    // The co-broadcast flow's entry points.
    void onInviteLianmai(int orderType);
    void showMemberStreamTile(qint64 userId, const QString& url);
    void onInvitationReply(qint64 studentId, const QString& chatId, bool accept);
    void onMemberStreamUrl(qint64 userId, const QString& url, bool audio, bool video);

    // Co-broadcast (meetingmainform_cobroadcast.cpp).
    bool handleCoBroadcastEvent(QEvent* event);
    bool routeCoBroadcastAnswer(bool result, const QString& jsonResult, const QString& error, const QString& uuid);
    void closeCoBroadcast();
    int runInvitationDialog(int order);
    void closeInvitationDialog();
    void startCoBroadcastPush(int order);
    void requestCoBroadcastSdp(const QString& sourceId, const QString& sdp);
    void onCoBroadcastSdpResult(bool result, const QString& jsonResult, const QString& error);
    void onCoBroadcastStreamerResult(bool result, int code, const QString& error, qint64 streamerId, bool video);
    void onCoBroadcastStreamReady(const QString& sourceId);
    void dropOwnCoBroadcastConnection();
    void AddMeetingSource(qint64 userId, const QString& url, bool audio, bool video);
    void CallMeetingMember(qint64 userId);
    void requestMemberStreamSdp(const QString& sourceId, const QString& sdp);
    void onMemberAnswer(qint64 userId, bool result, const QString& jsonResult, const QString& error);
    void RemoveMeetingSource(qint64 userId);
    void resetMemberStreamInfo(qint64 userId);
    // Forgets a member's co-broadcast: no longer listed, invited, waiting or announced.
    void dropMemberCoBroadcast(qint64 userId);
    void onMemberMirrorClosed(qint64 userId);
    void startHostAudioPush();
    void requestHostAudioPushSdp(const QString& sourceId, const QString& sdp);
    void addHostAudioStreamer(bool result, const QString& jsonResult, const QString& error);
    void onHostAudioPushReady();
    void stopHostAudioPush();
    // Adds a room-service registration (task 32) whose answer comes back to `handler` alone.
    void addStreamerRequest(const QString& meetingKey, const QString& title, qint64 streamerId,
        std::function<void(bool result, int code, const QString& error)> handler);

    std::unique_ptr<Ui::MeetingMainForm> ui;
    zovwebrtc::peer_connection_factory* m_factory = nullptr;

    QPointer<QObject> m_context;
    QTimer* m_clockTimer = nullptr; // child of m_context
    qint64 m_startTime = 0; // seconds since the epoch; 0: clock stopped
    quint64 m_requestSerial = 0;
    QString m_addStreamerTag;

    // Meeting settings.
    QString m_title;
    // The hosted meeting's room number, kept from its start: the main window clears the run-time keys on
    // the same closing event, maybe before the form asks the service to delete the meeting.
    QString m_hostMeetingKey;
    QRect m_area;
    int m_audioMode = 2;
    int m_viewer = 0;
    bool m_isHost = false;
    QString m_chatHost;
    QString m_chatWss;
    qint64 m_liveTimeLimit = 86400;
    int m_meetingId = -1;
    int m_classId = -1;
    bool m_streaming = false;
    qint64 m_pushStreamId = 0;
    QSize m_outputSize;
    bool m_portrait = false;
    bool m_recording = false;
    bool m_closing = true;
    void* m_desktopSource = nullptr;

    // Floating ball.
    QPointer<LocalServer> m_localServer;
    quint16 m_ballPort = 0;

    QPointer<QWidget> m_chatRoomDialog;
    QPointer<QWidget> m_memberListDialog;
    QList<CoBroadcastRecord> m_coBroadcasts;

    // Camera and images on the scene, mirrors, the viewer's rotation.
    void* m_cameraSource = nullptr;
    QString m_cameraId;
    int m_cameraWidth = 0;
    int m_cameraHeight = 0;
    bool m_cameraMirrored = false;
    QPointer<MirrorWidget> m_cameraMirror;
    std::optional<QPoint> m_cameraMirrorPos;
    QList<ImageRecord> m_images;
    std::atomic<int> m_rotation { 0 }; // 0-3: 0, 90, 180, 270 degrees clockwise; read on the frame thread
    FloatingBallLink* m_ball = nullptr;
    QList<QPointer<PeerConnectionWrapper>> m_connections;

    // Chat room.
    std::unique_ptr<cr::ChatRoom> m_chatRoom;
    QString m_roomId;
    QString m_roomPwd;
    QString m_joinText;
    qint64 m_selfMemberId = 0;
    QString m_selfChatId;
    bool m_forbidAll = false;
    QMap<QString, MeetingMember> m_members;

    // Watching.
    QString m_nickname;
    qint64 m_mainStreamId = 0;
    bool m_useOpenGL = false;
    // Made the first time a viewer's picture is drawn with OpenGL: an OpenGL widget turns its whole window
    // into an OpenGL surface, which a display without OpenGL shows black.
    QPointer<OpenGLWidget> m_openGLRenderer;
    OpenGLWidget* openGLRenderer();
    QPointer<PeerConnectionWrapper> m_mainPull;
    PendingFrames m_pendingFrames; // filled on the connections' threads
    QPointer<PeerConnectionWrapper> m_mainAudioRTCSource;
    qint64 m_hostAudioStreamId = 0;
    bool m_hostAudioScheduled = false; // a host-audio pull waits on the meeting's timer
    int m_sdpResultCount = 0;
    bool m_firstAnswer = true;
    bool m_firstMemberList = true;
    QList<qint64> m_pendingCoBroadcasters;

    // Chat-room commands.
    chatcommand::Dispatcher m_commands;
    std::map<int64_t, QString> m_coBroadcastMembers; // accepted members, id to display name
    QMap<int64_t, chatcommand::MemberStream> m_memberStreams;
    qint64 m_hostAudioStreamerId = 0;

    // Co-broadcast, host side.
    QMap<int64_t, int> m_invitationKinds; // 1 video, 2 voice, -1 ended by the host
    QList<qint64> m_waitingList; // accepted while no seat was free
    QSet<qint64> m_hostEndedMembers; // ended by the host, their ending announcement still to come
    QPointer<PeerConnectionWrapper> m_hostAudioPush;
    // Co-broadcast, viewer side.
    QPointer<PeerConnectionWrapper> m_coBroadcastPush;
    int m_coBroadcastOrder = 0; // 1 video, 2 voice
    bool m_coBroadcasting = false;
    bool m_invitationPending = false;
    QPointer<MessageBoxDialog> m_invitationDialog;
    // Screen cast.
    // The screen-casting member's record; member id -1 while nobody casts.
    CoBroadcastRecord m_screenCast = [] {
        CoBroadcastRecord record;
        record.userId = -1;
        return record;
    }();
    QList<qint64> m_screenCastRequesters;
};
