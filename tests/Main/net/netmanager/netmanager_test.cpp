#include "../request_fixture.h"

#include "net/netmanager.h"
#include "net/versioncheck.h"

#include <bridge/abstract_logger.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTimer>

#include <atomic>
#include <cstdarg>
#include <functional>
#include <iterator>
#include <mutex>
#include <vector>

using devservice::RecordedRequest;
using devservice::ScriptedReply;

namespace {

constexpr int kDeadlineMs = 20000;

// Keeps every framework log record.
class RecordingLogger : public bg::Abstract_Logger {
public:
    void set_file(FILE*) override { }
    FILE* file() override { return nullptr; }
    void set_level(int) override { }
    int level() override { return levelValue; }
    void set_tag(const char*) override { }
    const char* tag() override { return ""; }
    void log(int level, const char* tag, const char* format, ...) override
    {
        char line[4096];
        va_list args;
        va_start(args, format);
        vsnprintf(line, sizeof line, format, args);
        va_end(args);
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back({ level, tag ? tag : "", line });
    }
    std::string path() override { return std::string(); }
    std::string name() override { return std::string(); }
    void close() override { }

    struct Record {
        int level;
        std::string tag;
        std::string line;
    };
    std::vector<Record> all()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return records;
    }

    std::atomic<int> levelValue { 5 };

private:
    std::mutex mutex;
    std::vector<Record> records;
};

// Keeps the Qt debug trace of every thread.
std::mutex traceMutex;
std::vector<std::string> traceLines;

void recordTrace(QtMsgType, const QMessageLogContext&, const QString& message)
{
    std::lock_guard<std::mutex> lock(traceMutex);
    traceLines.push_back(message.toStdString());
}

std::vector<std::string> traces()
{
    std::lock_guard<std::mutex> lock(traceMutex);
    return traceLines;
}

bool contains(const std::vector<std::string>& lines, const std::string& part)
{
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos)
            return true;
    }
    return false;
}

// True once `condition` holds; false when the deadline passes first.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = kDeadlineMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::yieldCurrentThread();
    }
    return true;
}

const char* const kSignalNames[] = { "CheckVersionResult", "MeetingLoginResult", "AddNewMeetingIdResult",
    "DeleteMeetingIdResult", "RenameMeetingIdResult", "GetMeetingsResult", "StartMeetingResult",
    "StopMeetingResult", "GetMeetingLiveStudentsResult", "SignRtcPlayUrlResult", "MeetingHeartBeatResult",
    "GetProductStateResult", "GetMeetingHistoryResult", "GetConfigResult", "GetVideoDownLoadUrlResult",
    "DeleteHistoryResult", "CheckLoginV2Result", "StartMeetingV2Result", "AddStudentItemResult",
    "GetStudentListResult", "ClearStudentListResult", "ChatroomKickoutResult", "ChatroomKickoutListResult",
    "ChatroomKickoutCancelResult", "ToupingSignRtcPlayUrlResult", "V3GetMeetingInfoResult",
    "V3PushRtcSdpResult", "V3AddStreamerResult", "V3GetRtcSdpResult", "V3InitServerResult",
    "SRVCreateMeetingResult", "SRVGetRtcSdpResult", "SRVAddMeetingStreamerResult", "SRVDeleteMeetingResult",
    "SRVJoinMeetingResult", "SRVGetAppConfigResult" };

} // namespace

// A started worker against the local service, with one spy per result signal. The spies record on the
// worker thread; they are read only after waitIdle, whose lock orders the two threads.
class NetManagerTest : public RequestFixture {
protected:
    void SetUp() override
    {
        RequestFixture::SetUp();
        if (HasFatalFailure())
            return;
        signIn();
        VersionCheck::clearChecked();
        component.logger = &logger;
        previousHandler = qInstallMessageHandler(recordTrace);
        const QMetaObject* meta = manager.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                spies.push_back(std::make_unique<QSignalSpy>(&manager, meta->method(i)));
        }
        manager.start();
    }

    void TearDown() override
    {
        manager.stop();
        qInstallMessageHandler(previousHandler);
        component.logger = nullptr;
        RequestFixture::TearDown();
    }

    void runAll() { ASSERT_TRUE(manager.waitIdle(kDeadlineMs)); }

    // The signals emitted so far, as (task type, times).
    std::vector<std::pair<int, int>> emitted() const
    {
        std::vector<std::pair<int, int>> out;
        for (size_t i = 0; i < spies.size(); ++i) {
            if (spies[i]->count())
                out.push_back({ int(i), spies[i]->count() });
        }
        return out;
    }

    RecordedRequest lastRequest() const
    {
        const std::vector<RecordedRequest> all = service->requests();
        return all.empty() ? RecordedRequest() : all.back();
    }

    RecordingLogger logger;
    QtMessageHandler previousHandler = nullptr;
    NetManager manager;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

