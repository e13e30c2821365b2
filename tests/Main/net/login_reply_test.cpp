#include "request_fixture.h"

#include "net/checkloginv2.h"
#include "net/meetinglogin.h"
#include "net/srvaddmeettingstreamer.h"
#include "net/srvcreatemeeting.h"
#include "net/srvgetappconfig.h"
#include "net/srvgetrtcsdp.h"
#include "net/srvjoinmeeting.h"
#include "net/v3getrtcsdp.h"
#include "net/versioncheck.h"

#include <QtGlobal>

#include <mutex>
#include <vector>

using devservice::ScriptedReply;

namespace {

constexpr char kUnrecognised[] = " 接口参数变动，无法识别！";

ScriptedReply replyWith(const char* result)
{
    return result ? ScriptedReply::success(parse(result)) : ScriptedReply::success();
}

class LoginReplyTest : public RequestFixture {
protected:
    std::optional<std::string> text(const char* key) const
    {
        const auto found = data.find(key);
        if (found == data.end())
            return std::nullopt;
        EXPECT_EQ(found->second.type(), bg::Value::VT_STRING) << key;
        return found->second.toStdString();
    }
    std::optional<long long> integer(const char* key) const
    {
        const auto found = data.find(key);
        if (found == data.end())
            return std::nullopt;
        EXPECT_EQ(found->second.type(), bg::Value::VT_INT64) << key;
        return found->second.toInt64();
    }
};

} // namespace

TEST_F(LoginReplyTest, MeetingLoginStoresAStringTokenOnly)
{
    signIn();
    data.erase(netkeys::kMeetingToken);
    const struct {
        const char* result; // null: the reply has no data
        bool ok;
        std::optional<std::string> stored;
        std::string message;
    } cases[] = {
        { R"({"token": "abc"})", true, "abc", "" },
        { R"({"token": 123})", false, std::nullopt, kUnrecognised },
        { R"({"other": "abc"})", false, std::nullopt, kUnrecognised },
        { R"("abc")", false, std::nullopt, kUnrecognised },
        { nullptr, false, std::nullopt, "" }, // no data text to parse: fails without a message of its own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result ? c.result : "no data");
        data.erase(netkeys::kMeetingToken);
        service->script("/meetingapi//account/checkLogin", replyWith(c.result));
        MeetingLogin request;
        std::string reply;
        EXPECT_EQ(request.exec(reply), c.ok);
        EXPECT_EQ(request.message, c.message);
        EXPECT_EQ(text(netkeys::kMeetingToken), c.stored);
        if (!c.message.empty()) {
            EXPECT_EQ(reply, c.message);
        }
    }
}

TEST_F(LoginReplyTest, CheckLoginV2StoresTokenAndFlowCounts)
{
    const struct {
        const char* name;
        const char* result;
        bool ok;
        std::optional<std::string> token;
        std::optional<long long> total;
        std::optional<long long> used;
    } cases[] = {
        { "flow product among others",
            R"({"meeting_token": "m", "products": [{"product_type": 9000, "total_count": 100, "used_count": -5},
                {"product_type": 8000, "total_count": 7, "used_count": 7}]})",
            true, "m", 100, 5 },
        { "negative total kept, positive used kept",
            R"({"meeting_token": "m", "products": [{"product_type": 9000, "total_count": -5, "used_count": 5}]})",
            true, "m", -5, 5 },
        { "last flow product wins",
            R"({"meeting_token": "m", "products": [{"product_type": 9000, "total_count": 1, "used_count": 1},
                {"product_type": 9000, "total_count": 6000000000, "used_count": -6000000001}]})",
            true, "m", 6000000000LL, 6000000001LL },
        { "type as text is another product",
            R"({"meeting_token": "m", "products": [{"product_type": "9000", "total_count": 1, "used_count": 1}]})",
            true, "m", std::nullopt, std::nullopt },
        { "products not a list", R"({"meeting_token": "m", "products": "none"})", true, "m", std::nullopt,
            std::nullopt },
        { "no meeting token",
            R"({"products": [{"product_type": 9000, "total_count": 100, "used_count": 5}]})", false,
            std::nullopt, std::nullopt, std::nullopt },
        { "numeric meeting token", R"({"meeting_token": 42})", false, std::nullopt, std::nullopt,
            std::nullopt },
        { "count as text: token stays stored",
            R"({"meeting_token": "m", "products": [{"product_type": 9000, "total_count": "100", "used_count": 1}]})",
            false, "m", std::nullopt, std::nullopt },
        { "product not an object: token stays stored", R"({"meeting_token": "m", "products": [3]})", false,
            "m", std::nullopt, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        data.clear();
        service->script("/meetingapi//account/checkLoginV2", replyWith(c.result));
        CheckLoginV2 request;
        std::string reply;
        EXPECT_EQ(request.exec(reply, "u", "pw"), c.ok);
        EXPECT_EQ(text(netkeys::kMeetingToken), c.token);
        EXPECT_EQ(integer(netkeys::kMeetingFlowTotal), c.total);
        EXPECT_EQ(integer(netkeys::kMeetingFlowUsed), c.used);
        if (!c.ok) {
            EXPECT_EQ(request.message, kUnrecognised);
            EXPECT_EQ(reply, kUnrecognised);
        }
    }
}

