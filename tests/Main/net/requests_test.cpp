#include "request_fixture.h"

#include "global/servicehosts.h"
#include "net/addnewmeetingid.h"
#include "net/addstudentitem.h"
#include "net/chatroomkickout.h"
#include "net/chatroomkickoutcancel.h"
#include "net/chatroomkickoutlist.h"
#include "net/checkloginv2.h"
#include "net/clearstudentlist.h"
#include "net/deletemeetinghistory.h"
#include "net/deletemeetingid.h"
#include "net/getconfig.h"
#include "net/getmeetinghistory.h"
#include "net/getmeetinglivestudents.h"
#include "net/getmeetingteamlist.h"
#include "net/getproductstate.h"
#include "net/getstudentlist.h"
#include "net/getvideodownloadurl.h"
#include "net/meetingheartbeat.h"
#include "net/meetinglogin.h"
#include "net/renamemeeting.h"
#include "net/signrtcplayurl.h"
#include "net/srvaddmeettingstreamer.h"
#include "net/srvcreatemeeting.h"
#include "net/srvdeletemeetting.h"
#include "net/srvgetappconfig.h"
#include "net/srvgetrtcsdp.h"
#include "net/srvjoinmeeting.h"
#include "net/startmeeting.h"
#include "net/startmeetingv2.h"
#include "net/stopmeeting.h"
#include "net/v3addstreamer.h"
#include "net/v3getmeetinginfo.h"
#include "net/v3getrtcsdp.h"
#include "net/v3initserver.h"
#include "net/v3pushrtcsdp.h"
#include "net/versioncheck.h"
#include "net/wirenames.h"

#include "support/free_port.h"

#include <ctime>
#include <functional>
#include <set>

using devservice::RecordedRequest;
using devservice::ScriptedReply;

namespace {

const std::set<std::string> kSignatureMembers = { wire::kSignTime, wire::kSignPlatform,
    wire::kSignPlatformType, wire::kSignClient, wire::kSignAppVersion, wire::kSignAppName, wire::kSignature };

// The request's own members are exactly `expected`: same names, strings as strings with the same text,
// integers as JSON integers with the same value (all 64 bits), arrays equal.
void expectMembers(const Json::Value& actual, const Json::Value& expected)
{
    ASSERT_TRUE(actual.isObject());
    for (const std::string& name : actual.getMemberNames()) {
        if (!kSignatureMembers.count(name)) {
            EXPECT_TRUE(expected.isMember(name)) << "unexpected member " << name;
        }
    }
    for (const std::string& name : expected.getMemberNames()) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(actual.isMember(name));
        const Json::Value& want = expected[name];
        const Json::Value& got = actual[name];
        if (want.isString()) {
            ASSERT_TRUE(got.isString());
            EXPECT_EQ(got.asString(), want.asString());
        } else if (want.isIntegral()) {
            ASSERT_TRUE(got.isIntegral() && !got.isBool() && got.type() != Json::realValue) << got;
            EXPECT_EQ(got.asInt64(), want.asInt64());
        } else {
            EXPECT_EQ(got, want);
        }
    }
}

struct Row {
    const char* name;
    std::function<bool(std::string&)> run;
    std::string path; // as the service receives it
    std::string query;
    std::string token; // the Authorization value expected, empty for none
    bool enveloped;
    int version; // of the envelope
    const char* members; // the request's own members
};

const Json::Value kLoginData = parse(R"({"token": "t1", "meeting_token": "t2"})");

} // namespace