TEST(NetManagerSignals, SignalIndexEqualsTaskType)
{
    NetManager manager;
    const QMetaObject* meta = manager.metaObject();
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), int(NetManager::NetTaskTypeCount));
    for (int type = 0; type < NetManager::NetTaskTypeCount; ++type) {
        const QMetaMethod method = meta->method(meta->methodOffset() + type);
        EXPECT_EQ(method.methodType(), QMetaMethod::Signal);
        EXPECT_EQ(method.name().toStdString(), kSignalNames[type]);
        EXPECT_EQ(method.parameterType(0), QMetaType::Bool);
        EXPECT_EQ(method.parameterType(1), QMetaType::QString);
        EXPECT_EQ(method.parameterType(2), QMetaType::Int);
        EXPECT_EQ(method.parameterType(3), QMetaType::QString);
    }
}

namespace {

struct TaskRow {
    int type;
    std::function<bg::ValueMap(const std::string& base)> params;
    std::string path; // the end of the path the service saw
    const char* members; // members the body must carry, with their JSON values
    const char* tag; // "uuid", "req_id" or null: how the caller tags the task
};

bg::ValueMap mapOf(std::initializer_list<std::pair<const char*, bg::Value>> entries)
{
    bg::ValueMap map;
    for (const auto& [key, value] : entries)
        map[key] = value;
    return map;
}

// Each expected member is present with the same value; integers compare by value whatever their JSON
// type.
void expectMembers(const Json::Value& actual, const Json::Value& expected)
{
    for (const std::string& name : expected.getMemberNames()) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(actual.isMember(name)) << actual;
        const Json::Value& want = expected[name];
        const Json::Value& got = actual[name];
        if (want.isIntegral() && !want.isBool()) {
            ASSERT_TRUE(got.isIntegral()) << got;
            EXPECT_EQ(got.asInt64(), want.asInt64());
        } else {
            EXPECT_EQ(got, want);
        }
    }
}

const long long kWideUser = (1LL << 40) + 3;
const long long kWideStream = (1LL << 33) + 1;

} // namespace

