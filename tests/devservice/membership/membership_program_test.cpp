#include <devservice/membershiproutes.h>
#include <devservice/requestverifier.h>

#include <korvex/zovnet.h>

#include <QProcess>
#include <QThread>

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

namespace {

// The base URL the program printed, once it has printed it.
std::string startedBase(QProcess& program)
{
    QByteArray output;
    while (!output.contains("membership account: member ") && program.waitForReadyRead(30000))
        output += program.readAllStandardOutput();
    const QByteArray prefix = "base URL: ";
    const int start = output.indexOf(prefix) + prefix.size();
    return output.mid(start, output.indexOf('\n', start) - start).toStdString();
}

Json::Value call(Zov_Client::ZovNet& client, const std::string& path, const Json::Value& members)
{
    const Zov_Client::ZovResponse response = client.post("/goapi" + path, membershipEnvelope(members));
    Json::Value reply;
    Json::Reader().parse(response.body, reply);
    EXPECT_EQ(reply["errcode"].asInt(), 0) << path << ": " << response.body;
    const std::optional<std::string> text = devservice::aesDecrypt(reply["result"].asString(), "norvo.zq_&^%*_84");
    Json::Value result;
    if (text)
        Json::Reader().parse(*text, result);
    return result;
}

} // namespace

// --auto-pay: an order pays itself that long after its creation, as if its code had been paid.
TEST(DevServiceMembership, OrdersPayThemselvesWithAutoPay)
{
    QProcess refused;
    refused.start(DEVSERVICE_PROGRAM, { "--http", "--auto-pay", "soon" });
    ASSERT_TRUE(refused.waitForFinished(30000));
    EXPECT_EQ(refused.exitCode(), 2);

    QProcess program;
    program.start(DEVSERVICE_PROGRAM, { "--http", "--auto-pay", "1" });
    ASSERT_TRUE(program.waitForStarted(30000));
    const std::string base = startedBase(program);
    ASSERT_FALSE(base.empty());

    Zov_Client::ZovNet anonymous(base);
    Json::Value login(Json::objectValue);
    login["product_type"] = 23000;
    login["account"] = "demo";
    login["password"] = "demo1234";
    login["mac_addr"] = "AA:BB:CC:DD:EE:FF";
    login["device_name"] = "host";
    login["machine_code"] = std::string(32, 'a');
    const std::string token = call(anonymous, "/user/checkLoginByAccount", login)["token"].asString();
    ASSERT_FALSE(token.empty());

    Zov_Client::ZovNet client(base);
    client.appendHeader("Authorization", "Bearer " + token);
    Json::Value create(Json::objectValue);
    create["product_id"] = 1;
    create["pay_way"] = "c";
    create["describle"] = "月度会员";
    const int orderId = call(client, "/user/createPcOrder", create)["order_id"].asInt();
    Json::Value check(Json::objectValue);
    check["order_id"] = orderId;
    EXPECT_EQ(call(client, "/user/checkOrder", check)["pay_status"].asInt(), 0) << "not yet";

    Json::Value state;
    for (int i = 0; i < 60 && state["pay_status"].asInt() != 1; ++i) {
        QThread::msleep(100);
        state = call(client, "/user/checkOrder", check);
    }
    EXPECT_EQ(state["pay_status"].asInt(), 1);
    EXPECT_EQ(state["deal_status"].asInt(), 1);
    Json::Value product(Json::objectValue);
    product["product_type"] = 23000;
    EXPECT_EQ(call(client, "/user/getProductState", product)[0]["product_level"].asInt(), 2);

    // The membership website's pages of the purchase.
    for (const char* page : { "/forgetName", "/membership_service_greemen", "/vip_rights", "/contact_service" }) {
        SCOPED_TRACE(page);
        const Zov_Client::ZovResponse response = anonymous.get(page);
        EXPECT_EQ(response.status, 200);
        EXPECT_NE(response.body.find("<html>"), std::string::npos);
    }

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
}