// One row per request class (and per conditional shape): what reached the service and what came back.
TEST_F(RequestFixture, EveryRequestReachesItsServiceWithItsProfile)
{
    signIn();
    const std::string api = "/meetingapi/";
    const std::string user = "Bearer user-tok";
    const std::string meet = "Bearer meet-tok";
    const Row rows[] = {
        { "SRVCreateMeeting",
            [](std::string& d) { return SRVCreateMeeting().exec(d, "标题", "0042", "1234"); },
            "/room/createMeetting", "", user, false, 0,
            R"({"token": "user-tok", "meetting_key": "0042", "password": "1234", "title": "标题"})" },
        { "SRVJoinMeeting", [](std::string& d) { return SRVJoinMeeting().exec(d, "0042", "小明", "1234"); },
            "/room/joinMeetting", "", user, false, 0,
            R"({"meetting_key": "0042", "password": "1234", "user_name": "小明"})" },
        { "SRVGetRtcSdp",
            [](std::string& d) { return SRVGetRtcSdp().exec(d, "a&b c#1", 5000000000LL, 2, "c2Rw"); },
            "/test/getRtcSdp", "meetting_key=a%26b%20c%231", user, false, 0,
            R"({"stream_id": 5000000000, "type": 2, "sdp": "c2Rw"})" },
        { "SRVAddMeettingStreamer full",
            [](std::string& d) {
                return SRVAddMeettingStreamer().exec(d, "0042", "主画面", "r1", "p1", 5000000003LL, true);
            },
            "/room/addMeettingStreamer", "", user, false, 0,
            R"({"meetting_key": "0042", "stream_id": 5000000003, "room_id": "r1", "room_pwd": "p1",
                "title": "主画面", "main": 1})" },
        { "SRVAddMeettingStreamer no title",
            [](std::string& d) { return SRVAddMeettingStreamer().exec(d, "0042", "", "", "", 7, true); },
            "/room/addMeettingStreamer", "", user, false, 0, R"({"meetting_key": "0042", "stream_id": 7})" },
        { "SRVAddMeettingStreamer not main",
            [](std::string& d) { return SRVAddMeettingStreamer().exec(d, "0042", "t", "", "p1", 7, false); },
            "/room/addMeettingStreamer", "", user, false, 0,
            R"({"meetting_key": "0042", "stream_id": 7, "room_pwd": "p1", "title": "t", "main": 0})" },
        { "SRVDeleteMeetting", [](std::string& d) { return SRVDeleteMeetting().exec(d, "0042"); },
            "/room/deleteMeetting", "", user, false, 0, R"({"meetting_key": "0042"})" },

        { "MeetingLogin", [](std::string& d) { return MeetingLogin().exec(d); }, api + "/account/checkLogin",
            "", "", true, 200, R"({"vip_token": "user-tok"})" },
        { "AddNewMeetingID", [](std::string& d) { return AddNewMeetingID().exec(d, "周会"); },
            api + "/account/createMeeting", "", meet, true, 200, R"({"title": "周会"})" },
        { "DeleteMeetingID", [](std::string& d) { return DeleteMeetingID().exec(d, 11); },
            api + "/account/deleteMeeting", "", meet, true, 200, R"({"meeting_id": 11})" },
        { "RenameMeeting", [](std::string& d) { return RenameMeeting().exec(d, 11, "新名"); },
            api + "/account/renameMeeting", "", meet, true, 200, R"({"meeting_id": 11, "title": "新名"})" },
        { "GetMeetingTeamList", [](std::string& d) { return GetMeetingTeamList().exec(d); },
            api + "/account/getMeetings", "", meet, true, 200, "{}" },
        { "StartMeeting members",
            [](std::string& d) {
                return StartMeeting().exec(d, 11, "t", 1, { { "b", "2" }, { "a", "1" } });
            },
            api + "/account/startMeeting", "", meet, true, 200,
            R"({"meeting_id": 11, "title": "t", "allow_viewer": 1, "student_list": ["a:1", "b:2"]})" },
        { "StartMeeting no members", [](std::string& d) { return StartMeeting().exec(d, 11, "t", 0, {}); },
            api + "/account/startMeeting", "", meet, true, 200,
            R"({"meeting_id": 11, "title": "t", "allow_viewer": 0})" },
        { "StopMeeting", [](std::string& d) { return StopMeeting().exec(d, 11, 12); },
            api + "/account/endMeeting", "", meet, true, 200, R"({"meeting_id": 11, "class_id": 12})" },
        { "GetMeetingLiveStudents", [](std::string& d) { return GetMeetingLiveStudents().exec(d, 12); },
            api + "/account/getMeetingLiveStudents", "", meet, true, 200, R"({"class_id": 12})" },
        { "SignRtcPlayUrl", [](std::string& d) { return SignRtcPlayUrl().exec(d, 13, "webrtc://p/x"); },
            api + "/account/signPlayRtcUrl", "", meet, true, 200,
            R"({"room_id": 13, "play_url": "webrtc://p/x"})" },
        { "MeetingHeartbeat", [](std::string& d) { return MeetingHeartbeat().exec(d, 12, 30); },
            api + "/account/meetingHeartBeat", "", meet, true, 200, R"({"class_id": 12, "viewer_num": 30})" },
        { "GetProductState", [](std::string& d) { return GetProductState().exec(d); },
            api + "/account/getProductState", "", meet, true, 200, "{}" },
        { "GetMeetingHistory",
            [](std::string& d) { return GetMeetingHistory().exec(d, 11, 2, 20, "2024-01-01", "2024-02-01"); },
            api + "/account/meetingClassHistory", "", meet, true, 200,
            R"({"meeting_id": 11, "page": 2, "page_size": 20, "start_time": "2024-01-01",
                "end_time": "2024-02-01"})" },
        { "GetConfig", [](std::string& d) { return GetConfig().exec(d, "k1"); }, api + "/public/getConfig",
            "", "", true, 200, R"({"key": "k1"})" },
        { "getVideoDownloadUrl", [](std::string& d) { return getVideoDownloadUrl().exec(d, 12, "v.mp4"); },
            api + "/account/videoSignUrl", "", meet, true, 200, R"({"class_id": 12, "url": "v.mp4"})" },
        { "DeleteMeetingHistory", [](std::string& d) { return DeleteMeetingHistory().exec(d, 12); },
            api + "/account/deleteMeetingClassHistory", "", meet, true, 200, R"({"class_id": 12})" },
        { "CheckLoginV2", [](std::string& d) { return CheckLoginV2().exec(d, "u", "pw"); },
            api + "/account/checkLoginV2", "", "", true, 200, R"({"user_name": "u", "user_pwd": "pw"})" },
        { "StartMeetingV2", [](std::string& d) { return StartMeetingV2().exec(d, 11, "t", 2, "1234", ""); },
            api + "/account/startMeetingV2", "", meet, true, 200,
            R"({"meeting_id": 11, "title": "t", "type": 2, "password": "1234", "student_list": ""})" },
        { "AddStudentItem", [](std::string& d) { return AddStudentItem().exec(d, 11, "s", "pw"); },
            api + "/account/addStudent", "", meet, true, 200,
            R"({"meeting_id": 11, "user_name": "s", "user_pwd": "pw"})" },
        { "GetStudentList", [](std::string& d) { return GetStudentList().exec(d, 11); },
            api + "/account/listStudent", "", meet, true, 200, R"({"meeting_id": 11})" },
        { "ClearStudentList", [](std::string& d) { return ClearStudentList().exec(d, 11); },
            api + "/account/clearStudent", "", meet, true, 200, R"({"meeting_id": 11})" },

        { "VersionCheck", [](std::string&) { return VersionCheck().exec(); }, "/vip//product/checkAppVersion",
            "", "", true, 100, R"({"type": 20000, "device_name": "windows"})" },
        { "SRVGetAppConfig", [](std::string& d) { return SRVGetAppConfig().exec(d); }, "/goapi/getAppConfigs",
            "", "", true, 100, R"({"product_Type": 23000})" },
        { "ChatroomKickout",
            [](std::string& d) { return ChatroomKickout().exec(d, "r1", "p1", "c1", 2, 5000000001LL); },
            "/zov/kickout2", "", "", true, 200,
            R"({"room_id": "r1", "password": "p1", "chat_id": "c1", "kick_type": 2, "user_id": 5000000001})" },
        { "ChatroomKickoutList", [](std::string& d) { return ChatroomKickoutList().exec(d, "r1", "p1"); },
            "/zov/kickout2_list", "", "", true, 200, R"({"room_id": "r1", "password": "p1"})" },
        { "ChatroomKickoutCancel",
            [](std::string& d) {
                return ChatroomKickoutCancel().exec(d, "r1", "p1", 5000000002LL, 2, "10.0.0.9");
            },
            "/zov/kickout2_cancel", "", "", true, 200,
            R"({"room_id": "r1", "password": "p1", "user_id": 5000000002, "kick_type": 2, "ip": "10.0.0.9"})" },
        { "V3GetMeetingInfo", [this](std::string& d) { return V3GetMeetingInfo().exec(d, base); },
            "/info/getInfo", "", "", false, 0, "{}" },
        { "V3PushRtcSdp",
            [this](std::string& d) { return V3PushRtcSdp().exec(d, base, "b2ZmZXI=", "sig-tok"); },
            "/zovpion/getRtcSdp", "", "Bearer sig-tok", false, 0,
            R"({"stream_id": 0, "type": 1, "sdp": "b2ZmZXI=", "token": "sig-tok"})" },
        { "V3AddStreamer",
            [](std::string& d) { return V3AddStreamer().exec(d, 5000000005LL, "t", "r1", "p1"); },
            "/info/addStreamer", "", "", false, 0,
            R"({"stream_id": 5000000005, "title": "t", "room_id": "r1", "room_pwd": "p1"})" },
        { "V3GetRtcSdp",
            [this](
                std::string& d) { return V3GetRtcSdp().exec(d, base, 5000000004LL, "b2ZmZXI=", "sig-tok"); },
            "/zovpion/getRtcSdp", "", "Bearer sig-tok", false, 0,
            R"({"stream_id": 5000000004, "type": 1, "sdp": "b2ZmZXI="})" },
        { "V3InitServer", [](std::string& d) { return V3InitServer().exec(d); }, "/info/initServer", "", "",
            false, 0, R"({"token": "user-tok"})" },
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        signIn(); // the sign-in rows store a meeting token of their own
        VersionCheck::clearChecked();
        service->clearRequests();
        // Enveloped services answer enciphered, under the key the request must use to read it.
        Json::Value result = parse(R"({"row": 1})");
        result["row"] = row.name;
        if (row.path.find("checkLogin") != std::string::npos)
            result = kLoginData;
        ScriptedReply reply = ScriptedReply::success(result);
        reply.encrypt = row.enveloped;
        service->script(row.path, reply);

        std::string data = "preset";
        const std::time_t before = std::time(nullptr);
        ASSERT_TRUE(row.run(data));

        const std::vector<RecordedRequest> requests = service->requests();
        ASSERT_EQ(requests.size(), 1u);
        const RecordedRequest& got = requests[0];
        EXPECT_EQ(got.method, "POST");
        EXPECT_EQ(got.path, row.path);
        EXPECT_EQ(got.query, row.query);
        EXPECT_EQ(got.header("content-type"), "application/json");
        EXPECT_EQ(got.header("authorization"), row.token);
        EXPECT_TRUE(got.signatureValid) << got.problem;
        EXPECT_EQ(got.enveloped, row.enveloped);
        if (row.enveloped) {
            EXPECT_EQ(got.envelopeVersion, row.version);
        }
        expectMembers(got.members, parse(row.members));
        // Whole seconds, taken when the request was made.
        const Json::Int64 time = got.members[wire::kSignTime].asInt64();
        EXPECT_GE(time, before);
        EXPECT_LE(time, std::time(nullptr));
        if (std::string(row.name) != "VersionCheck") {
            EXPECT_EQ(data, row.enveloped ? compact(result) : result.toStyledString());
        }
    }
}