// One row per task type: its parameters reach the right request under the right names and types, and
// exactly one signal, its own, reports the outcome with the extra arguments of its kind.
TEST_F(NetManagerTest, EveryTaskTypeRunsItsRequestAndEmitsItsOwnSignalOnce)
{
    using V = bg::Value;
    const TaskRow rows[] = {
        { 0, [](auto&) { return bg::ValueMap(); }, "/product/checkAppVersion",
            R"({"device_name": "windows"})", "uuid" },
        { 1, [](auto&) { return bg::ValueMap(); }, "/account/checkLogin", R"({"vip_token": "user-tok"})",
            "uuid" },
        { 2,
            [](auto&) {
                return mapOf({ { "title", V("周会") } });
            },
            "/account/createMeeting", R"({"title": "周会"})", "uuid" },
        { 3,
            [](auto&) {
                return mapOf({ { "id", V(7) } });
            },
            "/account/deleteMeeting", R"({"meeting_id": 7})", "uuid" },
        { 4,
            [](auto&) {
                return mapOf({ { "id", V(7) }, { "title", V("T") } });
            },
            "/account/renameMeeting", R"({"meeting_id": 7, "title": "T"})", "uuid" },
        { 5, [](auto&) { return bg::ValueMap(); }, "/account/getMeetings", "{}", "req_id" },
        { 6,
            [](auto&) {
                return mapOf({ { "id", V(7) }, { "title", V("T") }, { "allow_viewer", V(1) },
                    { "member", V(mapOf({ { "b", V("2") }, { "a", V("1") } })) } });
            },
            "/account/startMeeting", R"({"meeting_id": 7, "title": "T", "allow_viewer": 1})", "uuid" },
        { 7,
            [](auto&) {
                return mapOf({ { "meeting_id", V(7) }, { "class_id", V(8) } });
            },
            "/account/endMeeting", R"({"meeting_id": 7, "class_id": 8})", "uuid" },
        { 8,
            [](auto&) {
                return mapOf({ { "class_id", V(8) } });
            },
            "/account/getMeetingLiveStudents", R"({"class_id": 8})", "uuid" },
        { 9,
            [](auto&) {
                return mapOf(
                    { { "room_id", V(5) }, { "play_url", V("rtc://p") }, { "user_id", V(kWideUser) } });
            },
            "/account/signPlayRtcUrl", R"({"room_id": 5, "play_url": "rtc://p"})", "uuid" },
        { 10,
            [](auto&) {
                return mapOf({ { "class_id", V(8) }, { "viewer_num", V(3) } });
            },
            "/account/meetingHeartBeat", R"({"class_id": 8, "viewer_num": 3})", "uuid" },
        { 11, [](auto&) { return bg::ValueMap(); }, "/account/getProductState", "{}", "uuid" },
        { 12,
            [](auto&) {
                return mapOf({ { "meeting_id", V(7) }, { "page", V(2) }, { "page_size", V(20) },
                    { "start_time", V("s") }, { "end_time", V("e") } });
            },
            "/account/meetingClassHistory",
            R"({"meeting_id": 7, "page": 2, "page_size": 20, "start_time": "s", "end_time": "e"})", "uuid" },
        { 13,
            [](auto&) {
                return mapOf({ { "key", V("k") } });
            },
            "/public/getConfig", R"({"key": "k"})", "uuid" },
        { 14,
            [](auto&) {
                return mapOf({ { "class_id", V(8) }, { "url", V("u") } });
            },
            "/account/videoSignUrl", R"({"class_id": 8, "url": "u"})", "uuid" },
        { 15,
            [](auto&) {
                return mapOf({ { "class_id", V(8) } });
            },
            "/account/deleteMeetingClassHistory", R"({"class_id": 8})", "uuid" },
        { 16,
            [](auto&) {
                return mapOf({ { "user_name", V("n") }, { "user_pwd", V("p") } });
            },
            "/account/checkLoginV2", R"({"user_name": "n", "user_pwd": "p"})", "uuid" },
        { 17,
            [](auto&) {
                return mapOf({ { "meeting_id", V(7) }, { "title", V("T") }, { "type", V(2) },
                    { "password", V("pw") } });
            },
            "/account/startMeetingV2",
            R"({"meeting_id": 7, "title": "T", "type": 2, "password": "pw", "student_list": ""})", "uuid" },
        { 18,
            [](auto&) {
                return mapOf({ { "user_name", V("n") }, { "user_pwd", V("p") }, { "meeting_id", V(7) } });
            },
            "/account/addStudent", R"({"meeting_id": 7, "user_name": "n", "user_pwd": "p"})", "uuid" },
        { 19,
            [](auto&) {
                return mapOf({ { "meeting_id", V(7) } });
            },
            "/account/listStudent", R"({"meeting_id": 7})", "uuid" },
        { 20,
            [](auto&) {
                return mapOf({ { "meeting_id", V(7) } });
            },
            "/account/clearStudent", R"({"meeting_id": 7})", "uuid" },
        { 21,
            [](auto&) {
                return mapOf({ { "room_id", V("r") }, { "password", V("pw") }, { "chat_id", V("c") },
                    { "kick_type", V(1) }, { "user_id", V(kWideUser) } });
            },
            "/zov/kickout2",
            R"({"room_id": "r", "password": "pw", "chat_id": "c", "kick_type": 1, "user_id": 1099511627779})",
            "uuid" },
        { 22,
            [](auto&) {
                return mapOf({ { "room_id", V("r") }, { "password", V("pw") } });
            },
            "/zov/kickout2_list", R"({"room_id": "r", "password": "pw"})", "uuid" },
        { 23,
            [](auto&) {
                return mapOf({ { "room_id", V("r") }, { "password", V("pw") }, { "user_id", V(kWideUser) },
                    { "kick_type", V(1) }, { "ip", V("1.2.3.4") } });
            },
            "/zov/kickout2_cancel",
            R"({"room_id": "r", "password": "pw", "user_id": 1099511627779, "kick_type": 1, "ip": "1.2.3.4"})",
            "uuid" },
        { 24,
            [](auto&) {
                return mapOf({ { "room_id", V(5) }, { "play_url", V("x") }, { "user_id", V(77) } });
            },
            "/account/signPlayRtcUrl", R"({"room_id": 5, "play_url": "x"})", "uuid" },
        { 25,
            [](const std::string& base) {
                return mapOf({ { "host", V(base) } });
            },
            "/info/getInfo", "{}", "uuid" },
        { 26,
            [](const std::string& base) {
                return mapOf({ { "sdp", V("v=0") }, { "host", V(base) }, { "token", V("t") } });
            },
            "/zovpion/getRtcSdp", R"({"stream_id": 0, "type": 1, "sdp": "dj0w", "token": "t"})", "uuid" },
        { 27,
            [](auto&) {
                return mapOf({ { "streamId", V(kWideStream) }, { "title", V("T") }, { "roomId", V("r") },
                    { "roomPwd", V("p") } });
            },
            "/info/addStreamer",
            R"({"stream_id": 8589934593, "title": "T", "room_id": "r", "room_pwd": "p"})", "uuid" },
        // An empty SDP goes out empty: nothing to encode.
        { 28,
            [](const std::string& base) {
                return mapOf({ { "streamId", V(kWideStream) }, { "host", V(base) }, { "sdp", V("") },
                    { "token", V("t") }, { "uuid", V("conn-28") } });
            },
            "/zovpion/getRtcSdp", R"({"stream_id": 8589934593, "type": 1, "sdp": ""})", nullptr },
        { 29, [](auto&) { return bg::ValueMap(); }, "/info/initServer", R"({"token": "user-tok"})", "uuid" },
        { 30,
            [](auto&) {
                return mapOf({ { "title", V("T") }, { "meeting_key", V("K") }, { "meeting_pwd", V("P") } });
            },
            "/room/createMeetting",
            R"({"title": "T", "meetting_key": "K", "password": "P", "token": "user-tok"})", "uuid" },
        // No "uuid": the signal carries an empty one; all 64 bits of the stream id reach the body.
        { 31,
            [](auto&) {
                return mapOf({ { "meeting_key", V("K") }, { "stream_id", V(kWideStream) },
                    { "sdp", V("v=0") }, { "type", V(1) } });
            },
            "/test/getRtcSdp", R"({"stream_id": 8589934593, "type": 1, "sdp": "v=0"})", nullptr },
        // All 64 bits of the streamer id reach the body; "main" goes with the title.
        { 32,
            [](auto&) {
                return mapOf(
                    { { "meeting_key", V("K") }, { "title", V("T") }, { "streamer_id", V((1LL << 32) + 9) },
                        { "room_id", V("r") }, { "room_pwd", V("") }, { "main", V(true) } });
            },
            "/room/addMeettingStreamer",
            R"({"meetting_key": "K", "stream_id": 4294967305, "room_id": "r", "main": 1})", "uuid" },
        { 33,
            [](auto&) {
                return mapOf({ { "meeting_key", V("K") } });
            },
            "/room/deleteMeetting", R"({"meetting_key": "K"})", "req_id" },
        { 34,
            [](auto&) {
                return mapOf({ { "meeting_key", V("K") }, { "user_name", V("N") }, { "meeting_pwd", V("P") } });
            },
            "/room/joinMeetting", R"({"meetting_key": "K", "user_name": "N", "password": "P"})", "uuid" },
        { 35, [](auto&) { return bg::ValueMap(); }, "/getAppConfigs", R"({"product_Type": 23000})", "uuid" },
    };
    ASSERT_EQ(std::size(rows), size_t(NetManager::NetTaskTypeCount));

    for (const TaskRow& row : rows) {
        SCOPED_TRACE("task " + std::to_string(row.type));
        service->clearRequests();
        for (auto& spy : spies)
            spy->clear();
        bg::ValueMap params = row.params(base);
        const std::string tag = "tag-" + std::to_string(row.type);
        if (row.tag)
            params[row.tag] = bg::Value(tag);

        // The kick-out calls act on the service's chat rooms, and these rooms do not exist there.
        if (row.type >= NetManager::ChatroomKickout && row.type <= NetManager::ChatroomKickoutCancel)
            service->script(row.path, ScriptedReply::success());
        // Likewise the room service's meetings: a wide stream id or a join of a deleted meeting is refused
        // there, and these rows check the client's side.
        if (row.type == NetManager::SRVAddMeetingStreamer || row.type == NetManager::SRVJoinMeeting)
            service->script(row.path, ScriptedReply::success());
        // The service's forwarder answers real offers only; these rows check the client's side, so the answer
        // is scripted: the offer handed back (under whichever base the room service is reached).
        if (row.path.find("getRtcSdp") != std::string::npos) {
            Json::Value echoed(Json::objectValue);
            echoed["sdp"] = parse(row.members)["sdp"];
            echoed["id"] = Json::Int64(1001);
            for (const std::string& prefix : { std::string(), std::string("/cmdApi") })
                service->script(prefix + row.path, ScriptedReply::success(echoed));
        }
        manager.addTask(row.type, params);
        runAll();

        ASSERT_EQ(emitted(), (std::vector<std::pair<int, int>> { { row.type, 1 } }));
        const QList<QVariant> args = spies[row.type]->at(0);
        EXPECT_TRUE(args.at(0).toBool()) << args.at(2).toInt() << " " << args.at(3).toString().toStdString();
        EXPECT_EQ(args.at(2).toInt(), 0);
        EXPECT_TRUE(args.at(3).toString().isEmpty());

        const RecordedRequest request = lastRequest();
        ASSERT_GE(request.path.size(), row.path.size()) << request.path;
        EXPECT_EQ(request.path.substr(request.path.size() - row.path.size()), row.path);
        expectMembers(request.members, parse(row.members));
        EXPECT_TRUE(request.problem.empty()) << request.problem;
        if (row.type == 28 || row.type == 31) {
            EXPECT_EQ(args.at(4).toString().toStdString(), row.type == 28 ? "conn-28" : "");
            EXPECT_EQ(args.at(5).toString().toStdString(), row.type == 28 ? "" : "v=0");
            EXPECT_EQ(args.at(0).toBool(), true);
            EXPECT_FALSE(args.at(1).toString().isEmpty());
        } else if (row.type == 9 || row.type == 24) {
            EXPECT_EQ(args.at(4).toLongLong(), row.type == 9 ? kWideUser : 77);
            EXPECT_EQ(args.at(5).toString().toStdString(), tag);
        } else {
            EXPECT_EQ(args.at(4).toString().toStdString(), tag);
        }
    }
}

TEST_F(NetManagerTest, SignalCarriesTheReplyDataOrTheFailure)
{
    Json::Value configs;
    configs["configs"]["play_host"] = "p";
    service->script("/goapi/getAppConfigs", ScriptedReply::success(configs));
    service->script("/room/deleteMeetting", ScriptedReply::failure(1003, "会议不存在"));
    manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
    manager.addTask(NetManager::SRVDeleteMeeting, bg::ValueMap());
    runAll();

    ASSERT_EQ(spies[35]->count(), 1);
    EXPECT_EQ(parse(spies[35]->at(0).at(1).toString().toStdString()), configs);
    ASSERT_EQ(spies[33]->count(), 1);
    const QList<QVariant> failed = spies[33]->at(0);
    EXPECT_FALSE(failed.at(0).toBool());
    EXPECT_TRUE(failed.at(1).toString().isEmpty());
    EXPECT_EQ(failed.at(2).toInt(), 1003);
    EXPECT_EQ(failed.at(3).toString(), QString::fromUtf8("会议不存在"));
}

TEST_F(NetManagerTest, TasksRunInTheOrderAddedEvenBehindASlowOne)
{
    std::mutex orderMutex;
    std::vector<std::string> order;
    const auto note = [&](const char* what) {
        std::lock_guard<std::mutex> lock(orderMutex);
        order.push_back(what);
    };
    QObject::connect(
        &manager, &NetManager::SRVCreateMeetingResult, &manager, [&] { note("30"); }, Qt::DirectConnection);
    QObject::connect(
        &manager, &NetManager::SRVJoinMeetingResult, &manager, [&] { note("34"); }, Qt::DirectConnection);
    QObject::connect(
        &manager, &NetManager::SRVDeleteMeetingResult, &manager, [&] { note("33"); }, Qt::DirectConnection);
    ScriptedReply slow = ScriptedReply::success();
    slow.delayMs = 400;
    service->script("/room/createMeetting", slow);

    manager.addTask(NetManager::SRVCreateMeeting, bg::ValueMap());
    manager.addTask(NetManager::SRVJoinMeeting, bg::ValueMap());
    manager.addTask(NetManager::SRVDeleteMeeting, bg::ValueMap());
    runAll();

    EXPECT_EQ(order, (std::vector<std::string> { "30", "34", "33" }));
    std::vector<std::string> paths;
    for (const RecordedRequest& request : service->requests())
        paths.push_back(request.path);
    EXPECT_EQ(paths,
        (std::vector<std::string> { "/room/createMeetting", "/room/joinMeetting", "/room/deleteMeetting" }));
}

TEST_F(NetManagerTest, UnknownTypesAreDroppedSilentlyAndTheNextTaskRuns)
{
    for (int type : { 36, -1, -7, 1000 })
        manager.addTask(type, bg::ValueMap());
    manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
    runAll();

    EXPECT_EQ(emitted(), (std::vector<std::pair<int, int>> { { 35, 1 } }));
    EXPECT_EQ(service->requests().size(), 1u);
    for (const auto& record : logger.all())
        EXPECT_EQ(record.line.find("Result:"), std::string::npos) << record.line;
}

TEST_F(NetManagerTest, StopDuringARequestReturnsAfterItsSignalAndLaterTasksNeverRun)
{
    ScriptedReply slow = ScriptedReply::success();
    slow.delayMs = 500;
    service->script("/room/createMeetting", slow);
    manager.addTask(NetManager::SRVCreateMeeting, bg::ValueMap());
    manager.addTask(NetManager::SRVJoinMeeting, bg::ValueMap());
    ASSERT_TRUE(waitFor([&] { return !service->requests().empty(); }));

    manager.stop();

    EXPECT_TRUE(manager.isFinished());
    EXPECT_EQ(emitted(), (std::vector<std::pair<int, int>> { { 30, 1 } }));
    manager.addTask(NetManager::SRVDeleteMeeting, bg::ValueMap());
    EXPECT_TRUE(manager.waitIdle(0));
    EXPECT_EQ(emitted(), (std::vector<std::pair<int, int>> { { 30, 1 } }));
    EXPECT_EQ(service->requests().size(), 1u);
}

TEST(NetManagerLifecycle, StopBeforeTheLoopOrWithoutStartEndsAtOnce)
{
    {
        NetManager manager;
        manager.start();
        manager.stop();
        EXPECT_TRUE(manager.isFinished());
    }
    {
        NetManager manager;
        manager.stop();
        EXPECT_FALSE(manager.isRunning());
    }
    {
        // Destroyed while running: the destructor ends and joins the thread.
        NetManager manager;
        manager.start();
    }
}

// Queued calls are not dropped when the program ends: waitIdle lets the worker finish them first.
TEST(NetManagerLifecycle, WaitIdleLetsQueuedTasksFinishBeforeStop)
{
    NetManager manager;
    std::atomic<int> results { 0 };
    QObject::connect(
        &manager, &NetManager::SRVGetAppConfigResult, &manager, [&results] { ++results; },
        Qt::DirectConnection);

    EXPECT_TRUE(manager.waitIdle(100)) << "a worker that never started has nothing to wait for";
    for (int i = 0; i < 20; ++i)
        manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
    manager.start();
    EXPECT_TRUE(manager.waitIdle(kDeadlineMs));
    manager.stop();
    EXPECT_EQ(results.load(), 20);
    EXPECT_TRUE(manager.waitIdle(100)) << "a stopped worker has nothing to wait for";
}

TEST_F(NetManagerTest, ResultsArriveOnTheReceiversThread)
{
    QObject receiver;
    QThread* deliveredOn = nullptr;
    QEventLoop loop;
    QObject::connect(&manager, &NetManager::SRVGetAppConfigResult, &receiver, [&] {
        deliveredOn = QThread::currentThread();
        loop.quit();
    });
    QTimer::singleShot(kDeadlineMs, &loop, &QEventLoop::quit);
    manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
    loop.exec();

    EXPECT_EQ(deliveredOn, QThread::currentThread());
}

// The framework log line of the logged types, the debug trace of the others, both without secrets.
TEST_F(NetManagerTest, LogAndTraceLinesNameTheTaskAndMaskSecrets)
{
    Json::Value login;
    login["token"] = "secret-meeting-token";
    login["user_pwd"] = "pw-in-reply";
    service->script("/meetingapi//account/checkLogin", ScriptedReply::success(login));
    manager.addTask(NetManager::MeetingLogin, bg::ValueMap());
    bg::ValueMap v2;
    v2["user_name"] = bg::Value("n");
    v2["user_pwd"] = bg::Value("typed-password");
    manager.addTask(NetManager::CheckLoginV2, v2);
    bg::ValueMap sdp;
    sdp["host"] = bg::Value(base);
    sdp["sdp"] = bg::Value("v=0");
    service->script("/zovpion/getRtcSdp", ScriptedReply::success()); // the forwarder answers real offers only
    manager.addTask(NetManager::V3GetRtcSdp, sdp);
    manager.addTask(NetManager::CheckVersion, bg::ValueMap());
    // The kick-out calls trace their reply data themselves.
    Json::Value kicked;
    kicked["list"][0]["password"] = "room-pw-in-reply";
    service->script("/zov/kickout2_list", ScriptedReply::success(kicked));
    manager.addTask(NetManager::ChatroomKickoutList, bg::ValueMap());
    runAll();

    const auto records = logger.all();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 5);
    EXPECT_EQ(records[0].tag, "bg");
    const std::string& line = records[0].line;
    EXPECT_NE(line.find("[D][bg] netmanager.cpp "), std::string::npos) << line;
    EXPECT_NE(line.find(": \"LoginMeetingServer: 0  {"), std::string::npos) << line;
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find("secret-meeting-token"), std::string::npos) << line;
    EXPECT_EQ(line.find("pw-in-reply"), std::string::npos) << line;

    const std::vector<std::string> lines = traces();
    EXPECT_TRUE(contains(lines, "LoginMeetingServer: 0"));
    EXPECT_TRUE(contains(lines, "CheckLoginV2Request: 0"));
    EXPECT_TRUE(contains(lines, "[V3GetRtcSdpRequest]Base64_Encode."));
    EXPECT_TRUE(contains(lines, "V3GetRtcSdpRequest: 0"));
    for (const std::string& trace : lines) {
        EXPECT_EQ(trace.find("secret-meeting-token"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("pw-in-reply"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("demo-meeting-token"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("room-pw-in-reply"), std::string::npos) << trace;
    }
}

// Below the debug level a reply is traced by its length, never its data, and nothing reaches the log.
TEST_F(NetManagerTest, RepliesAreTracedByLengthBelowTheDebugLevel)
{
    logger.levelValue = 2;
    Json::Value login;
    login["meetting_key"] = "reply-data-here";
    service->script("/meetingapi//account/checkLogin", ScriptedReply::success(login));
    {
        std::lock_guard<std::mutex> lock(traceMutex);
        traceLines.clear();
    }
    manager.addTask(NetManager::MeetingLogin, bg::ValueMap());
    runAll();

    EXPECT_TRUE(logger.all().empty());
    const std::vector<std::string> lines = traces();
    EXPECT_TRUE(contains(lines, "LoginMeetingServer: 0"));
    EXPECT_TRUE(contains(lines, " bytes)"));
    EXPECT_FALSE(contains(lines, "reply-data-here"));
}

namespace {

// Voluntary context switches of this process's thread named `name` (its wake-ups), -1 when none has it.
long long wakeUpsOf(const char* name)
{
    QDir tasks("/proc/self/task");
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + "/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile status(tasks.filePath(tid + "/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                return line.mid(int(qstrlen("voluntary_ctxt_switches:"))).trimmed().toLongLong();
        }
    }
    return -1;
}

} // namespace

// An idle worker sleeps until a task comes, and a task after a long idle still runs at once.
TEST_F(NetManagerTest, IdleWorkerSleepsUntilATaskComes)
{
    manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
    runAll();
    // The worker may still be on its way into the wait.
    QThread::yieldCurrentThread();
    const long long before = wakeUpsOf("NetManager");
    ASSERT_GE(before, 0);

    // Idle for a while: a worker that polled would wake dozens of times.
    QEventLoop idle;
    QTimer::singleShot(500, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LE(wakeUpsOf("NetManager") - before, 2);

    QEventLoop loop;
    QObject::connect(&manager, &NetManager::SRVGetAppConfigResult, &loop, &QEventLoop::quit);
    QTimer::singleShot(kDeadlineMs, &loop, &QEventLoop::quit);
    manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
    loop.exec();
    EXPECT_EQ(spies[NetManager::SRVGetAppConfig]->count(), 2);
}
