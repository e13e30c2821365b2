#pragma once

#include <bridge/valuemap.h>

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <string>

struct NetTask {
    int type = -1;
    bg::ValueMap params;
};

// The request worker: one thread that runs queued request tasks one at a time, oldest first, and reports
// each outcome with the result signal whose index among this class's signals equals the task type.
//
// addTask, waitIdle and stop may be called from any thread but the worker's. Signals are emitted on the
// worker thread; receivers on other threads get them queued. A request's failure travels in its signal
// (`result` false, `errorCode`, `error`); tasks of an unknown type are dropped without a signal.
//
// Every signal but those of tasks 28 and 31 ends with `uuid`: the task's "uuid" parameter, else its
// "req_id", else empty, so a caller can tell its replies apart.
class NetManager : public QThread {
    Q_OBJECT
public:
    // Task types; each names the request the task runs and, by its value, the result signal it emits.
    enum NetTaskType {
        CheckVersion = 0,
        MeetingLogin,
        AddNewMeetingId,
        DeleteMeetingId,
        RenameMeetingId,
        GetMeetings,
        StartMeeting,
        StopMeeting,
        GetMeetingLiveStudents,
        SignRtcPlayUrl,
        MeetingHeartBeat,
        GetProductState,
        GetMeetingHistory,
        GetConfig,
        GetVideoDownLoadUrl,
        DeleteHistory,
        CheckLoginV2,
        StartMeetingV2,
        AddStudentItem,
        GetStudentList,
        ClearStudentList,
        ChatroomKickout,
        ChatroomKickoutList,
        ChatroomKickoutCancel,
        ToupingSignRtcPlayUrl,
        V3GetMeetingInfo,
        V3PushRtcSdp,
        V3AddStreamer,
        V3GetRtcSdp,
        V3InitServer,
        SRVCreateMeeting,
        SRVGetRtcSdp,
        SRVAddMeetingStreamer,
        SRVDeleteMeeting,
        SRVJoinMeeting,
        SRVGetAppConfig,
        NetTaskTypeCount
    };

    // The process's one instance, made on first use and destroyed at exit (stopped first).
    static NetManager* instance();

    NetManager();
    ~NetManager() override;

    // Queues a copy of `params` for a task of `type`. Never blocks beyond the queue's lock.
    void addTask(int type, const bg::ValueMap& params);
    // Waits until the queue is empty and no task runs, at most `timeoutMs`; false on time-out. Returns at
    // once when the thread is not running.
    bool waitIdle(int timeoutMs);
    // Ends the loop and waits, without limit, for the thread: a request in flight finishes and emits its
    // signal first. Tasks still queued, or added afterwards, never run.
    void stop();

signals:
    void CheckVersionResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void MeetingLoginResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void AddNewMeetingIdResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void DeleteMeetingIdResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void RenameMeetingIdResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetMeetingsResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void StartMeetingResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void StopMeetingResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetMeetingLiveStudentsResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void SignRtcPlayUrlResult(
        bool result, QString jsonResult, int errorCode, QString error, qlonglong userId, QString uuid);
    void MeetingHeartBeatResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetProductStateResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetMeetingHistoryResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetConfigResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetVideoDownLoadUrlResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void DeleteHistoryResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void CheckLoginV2Result(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void StartMeetingV2Result(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void AddStudentItemResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void GetStudentListResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void ClearStudentListResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void ChatroomKickoutResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void ChatroomKickoutListResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void ChatroomKickoutCancelResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void ToupingSignRtcPlayUrlResult(
        bool result, QString jsonResult, int errorCode, QString error, qlonglong userId, QString uuid);
    void V3GetMeetingInfoResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void V3PushRtcSdpResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void V3AddStreamerResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void V3GetRtcSdpResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid, QString sdp);
    void V3InitServerResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void SRVCreateMeetingResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void SRVGetRtcSdpResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid, QString sdp);
    void SRVAddMeetingStreamerResult(
        bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void SRVDeleteMeetingResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void SRVJoinMeetingResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);
    void SRVGetAppConfigResult(bool result, QString jsonResult, int errorCode, QString error, QString uuid);

protected:
    void run() override;

private:
    // One per request class: reads the task's parameters, runs the request and hands back its data text,
    // code and message.
    using Handler = bool (NetManager::*)(std::string&, const bg::ValueMap&, int&, std::string&);
    struct TaskEntry;
    static const TaskEntry kTasks[NetTaskTypeCount];

    bool takeTask(NetTask& task);
    void runTask(const NetTask& task);
    void finishTask();

    bool runCheckVersion(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runMeetingLogin(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runAddNewMeetingId(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runDeleteMeetingId(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runRenameMeetingId(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetMeetings(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runStartMeeting(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runStopMeeting(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetMeetingLiveStudents(
        std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSignRtcPlayUrl(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runMeetingHeartBeat(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetProductState(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetMeetingHistory(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetConfig(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetVideoDownLoadUrl(
        std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runDeleteHistory(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runCheckLoginV2(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runStartMeetingV2(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runAddStudentItem(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runGetStudentList(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runClearStudentList(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runChatroomKickout(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runChatroomKickoutList(
        std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runChatroomKickoutCancel(
        std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runV3GetMeetingInfo(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runV3PushRtcSdp(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runV3AddStreamer(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runV3GetRtcSdp(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runV3InitServer(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSRVCreateMeeting(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSRVGetRtcSdp(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSRVAddMeetingStreamer(
        std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSRVDeleteMeeting(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSRVJoinMeeting(std::string& data, const bg::ValueMap& params, int& code, std::string& message);
    bool runSRVGetAppConfig(std::string& data, const bg::ValueMap& params, int& code, std::string& message);

    QList<NetTask> tasks;
    QMutex mutex; // guards tasks and busy
    QWaitCondition changed; // a task was added, one ended, or stop was asked
    bool busy = false;
    std::atomic<bool> running { true };
};