// Without a signed-in user the room service gets an empty token member and no request carries the header.
TEST_F(RequestFixture, WithoutTokensNoTokenHeaderIsSent)
{
    data[netkeys::kNetMeetingHost] = bg::Value(base);
    std::string reply;
    ASSERT_TRUE(SRVCreateMeeting().exec(reply, "t", "0042", ""));
    ASSERT_TRUE(SRVDeleteMeetting().exec(reply, "0042"));
    ASSERT_TRUE(AddNewMeetingID().exec(reply, "t"));

    const std::vector<RecordedRequest> requests = service->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].members["token"], "");
    for (const RecordedRequest& request : requests)
        EXPECT_EQ(request.header("authorization"), "") << request.path;
}

// The room service is "NET_MEETING_HOST" when set, else the preset host, read anew for every request.
TEST_F(RequestFixture, RoomServiceBaseFallsBackToThePresetHost)
{
    data[netkeys::kPreConfigHost] = bg::Value(base);
    std::string reply;
    EXPECT_TRUE(SRVJoinMeeting().exec(reply, "0042", "v")) << "viewer who never created a meeting";

    data[netkeys::kNetMeetingHost] = bg::Value("http://127.0.0.1:" + std::to_string(closedLoopbackPort()));
    SRVJoinMeeting elsewhere;
    EXPECT_FALSE(elsewhere.exec(reply, "0042", "v"));
    EXPECT_EQ(elsewhere.code, -7);

    data[netkeys::kNetMeetingHost] = bg::Value(base);
    EXPECT_TRUE(SRVJoinMeeting().exec(reply, "0042", "v"));
    EXPECT_EQ(service->requests().size(), 2u);
}