// A reply nested deeper than the JSON reader goes, as the deciphered data or as the whole reply, is an
// unrecognised reply: the reader's exception never leaves the request (it would end the program).
TEST_F(LoginReplyTest, RepliesNestedTooDeepAreRefused)
{
    signIn();
    Json::Value deep = "x";
    for (int level = 0; level < 5000; ++level) {
        Json::Value outer(Json::arrayValue);
        outer.append(std::move(deep));
        deep = std::move(outer);
    }
    // Enciphered, the data passes the reply reader whole and reaches the request's own reading.
    ScriptedReply enciphered = ScriptedReply::success(deep);
    enciphered.encrypt = true;
    std::string reply;
    service->script("/meetingapi//account/checkLogin", enciphered);
    MeetingLogin login;
    EXPECT_FALSE(login.exec(reply));
    EXPECT_EQ(login.message, kUnrecognised);

    service->script("/meetingapi//account/checkLoginV2", enciphered);
    CheckLoginV2 check;
    EXPECT_FALSE(check.exec(reply, "u", "pw"));
    EXPECT_EQ(check.message, kUnrecognised);

    service->script("/vip//product/checkAppVersion", enciphered);
    VersionCheck version;
    EXPECT_FALSE(version.exec());

    ScriptedReply whole;
    whole.rawBody = std::string(5000, '[') + std::string(5000, ']');
    service->script("/meetingapi//account/checkLogin", whole);
    MeetingLogin raw;
    EXPECT_FALSE(raw.exec(reply));
    EXPECT_NE(raw.code, 0);
}

// Any integral code but 0 is a failure, whatever its size.
TEST_F(LoginReplyTest, ReplyCodesBeyond32BitsAreFailures)
{
    signIn();
    for (const char* code : { "3000000000", "-3000000000", "18446744073709551615", "4294967296" }) {
        SCOPED_TRACE(code);
        ScriptedReply reply;
        reply.rawBody = std::string(R"({"errcode": )") + code + R"(, "errmsg": "refused", "encrypt": 0, "result": {"token": "t"}})";
        service->script("/meetingapi//account/checkLogin", reply);
        MeetingLogin login;
        std::string data;
        EXPECT_FALSE(login.exec(data));
        EXPECT_NE(login.code, 0);
        EXPECT_EQ(login.message, "refused");
    }
}

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.push_back(text.toStdString());
}

} // namespace

