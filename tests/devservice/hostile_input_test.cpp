// Requests any client can send that the service must answer with an error and survive: numbers out of every
// integer range, values of the wrong type, a route that throws.
#include <devservice/chatrooms.h>
#include <devservice/jsonfields.h>
#include <devservice/meetingroutes.h>
#include <devservice/requestverifier.h>
#include <devservice/roomservice.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>

#include <korvex/zovnet.h>

#include <json/reader.h>
#include <json/writer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using devservice::Route;
using devservice::ScriptedReply;
using devservice::Service;
namespace wire = devservice::wire;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

std::string compact(const Json::Value& value)
{
    Json::FastWriter writer;
    writer.omitEndingLineFeed();
    return writer.write(value);
}

// `members` (JSON object text) with the signature members, signed as the service checks it.
std::string signedText(const std::string& members)
{
    Json::Value body = parse(members);
    body[wire::kSignTime] = 1700000000;
    body[wire::kSignPlatform] = 1;
    body[wire::kSignPlatformType] = 1;
    body[wire::kSignClient] = wire::kSignClientText;
    body[wire::kSignAppVersion] = "1.0.0";
    body[wire::kSignAppName] = "Tavimeet";
    body[wire::kSignature] = devservice::md5Hex(devservice::signatureText(body));
    return compact(body);
}

std::string envelope(const std::string& plain, const std::string& key, const std::string& versionText)
{
    return R"({"params":")" + devservice::aesEncrypt(plain, key) + R"(","version":)" + versionText + "}";
}

std::string commonEnvelope(const std::string& members)
{
    return envelope(signedText(members), devservice::keys::kCommon, "200");
}

class HostileInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service::Options options;
        options.https = false;
        service = std::make_unique<Service>(options);
        Route alive;
        alive.signedBody = false;
        alive.handler = [](const devservice::RecordedRequest&) { return ScriptedReply::success(Json::Value(7)); };
        service->addRoute("/alive", alive);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
    }

    Zov_Client::ZovResponse post(const std::string& path, const std::string& body)
    {
        return Zov_Client::ZovNet(service->baseUrl()).post(path, body);
    }

    Json::Value call(const std::string& path, const std::string& body)
    {
        const Zov_Client::ZovResponse response = post(path, body);
        EXPECT_EQ(response.status, 200) << path << ": " << response.body;
        return parse(response.body);
    }

    void expectServing()
    {
        const Zov_Client::ZovResponse response = post("/alive", "{}");
        ASSERT_EQ(response.status, 200) << "the service stopped answering";
        EXPECT_EQ(parse(response.body)[wire::kReplyData], 7);
    }

    std::unique_ptr<Service> service;
};

} // namespace

