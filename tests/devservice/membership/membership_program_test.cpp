#include <devservice/membershiproutes.h>
#include <devservice/requestverifier.h>

#include <korvex/zovnet.h>

#include <QProcess>

#include <json/reader.h>
#include <json/writer.h>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>

namespace {

// A body signed as the plug-in signs it, written with the service's own helpers.
std::string membershipEnvelope(Json::Value members)
{
    members["req_time"] = Json::Int64(std::time(nullptr));
    members["platform"] = 1;
    members["platform_type"] = 1;
    members["app_version"] = "1.0.0";
    members["channel_id"] = 0;
    members["app_name"] = "Tavimeet";
    members["sign"] = devservice::md5Hex(devservice::membershipSignatureText(members));
    Json::Value envelope(Json::objectValue);
    envelope["params"] = devservice::aesEncrypt(Json::FastWriter().write(members), "norvo.zq_&^%*_84");
    envelope["version"] = 100;
    return Json::FastWriter().write(envelope);
}

} // namespace

// The program prints its demo accounts and answers the membership paths under the API base.
TEST(DevServiceMembership, ProgramPrintsDemoAccountsAndAnswersLogins)
{
    QProcess program;
    program.start(DEVSERVICE_PROGRAM, { "--http" });
    ASSERT_TRUE(program.waitForStarted(30000));
    QByteArray output;
    while (!output.contains("membership account: member ") && program.waitForReadyRead(30000))
        output += program.readAllStandardOutput();
    for (const char* line : { "membership account: demo / demo1234 (level 1)",
             "membership account: lifetime / lifetime1234 (level 3, ends 2199-12-31 23:59:59)",
             "membership account: bound / bound1234",
             "membership account: member / member1234 (level 2, ends " }) {
        SCOPED_TRACE(line);
        EXPECT_TRUE(output.contains(line)) << output.toStdString();
    }
    const QByteArray prefix = "base URL: ";
    const int start = output.indexOf(prefix) + prefix.size();
    const std::string base = output.mid(start, output.indexOf('\n', start) - start).toStdString();

    Zov_Client::ZovNet client(base);
    Json::Value login(Json::objectValue);
    login["product_type"] = 23000;
    login["account"] = "lifetime";
    login["password"] = devservice::md5Hex("lifetime1234");
    login["mac_addr"] = "AA:BB:CC:DD:EE:FF";
    login["device_name"] = "host";
    login["machine_code"] = std::string(32, 'a');
    const Zov_Client::ZovResponse response
        = client.post("/goapi/user/checkLoginByAccount", membershipEnvelope(login));
    ASSERT_EQ(response.status, 200);
    Json::Value reply;
    ASSERT_TRUE(Json::Reader().parse(response.body, reply));
    EXPECT_EQ(reply["errcode"].asInt(), 0) << response.body;
    EXPECT_EQ(reply["encrypt"].asInt(), 1);
    EXPECT_EQ(reply["version"].asInt(), 100);
    const std::optional<std::string> result
        = devservice::aesDecrypt(reply["result"].asString(), "norvo.zq_&^%*_84");
    ASSERT_TRUE(result);
    Json::Value account;
    ASSERT_TRUE(Json::Reader().parse(*result, account));
    EXPECT_EQ(account["product_state"][0]["end_time"].asString(), "2199-12-31 23:59:59");

    // A body signed with the program's "client" member, or missing a member of its path, is refused.
    Json::Value withClient = login;
    withClient["client"] = "desktop";
    Json::Value missing = login;
    missing.removeMember("machine_code");
    for (const Json::Value& bad : { withClient, missing }) {
        const Zov_Client::ZovResponse refused
            = client.post("/goapi/user/checkLoginByAccount", membershipEnvelope(bad));
        Json::Value answer;
        ASSERT_TRUE(Json::Reader().parse(refused.body, answer));
        EXPECT_EQ(answer["errcode"].asInt(), 400) << refused.body;
    }

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
}

// With the knob off, results travel as plain JSON texts.
TEST(DevServiceMembership, PlainResultsWhenAsked)
{
    devservice::RouteTable routes;
    devservice::MembershipOptions options;
    options.encrypt = false;
    devservice::addMembershipRoutes(routes, options);
    ASSERT_TRUE(routes.count("/goapi/versionCheck"));
    devservice::RecordedRequest request;
    request.envelopeVersion = 100;
    Json::Reader().parse(
        R"({"app_name": "Tavimeet", "mac_addr": "m", "device_name": "d", "machine_code": "c"})",
        request.members);
    request.members["req_time"] = 1;
    request.members["platform"] = 1;
    request.members["platform_type"] = 1;
    request.members["app_version"] = "1.0.0";
    request.members["channel_id"] = 0;
    request.members["app_name"] = "Tavimeet";
    request.members["sign"] = devservice::md5Hex(devservice::membershipSignatureText(request.members));
    const devservice::ScriptedReply reply = routes["/goapi/versionCheck"].handler(request);
    ASSERT_TRUE(reply.rawBody);
    Json::Value body;
    ASSERT_TRUE(Json::Reader().parse(*reply.rawBody, body));
    EXPECT_EQ(body["errcode"].asInt(), 0) << *reply.rawBody;
    EXPECT_EQ(body["encrypt"].asInt(), 0);
    Json::Value result;
    EXPECT_TRUE(Json::Reader().parse(body["result"].asString(), result));
}
