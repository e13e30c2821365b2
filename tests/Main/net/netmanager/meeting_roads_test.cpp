// The meeting roads through the request worker, the real framework stores and the local service over TLS:
// what the forms send and read, in the order they send it.
#include "global/servicehosts.h"
#include "net/netmanager.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include "support/scoped_env.h"

#include <devservice/roomservice.h>
#include <devservice/service.h>

#include <bridge/bridge_init.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <json/reader.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int kDeadlineMs = 20000;

struct Reply {
    bool arrived = false;
    bool result = false;
    QString json;
    int errorCode = 0;
    QString error;
    QString uuid;
    QString sdp;

    Json::Value data() const
    {
        Json::Value value;
        Json::Reader().parse(json.toStdString(), value);
        return value;
    }
};

class MeetingRoadsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(configDir.isValid());
        bg::SetConfigLogDir(configDir.path().toUtf8().constData());
        static char name[] = "tavicast-roads";
        static char* argv[] = { name, nullptr };
        bg::InitBridge(1, argv);
        ASSERT_NE(CD, nullptr);

        devservice::ServiceOptions options;
        rooms = devservice::addRoomServiceRoutes(options.routes);
        service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        serviceUrl.emplace("TAVICAST_SERVICE_URL", service->baseUrl());
        caFile.emplace("TAVICAST_CA_FILE", service->caFile());
        roomBase = servicehosts::deploymentUrl(servicehosts::kCommandApiBase);
        requeststore::setData(netkeys::kUserToken, bg::Value("demo-user-token"));
        manager.start();
    }

    void TearDown() override
    {
        manager.stop();
        bg::UninitBridge();
        bg::SetConfigLogDir(nullptr);
    }

    // As a form asks: connect a one-shot handler to the task's signal, add the task, and take the one
    // reply; the handler drops its connection first.
    template <typename... Args>
    Reply ask(void (NetManager::*signal)(bool, QString, int, QString, Args...), int type,
        const bg::ValueMap& params)
    {
        Reply reply;
        QEventLoop loop;
        QObject form;
        QObject::connect(
            &manager, signal, &form, [&](bool result, QString json, int code, QString error, Args... extra) {
                QObject::disconnect(&manager, signal, &form, nullptr);
                reply.arrived = true;
                reply.result = result;
                reply.json = json;
                reply.errorCode = code;
                reply.error = error;
                if constexpr (sizeof...(Args) == 2) {
                    const QString texts[] = { extra... };
                    reply.uuid = texts[0];
                    reply.sdp = texts[1];
                }
                loop.quit();
            });
        QTimer::singleShot(kDeadlineMs, &loop, &QEventLoop::quit);
        manager.addTask(type, params);
        loop.exec();
        EXPECT_TRUE(reply.arrived) << "no reply to task " << type;
        return reply;
    }

    // A room-service path as the service sees it: behind the path of the room-service base.
    std::string roomPath(const char* path) const
    {
        return QUrl(QString::fromStdString(roomBase)).path().toStdString() + path;
    }

    std::vector<std::string> paths() const
    {
        std::vector<std::string> out;
        for (const auto& request : service->requests()) {
            out.push_back(request.path);
            EXPECT_TRUE(request.secure) << request.path;
            EXPECT_TRUE(request.problem.empty()) << request.path << ": " << request.problem;
            EXPECT_EQ(request.header("authorization"), "Bearer demo-user-token") << request.path;
        }
        return out;
    }

    QTemporaryDir configDir;
    std::shared_ptr<devservice::RoomService> rooms;
    std::unique_ptr<devservice::Service> service;
    std::optional<ScopedEnv> serviceUrl;
    std::optional<ScopedEnv> caFile;
    std::string roomBase;
    NetManager manager;
};

const char kOffer[] = "v=0\r\no=- 4611731400430051336 2 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n";

// The service's forwarder answers real offers only; these cases check the client's side of the exchange, so
// the answer is scripted: the offer handed back.
devservice::ScriptedReply echoedAnswer()
{
    Json::Value result(Json::objectValue);
    result["sdp"] = kOffer;
    result["id"] = Json::Int64(1001);
    return devservice::ScriptedReply::success(result);
}

} // namespace