TEST_F(HostileInputTest, NumbersOutOfRangeAndWrongTypesAreThatRequestsError)
{
    using Rooms = devservice::ChatRoomService;
    // A room with its owner, for the calls that need one.
    const Json::Value room = call("/chat/room/create", R"({"password":"p","max_members":3})");
    const std::string roomId = room[wire::kReplyData]["room_id"].asString();
    const std::string ownerKey = room[wire::kReplyData]["owner_key"].asString();
    const Json::Value owner = call("/chat/room/join",
        R"({"room_id":")" + roomId + R"(","password":"p","owner_key":")" + ownerKey + R"("})");
    const std::string token = owner[wire::kReplyData]["token"].asString();
    ASSERT_FALSE(token.empty()) << compact(owner);
    const std::string inRoom = R"("room_id":")" + roomId + R"(","password":"p","token":")" + token + R"(")";

    // A meeting for the streamer registrations.
    ASSERT_EQ(call(devservice::paths::kCreateMeeting, signedText(R"({"meetting_key":"k1","token":"t"})"))
                  [wire::kReplyCode],
        0);

    const struct {
        const char* name;
        std::string path;
        std::string body;
        int errcode; // 0: any error but success
    } cases[] = {
        { "room size 1e19", "/chat/room/create", R"({"password":"p","max_members":1e19})", Rooms::kBadRequest },
        { "room size 2^64-1", "/chat/room/create", R"({"password":"p","max_members":18446744073709551615})",
            Rooms::kBadRequest },
        { "room size as text", "/chat/room/create", R"({"password":"p","max_members":"5"})", Rooms::kBadRequest },
        { "member 1e19 kicked", "/chat/room/kickout", "{" + inRoom + R"(,"user_id":1e19})", Rooms::kBadRequest },
        { "member 1e19 silenced", "/chat/room/forbid", "{" + inRoom + R"(,"user_id":1e19,"forbid":1})",
            Rooms::kBadRequest },
        { "silence of 1e19 seconds", "/chat/room/forbid", "{" + inRoom + R"(,"user_id":1,"forbid":1,"seconds":1e19})",
            Rooms::kBadRequest },
        { "silence flag 1e19", "/chat/room/forbid", "{" + inRoom + R"(,"user_id":1,"forbid":1e19})",
            Rooms::kBadRequest },
        { "a body that is an array", "/chat/room/create", R"([1,2])", Rooms::kBadRequest },
        { "offer for stream 1e19", devservice::paths::kRoomRtcSdp, R"({"sdp":"dj0w","stream_id":1e19})",
            devservice::rtc::kBadOffer },
        { "offer that is an object", devservice::paths::kRoomRtcSdp, R"({"sdp":{},"stream_id":0})",
            devservice::rtc::kBadOffer },
        { "offer on a body that is a number", devservice::paths::kRoomRtcSdp, "5", devservice::rtc::kBadOffer },
        { "membership envelope version 2^32", "/goapi/versionCheck",
            envelope(R"({"app_name":"x"})", "norvo.zq_&^%*_84", "4294967296"), 0 },
        { "membership envelope version 1e19", "/goapi/versionCheck",
            envelope(R"({"app_name":"x"})", "norvo.zq_&^%*_84", "1e19"), 0 },
        { "streamer 1e19", devservice::paths::kAddStreamer, signedText(R"({"meetting_key":"k1","stream_id":1e19})"),
            devservice::room::kBadRequest },
        { "main 1e19", devservice::paths::kAddStreamer,
            signedText(R"({"meetting_key":"k1","stream_id":5,"main":1e19})"), devservice::room::kBadRequest },
        { "play address that is an object",
            std::string(devservice::paths::kMeetingApiBase) + devservice::paths::kSignPlayRtcUrl,
            commonEnvelope(R"({"room_id":5,"play_url":{}})"), Service::kRefusedCode },
        { "video address that is an array",
            std::string(devservice::paths::kMeetingApiBase) + devservice::paths::kVideoSignUrl,
            commonEnvelope(R"({"class_id":8,"url":[1]})"), Service::kRefusedCode },
        { "operator's removal of kind 2^32", devservice::paths::kKickout,
            commonEnvelope("{" + inRoom + R"(,"user_id":2,"kick_type":4294967296})"), Rooms::kBadRequest },
        { "operator's cancel of member 1e19", devservice::paths::kKickoutCancel,
            commonEnvelope("{" + inRoom + R"(,"user_id":1e19})"), Rooms::kBadRequest },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Json::Value reply = call(c.path, c.body);
        ASSERT_TRUE(reply[wire::kReplyCode].isInt()) << compact(reply);
        if (c.errcode != 0)
            EXPECT_EQ(reply[wire::kReplyCode].asInt(), c.errcode) << compact(reply);
        else
            EXPECT_NE(reply[wire::kReplyCode].asInt(), 0) << compact(reply);
        expectServing();
    }
    // Nothing of the above changed the room: its owner is still in it, alone.
    const std::vector<devservice::ChatRoomSnapshot> rooms = service->chatRooms();
    ASSERT_EQ(rooms.size(), 1u);
    EXPECT_EQ(rooms[0].members.size(), 1u);
    EXPECT_TRUE(rooms[0].kickedOut.empty());
}

