#include "net/netmanager.h"

#include "net/logmask.h"
#include "net/netbase.h"
#include "net/servicepaths.h"
#include "net/taskparams.h"

#include <bridge/abstract_logger.h>
#include <bridge/bg_log.h>

#include <jsonread/jsonread.h>

#include <QDeadlineTimer>
#include <QDebug>

namespace {

// The framework's debug level: replies are traced whole only there, otherwise by length.
constexpr int kDebugLevel = 5;

bool tracesWholeReplies()
{
    bg::Abstract_Logger* logger = CD ? CD->logger : nullptr;
    return logger && logger->level() >= kDebugLevel;
}

// What a finished task hands to its signal.
struct Outcome {
    bool result = false;
    QString jsonResult;
    int errorCode = 0;
    QString error;
    QString uuid;
    qlonglong userId = 0;
    QString sdp;
};

using PlainSignal = void (NetManager::*)(bool, QString, int, QString, QString);
using UserSignal = void (NetManager::*)(bool, QString, int, QString, qlonglong, QString);
using SdpSignal = void (NetManager::*)(bool, QString, int, QString, QString, QString);

template <PlainSignal Signal> void emitPlain(NetManager& manager, const Outcome& o)
{
    emit(manager.*Signal)(o.result, o.jsonResult, o.errorCode, o.error, o.uuid);
}

template <UserSignal Signal> void emitUser(NetManager& manager, const Outcome& o)
{
    emit(manager.*Signal)(o.result, o.jsonResult, o.errorCode, o.error, o.userId, o.uuid);
}

template <SdpSignal Signal> void emitSdp(NetManager& manager, const Outcome& o)
{
    emit(manager.*Signal)(o.result, o.jsonResult, o.errorCode, o.error, o.uuid, o.sdp);
}

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), int(text.size())); }

} // namespace

struct NetManager::TaskEntry {
    Handler handler;
    void (*emitResult)(NetManager&, const Outcome&);
    // The label of the debug trace; null: no trace.
    const char* label;
    // Whether the outcome also goes to the framework's log.
    bool log;
};

const NetManager::TaskEntry NetManager::kTasks[NetTaskTypeCount] = {
    { &NetManager::runCheckVersion, emitPlain<&NetManager::CheckVersionResult>, nullptr, false },
    { &NetManager::runMeetingLogin, emitPlain<&NetManager::MeetingLoginResult>, "LoginMeetingServer:", true },
    { &NetManager::runAddNewMeetingId, emitPlain<&NetManager::AddNewMeetingIdResult>,
        "AddNewMeetingIdResult:", true },
    { &NetManager::runDeleteMeetingId, emitPlain<&NetManager::DeleteMeetingIdResult>,
        "DeleteMeetingIdResult:", true },
    { &NetManager::runRenameMeetingId, emitPlain<&NetManager::RenameMeetingIdResult>,
        "RenameMeetingIdResult:", true },
    { &NetManager::runGetMeetings, emitPlain<&NetManager::GetMeetingsResult>, "GetMeetings:", true },
    { &NetManager::runStartMeeting, emitPlain<&NetManager::StartMeetingResult>, "StartMeetingResult:", true },
    { &NetManager::runStopMeeting, emitPlain<&NetManager::StopMeetingResult>, "StopMeetingResult:", true },
    { &NetManager::runGetMeetingLiveStudents, emitPlain<&NetManager::GetMeetingLiveStudentsResult>,
        "GetMeetingLiveStudentsResult:", true },
    { &NetManager::runSignRtcPlayUrl, emitUser<&NetManager::SignRtcPlayUrlResult>,
        "SignRtcPlayUrlResult:", true },
    { &NetManager::runMeetingHeartBeat, emitPlain<&NetManager::MeetingHeartBeatResult>,
        "MeetingHeartBeatResult:", true },
    { &NetManager::runGetProductState, emitPlain<&NetManager::GetProductStateResult>,
        "GetProductStateResult:", true },
    { &NetManager::runGetMeetingHistory, emitPlain<&NetManager::GetMeetingHistoryResult>,
        "GetMeetingHistoryResult:", true },
    { &NetManager::runGetConfig, emitPlain<&NetManager::GetConfigResult>, "GetConfigResult:", true },
    { &NetManager::runGetVideoDownLoadUrl, emitPlain<&NetManager::GetVideoDownLoadUrlResult>,
        "GetVideoDownLoadUrlResult:", true },
    { &NetManager::runDeleteHistory, emitPlain<&NetManager::DeleteHistoryResult>,
        "DeleteHistoryResult:", false },
    { &NetManager::runCheckLoginV2, emitPlain<&NetManager::CheckLoginV2Result>,
        "CheckLoginV2Request:", false },
    { &NetManager::runStartMeetingV2, emitPlain<&NetManager::StartMeetingV2Result>,
        "kStartMeetingV2Request:", false },
    { &NetManager::runAddStudentItem, emitPlain<&NetManager::AddStudentItemResult>,
        "AddStudentItemRequest:", false },
    { &NetManager::runGetStudentList, emitPlain<&NetManager::GetStudentListResult>,
        "GetStudentListRequest:", false },
    { &NetManager::runClearStudentList, emitPlain<&NetManager::ClearStudentListResult>,
        "ClearStudentListRequest:", false },
    { &NetManager::runChatroomKickout, emitPlain<&NetManager::ChatroomKickoutResult>, "", false },
    { &NetManager::runChatroomKickoutList, emitPlain<&NetManager::ChatroomKickoutListResult>,
        "ChatroomKickoutListRequest:", false },
    { &NetManager::runChatroomKickoutCancel, emitPlain<&NetManager::ChatroomKickoutCancelResult>,
        "ChatroomKickoutCancelRequest:", false },
    { &NetManager::runSignRtcPlayUrl, emitUser<&NetManager::ToupingSignRtcPlayUrlResult>,
        "ToupingSignRtcPlayUrlResult:", true },
    { &NetManager::runV3GetMeetingInfo, emitPlain<&NetManager::V3GetMeetingInfoResult>,
        "V3GetMeetingInfoRequest:", false },
    { &NetManager::runV3PushRtcSdp, emitPlain<&NetManager::V3PushRtcSdpResult>,
        "V3StartMeetingRequest:", false },
    { &NetManager::runV3AddStreamer, emitPlain<&NetManager::V3AddStreamerResult>,
        "V3AddStreamerRequest:", false },
    { &NetManager::runV3GetRtcSdp, emitSdp<&NetManager::V3GetRtcSdpResult>, "V3GetRtcSdpRequest:", false },
    { &NetManager::runV3InitServer, emitPlain<&NetManager::V3InitServerResult>,
        "V3InitServerRequest:", false },
    { &NetManager::runSRVCreateMeeting, emitPlain<&NetManager::SRVCreateMeetingResult>,
        "SRVCreateMeetingRequest:", false },
    { &NetManager::runSRVGetRtcSdp, emitSdp<&NetManager::SRVGetRtcSdpResult>, "SRVGetRtcSdpRequest:", false },
    { &NetManager::runSRVAddMeetingStreamer, emitPlain<&NetManager::SRVAddMeetingStreamerResult>,
        "SRVAddMeetingStreamerRequest:", false },
    { &NetManager::runSRVDeleteMeeting, emitPlain<&NetManager::SRVDeleteMeetingResult>,
        "SRVDeleteMeetingRequest:", false },
    { &NetManager::runSRVJoinMeeting, emitPlain<&NetManager::SRVJoinMeetingResult>,
        "SRVJoinMeetingRequest:", false },
    { &NetManager::runSRVGetAppConfig, emitPlain<&NetManager::SRVGetAppConfigResult>,
        "SRVGetAppConfigRequest:", false },
};