// Tokens and keys never reach the log, while the labelled lines still do.
TEST_F(LoginReplyTest, LogLinesCarryNoSecrets)
{
    signIn();
    service->script(
        "/meetingapi//account/checkLoginV2", replyWith(R"({"meeting_token": "secret-meeting-token"})"));
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    std::string reply;
    EXPECT_TRUE(CheckLoginV2().exec(reply, "u", "pw"));
    // The forwarder answers real offers only: the answer is scripted.
    service->script("/zovpion/getRtcSdp", replyWith(R"({"sdp": "c2Rw", "id": 9})"));
    EXPECT_TRUE(V3GetRtcSdp().exec(reply, base, 9, "c2Rw", "secret-sig-token"));
    qInstallMessageHandler(previous);

    std::lock_guard<std::mutex> lock(logMutex);
    std::string all;
    for (const std::string& line : logLines)
        all += line + "\n";
    EXPECT_NE(all.find("[checkLoginV2]metting_token: "), std::string::npos) << all;
    EXPECT_NE(all.find("token:"), std::string::npos) << all;
    EXPECT_NE(all.find("[]param:"), std::string::npos) << all;
    for (const char* secret : { "secret-meeting-token", "secret-sig-token", servicepaths::kCommonKey })
        EXPECT_EQ(all.find(secret), std::string::npos) << secret << " in\n" << all;
}

// Unscripted, the local service answers with what the forms read from these replies.
TEST_F(LoginReplyTest, DefaultRepliesCarryWhatCallersRead)
{
    signIn();
    std::string reply;

    ASSERT_TRUE(SRVCreateMeeting().exec(reply, "t", "0042", ""));
    Json::Value created = parse(reply)["meetting"];
    EXPECT_EQ(created["meetting_key"], "0042");
    for (const char* member : { "chat_host", "chat_wss" })
        EXPECT_TRUE(created[member].isString() && !created[member].asString().empty()) << member;
    for (const char* member : { "duration", "viewer", "pusher" })
        EXPECT_GT(created[member].asInt64(), 0) << member;

    // Viewers join once the host has registered its main stream.
    ASSERT_TRUE(SRVAddMeettingStreamer().exec(reply, "0042", "t", "room", "room-password", 1000, true));
    ASSERT_TRUE(SRVJoinMeeting().exec(reply, "0042", "v"));
    const Json::Value joined = parse(reply);
    for (const char* member : { "meetting_key", "chat_host", "chat_wss", "room_id", "room_pwd", "title" })
        EXPECT_TRUE(joined["meetting"][member].isString()) << member;
    // Only streams the forwarder still holds are listed: nothing was published here.
    EXPECT_TRUE(joined["meetting"]["streamers"].isArray());

    // The forwarder answers real offers only (its own suites cover them): these answers are scripted.
    for (const char* path : { "/test/getRtcSdp", "/cmdApi/test/getRtcSdp", "/zovpion/getRtcSdp" })
        service->script(path, replyWith(R"({"sdp": "b2ZmZXI=", "id": 1001})"));
    ASSERT_TRUE(SRVGetRtcSdp().exec(reply, "0042", 1000, 1, "b2ZmZXI="));
    EXPECT_EQ(parse(reply)["sdp"], "b2ZmZXI=");
    EXPECT_TRUE(parse(reply)["id"].isIntegral());
    ASSERT_TRUE(V3GetRtcSdp().exec(reply, base, 1000, "b2ZmZXI=", ""));
    EXPECT_EQ(parse(reply)["sdp"], "b2ZmZXI=");

    ASSERT_TRUE(SRVGetAppConfig().exec(reply));
    const Json::Value configs = parse(reply)["configs"];
    EXPECT_TRUE(configs["play_host"].isString());
    EXPECT_TRUE(configs["vip_rights"]["brief"].isString());
    ASSERT_TRUE(configs["vip_rights"]["rights"].isArray());
    ASSERT_FALSE(configs["vip_rights"]["rights"].empty());
    for (const Json::Value& right : configs["vip_rights"]["rights"])
        EXPECT_TRUE(right["Key"].isString() && right["Val"].isString());

    data.clear();
    signIn();
    data.erase(netkeys::kMeetingToken);
    ASSERT_TRUE(MeetingLogin().exec(reply));
    EXPECT_TRUE(text(netkeys::kMeetingToken).has_value());
    data.clear();
    ASSERT_TRUE(CheckLoginV2().exec(reply, "u", "pw"));
    EXPECT_TRUE(text(netkeys::kMeetingToken).has_value());
    EXPECT_TRUE(integer(netkeys::kMeetingFlowTotal).has_value());

    VersionCheck::clearChecked();
    EXPECT_TRUE(VersionCheck().exec());
    VersionCheck::clearChecked();
}