// A base nobody configured fails at once with the bad-address text; nothing is sent anywhere.
TEST_F(RequestFixture, EmptyBaseFailsWithoutTransfer)
{
    RequestProfile::setLocalServerSource([] { return std::string(); }); // no usable own address
    const auto expectBadAddress = [](NetBase& request, bool ok, const std::string& reply) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(request.code, -3);
        EXPECT_EQ(request.message, "请求地址不正确，请重启软件！");
        EXPECT_EQ(reply, "kept");
    };
    std::string reply = "kept";
    ChatroomKickoutList list;
    expectBadAddress(list, list.exec(reply, "r", "p"), reply);
    SRVDeleteMeetting remove;
    expectBadAddress(remove, remove.exec(reply, "0042"), reply);
    SRVGetAppConfig config;
    expectBadAddress(config, config.exec(reply), reply);
    V3InitServer init;
    expectBadAddress(init, init.exec(reply), reply);
    EXPECT_TRUE(service->requests().empty());
}

// The product type of the version check and of the configuration request is the application's
// "product_type"; the defaults apply only when it was never set.
TEST_F(RequestFixture, ProductTypeComesFromTheApplicationInfo)
{
    signIn();
    // Neither default (20000 for the version check, 23000 for the configuration): the value is read.
    app[netkeys::kAppProductType] = bg::Value(24000);
    VersionCheck::clearChecked();
    std::string reply;
    ASSERT_TRUE(VersionCheck().exec());
    ASSERT_TRUE(SRVGetAppConfig().exec(reply));
    VersionCheck::clearChecked();

    const std::vector<RecordedRequest> requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].members["type"], 24000);
    EXPECT_EQ(requests[1].members["product_Type"], 24000);
    EXPECT_FALSE(requests[1].members.isMember("product_type"));
}