NetManager* NetManager::instance()
{
    static NetManager manager;
    return &manager;
}

NetManager::NetManager()
    : QThread(nullptr)
{
}

NetManager::~NetManager()
{
    // The thread must not outlive the object it runs on.
    stop();
}

void NetManager::addTask(int type, const bg::ValueMap& params)
{
    QMutexLocker lock(&mutex);
    tasks.append(NetTask { type, params });
    changed.wakeAll();
}

bool NetManager::waitIdle(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    while (isRunning() && running && (busy || !tasks.isEmpty())) {
        if (!changed.wait(&mutex, deadline))
            return false;
    }
    return true;
}

void NetManager::stop()
{
    {
        QMutexLocker lock(&mutex);
        running = false;
        changed.wakeAll();
    }
    exit(0);
    wait();
}

void NetManager::run()
{
    while (running) {
        NetTask task;
        if (!takeTask(task))
            continue;
        runTask(task);
        finishTask();
    }
}

// Takes the oldest task, waiting as long as none is queued (addTask and stop wake the worker); false when the
// worker is to stop.
bool NetManager::takeTask(NetTask& task)
{
    QMutexLocker lock(&mutex);
    while (running && tasks.isEmpty())
        changed.wait(&mutex);
    if (!running)
        return false;
    task = tasks.takeFirst();
    busy = true;
    return true;
}

void NetManager::finishTask()
{
    QMutexLocker lock(&mutex);
    busy = false;
    changed.wakeAll();
}

void NetManager::runTask(const NetTask& task)
{
    if (task.type < 0 || task.type >= NetTaskTypeCount)
        return;
    const TaskEntry& entry = kTasks[task.type];

    Outcome outcome;
    if (task.type == SignRtcPlayUrl || task.type == ToupingSignRtcPlayUrl)
        outcome.userId = taskparams::int64(task.params, "user_id");
    std::string data;
    std::string message;
    // The worker thread has nothing above it: whatever a reply makes escape is this request's failure.
    std::string escaped;
    if (!jsonread::guarded(
            [&] { outcome.result = (this->*entry.handler)(data, task.params, outcome.errorCode, message); },
            &escaped)) {
        BG_LOGW("%s: the reply could not be read: %s", entry.label ? entry.label : "request", escaped.c_str());
        outcome.result = false;
        outcome.errorCode = NetBase::ReplyNotObject;
        data.clear();
        message = nettexts::kUnrecognisedReply;
    }

    if (entry.label || entry.log) {
        const std::string shownMessage = maskSecrets(message);
        if (tracesWholeReplies()) {
            const std::string shownData = maskSecrets(data);
            if (entry.log)
                BG_LOGD(
                    "%s %d %s %s", entry.label, outcome.errorCode, shownMessage.c_str(), shownData.c_str());
            if (entry.label) {
                qDebug().noquote() << entry.label << outcome.errorCode << fromUtf8(shownMessage)
                                   << fromUtf8(shownData);
            }
        } else if (entry.label) {
            qDebug().noquote() << entry.label << outcome.errorCode << fromUtf8(shownMessage)
                               << QStringLiteral("(%1 bytes)").arg(data.size());
        }
    }

    outcome.jsonResult = fromUtf8(data);
    outcome.error = fromUtf8(message);
    if (task.type == V3GetRtcSdp || task.type == SRVGetRtcSdp) {
        outcome.uuid = QString::fromStdString(taskparams::text(task.params, "uuid"));
        outcome.sdp = QString::fromStdString(taskparams::text(task.params, "sdp"));
    } else {
        outcome.uuid = QString::fromStdString(taskparams::callerTag(task.params));
    }
    entry.emitResult(*this, outcome);
}