// Whatever a route throws is answered 500 on that request; the connection's thread and the service go on.
TEST_F(HostileInputTest, ARouteThatThrowsIsAnswered500)
{
    Route throwing;
    throwing.signedBody = false;
    throwing.handler = [](const devservice::RecordedRequest& request) -> ScriptedReply {
        if (request.query == "std")
            throw std::out_of_range("out of range");
        throw 42;
    };
    service->addRoute("/throws", throwing);
    for (const char* kind : { "std", "other" }) {
        SCOPED_TRACE(kind);
        const Zov_Client::ZovResponse response = post(std::string("/throws?") + kind, "{}");
        EXPECT_EQ(response.status, 500) << response.body;
        expectServing();
    }
    const std::vector<devservice::RecordedRequest> requests = service->requests();
    const auto thrown = std::find_if(requests.begin(), requests.end(),
        [](const devservice::RecordedRequest& r) { return r.query == "std"; });
    ASSERT_NE(thrown, requests.end());
    EXPECT_NE(thrown->problem.find("out of range"), std::string::npos) << thrown->problem;
}

// The service's reading of JSON: nesting is bounded, and a number reads only as a type that holds it.
TEST(ServiceJsonReading, BoundsNestingAndReadsNumbersOnlyInRange)
{
    namespace jf = devservice::jsonfields;
    const auto nested = [](int depth) { return std::string(size_t(depth), '[') + std::string(size_t(depth), ']'); };
    Json::Value value;
    EXPECT_TRUE(jf::parse(nested(jf::kMaxDepth), value));
    std::string error;
    EXPECT_FALSE(jf::parse(nested(jf::kMaxDepth + 1), value, &error));
    EXPECT_TRUE(value.isNull());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(jf::parse(std::string(100000, '['), value));
    EXPECT_TRUE(jf::parse(R"({"a":1})", value)) << "a fresh reader after a refused one";

    const Json::Value object = parse(R"({"big":1e19,"top":18446744073709551615,"neg":-1,"int":2147483648,
        "whole":5.0,"half":0.5,"yes":true,"text":"t","list":[1],"obj":{"x":1}})");
    EXPECT_EQ(jf::int64Of(object, "big"), std::nullopt);
    EXPECT_EQ(jf::uint64Of(object, "big"), 10000000000000000000ull);
    EXPECT_EQ(jf::uint64Of(object, "yes"), std::nullopt);
    EXPECT_EQ(jf::int64Of(object, "top"), std::nullopt);
    EXPECT_EQ(jf::uint64Of(object, "top"), 18446744073709551615ull);
    EXPECT_EQ(jf::uint64Of(object, "neg"), std::nullopt);
    EXPECT_EQ(jf::intOf(object, "int"), std::nullopt);
    EXPECT_EQ(jf::int64Of(object, "int"), 2147483648ll);
    EXPECT_EQ(jf::intOf(object, "whole"), 5);
    EXPECT_EQ(jf::intOf(object, "half"), std::nullopt);
    EXPECT_EQ(jf::doubleOf(object, "half"), 0.5);
    EXPECT_EQ(jf::intOf(object, "yes"), std::nullopt);
    EXPECT_EQ(jf::boolOf(object, "yes"), true);
    EXPECT_EQ(jf::stringOf(object, "obj"), std::nullopt);
    EXPECT_EQ(jf::stringOf(object, "list"), std::nullopt);
    EXPECT_EQ(jf::stringOf(object, "text"), "t");
    EXPECT_EQ(jf::stringOf(object, "missing"), std::nullopt);
    // Members and elements of what is no object or array read as absent.
    EXPECT_TRUE(jf::member(object["list"], "x").isNull());
    EXPECT_TRUE(jf::element(object["obj"], 0).isNull());
    EXPECT_TRUE(jf::element(object["list"], 1).isNull());
    EXPECT_EQ(jf::toInt(jf::element(object["list"], 0)), 1);
    EXPECT_FALSE(jf::has(object["list"], "x"));
}