TEST_F(RequestFixture, VersionCheckAsksUntilOneReplyIsUnderstood)
{
    VersionCheck::clearChecked();
    const std::string path = "/vip//product/checkAppVersion";
    service->script(path, ScriptedReply::failure(5, "busy"));
    service->script(path, ScriptedReply::success()); // no data: nothing to parse
    ScriptedReply good = ScriptedReply::success(parse(R"({"version": "1.0.0"})"));
    good.encrypt = true;
    service->script(path, good);

    VersionCheck first;
    EXPECT_FALSE(first.exec());
    EXPECT_EQ(first.code, 5);
    EXPECT_FALSE(VersionCheck().exec());
    EXPECT_TRUE(VersionCheck().exec());
    EXPECT_EQ(service->requests().size(), 3u);

    // Understood once: every later check succeeds without asking, even with the service failing.
    service->script(path, ScriptedReply::failure(5, "busy"));
    EXPECT_TRUE(VersionCheck().exec());
    EXPECT_TRUE(VersionCheck().exec());
    EXPECT_EQ(service->requests().size(), 3u);
    VersionCheck::clearChecked();
}

// Paths, keys and versions of the defaults replace only scheme, host and port.
TEST(ServiceHosts, DeploymentUrlKeepsThePath)
{
    const struct {
        const char* variable; // null: unset
        const char* builtIn;
        const char* expected;
    } cases[] = {
        { nullptr, "https://meeting.example.com/meetingapi/", "https://meeting.example.com/meetingapi/" },
        { "", "https://vip.example.com/goapi", "https://vip.example.com/goapi" },
        { "http://127.0.0.1:5000", "https://meeting.example.com/meetingapi/",
            "http://127.0.0.1:5000/meetingapi/" },
        { "http://127.0.0.1:5000/", "https://vip.example.com/goapi", "http://127.0.0.1:5000/goapi" },
        { "https://127.0.0.1:7", "https://room.example.com", "https://127.0.0.1:7" },
        { "http://127.0.0.1:7", "http://10.1.2.3:8070", "http://127.0.0.1:7" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.builtIn);
        ScopedEnv env("TAVICAST_SERVICE_URL",
            c.variable ? std::optional<std::string>(c.variable) : std::optional<std::string>());
        EXPECT_EQ(servicehosts::deploymentUrl(c.builtIn), c.expected);
    }
}