// The host creates a meeting, registers its main stream, exchanges the SDP of a stream and deletes the
// meeting at the end.
TEST_F(MeetingRoadsTest, HostCreatesRegistersExchangesAndDeletes)
{
    requeststore::setData(netkeys::kNetMeetingHost, bg::Value(roomBase));

    bg::ValueMap create;
    create["title"] = bg::Value("周会");
    create["meeting_key"] = bg::Value("20231208");
    create["meeting_pwd"] = bg::Value("1234");
    const Reply created = ask(&NetManager::SRVCreateMeetingResult, NetManager::SRVCreateMeeting, create);
    ASSERT_TRUE(created.result) << created.errorCode << " " << created.error.toStdString();
    const Json::Value meeting = created.data()["meetting"];
    ASSERT_EQ(meeting["meetting_key"].asString(), "20231208");
    EXPECT_FALSE(meeting["chat_host"].asString().empty());

    bg::ValueMap streamer;
    streamer["meeting_key"] = bg::Value(meeting["meetting_key"].asString());
    streamer["title"] = bg::Value("周会");
    streamer["streamer_id"] = bg::Value(1000);
    streamer["room_id"] = bg::Value("room-1");
    streamer["room_pwd"] = bg::Value("pw");
    streamer["main"] = bg::Value(true);
    const Reply added
        = ask(&NetManager::SRVAddMeetingStreamerResult, NetManager::SRVAddMeetingStreamer, streamer);
    EXPECT_TRUE(added.result) << added.error.toStdString();

    bg::ValueMap offer;
    offer["meeting_key"] = bg::Value("20231208");
    offer["stream_id"] = bg::Value(1000LL);
    offer["sdp"] = bg::Value(kOffer);
    offer["type"] = bg::Value(1);
    offer["uuid"] = bg::Value("co-broadcast-2");
    service->script(roomPath("/test/getRtcSdp"), echoedAnswer());
    const Reply answer = ask(&NetManager::SRVGetRtcSdpResult, NetManager::SRVGetRtcSdp, offer);
    EXPECT_TRUE(answer.result) << answer.error.toStdString();
    EXPECT_EQ(answer.uuid, QStringLiteral("co-broadcast-2"));
    EXPECT_EQ(answer.sdp.toStdString(), kOffer);
    EXPECT_EQ(answer.data()["sdp"].asString(), kOffer);

    bg::ValueMap close;
    close["meeting_key"] = bg::Value("20231208");
    const Reply deleted = ask(&NetManager::SRVDeleteMeetingResult, NetManager::SRVDeleteMeeting, close);
    EXPECT_TRUE(deleted.result) << deleted.error.toStdString();

    EXPECT_EQ(paths(),
        (std::vector<std::string> { roomPath("/room/createMeetting"), roomPath("/room/addMeettingStreamer"),
            roomPath("/test/getRtcSdp"), roomPath("/room/deleteMeetting") }));
    EXPECT_EQ(service->requests()[2].query, "meetting_key=20231208");
}

// A viewer who never created a meeting joins through the preset room service and pulls the main stream
// the join reply names.
TEST_F(MeetingRoadsTest, ViewerJoinsWithoutARoomHostAndPullsTheMainStream)
{
    requeststore::setData(netkeys::kPreConfigHost, bg::Value(roomBase));
    ASSERT_TRUE(requeststore::dataText(netkeys::kNetMeetingHost).empty());
    // Someone else's meeting, already live.
    devservice::RecordedRequest host;
    host.members["meetting_key"] = "20231208";
    host.members["password"] = "580917";
    ASSERT_EQ(rooms->create(host).errcode, 0);
    host.members["stream_id"] = 1000;
    host.members["main"] = 1;
    ASSERT_EQ(rooms->addStreamer(host).errcode, 0);

    bg::ValueMap join;
    join["meeting_key"] = bg::Value("20231208");
    join["user_name"] = bg::Value("小明");
    const Reply joined = ask(&NetManager::SRVJoinMeetingResult, NetManager::SRVJoinMeeting, join);
    ASSERT_TRUE(joined.result) << joined.errorCode << " " << joined.error.toStdString();
    const Json::Value data = joined.data();
    ASSERT_EQ(data["meetting"]["meetting_key"].asString(), "20231208");
    Json::Value main;
    main["stream_id"] = 1000;

    bg::ValueMap pull;
    pull["meeting_key"] = bg::Value("20231208");
    pull["stream_id"] = bg::Value(static_cast<long long>(main["stream_id"].asInt64()));
    pull["sdp"] = bg::Value(kOffer);
    pull["type"] = bg::Value(1);
    pull["uuid"] = bg::Value("main-pull");
    service->script(roomPath("/test/getRtcSdp"), echoedAnswer());
    const Reply answer = ask(&NetManager::SRVGetRtcSdpResult, NetManager::SRVGetRtcSdp, pull);
    EXPECT_TRUE(answer.result) << answer.error.toStdString();
    EXPECT_EQ(answer.uuid, QStringLiteral("main-pull"));
    EXPECT_EQ(answer.data()["sdp"].asString(), kOffer);

    EXPECT_EQ(
        paths(), (std::vector<std::string> { roomPath("/room/joinMeetting"), roomPath("/test/getRtcSdp") }));
    EXPECT_EQ(service->requests()[1].members["stream_id"].asInt64(), main["stream_id"].asInt64());
}

// Without any room-service base the join fails with a reason and nothing goes out.
TEST_F(MeetingRoadsTest, JoinWithoutAnyRoomServiceFailsWithAReason)
{
    bg::ValueMap join;
    join["meeting_key"] = bg::Value("20231208");
    const Reply joined = ask(&NetManager::SRVJoinMeetingResult, NetManager::SRVJoinMeeting, join);
    EXPECT_FALSE(joined.result);
    EXPECT_NE(joined.errorCode, 0);
    EXPECT_FALSE(joined.error.isEmpty());
    EXPECT_TRUE(service->requests().empty());
}
