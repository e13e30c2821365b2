#include <devservice/membershiproutes.h>
#include <devservice/requestverifier.h>

#include <korvex/zovnet.h>

#include <QDateTime>
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
             "membership account: member / member1234 (level 2, ends ",
             "membership account: hostcheck / hostcheck1234 (level 2, ends " }) {
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
    // Demo accounts carry no live-start address, so hosting needs no trip to the settings; one account keeps
    // the service's own base URL, for trying the address check by hand.
    ASSERT_TRUE(account["config"].isObject());
    EXPECT_EQ(account["config"]["meetting_host"], Json::Value(""));
    EXPECT_TRUE(output.contains("hostcheck1234 (level 2, ends ") && output.contains("live-start address"))
        << output.toStdString();
    {
        Json::Value hostCheck = login;
        hostCheck["account"] = "hostcheck";
        hostCheck["password"] = devservice::md5Hex("hostcheck1234");
        const Zov_Client::ZovResponse answered
            = client.post("/goapi/user/checkLoginByAccount", membershipEnvelope(hostCheck));
        Json::Value envelope, configured;
        ASSERT_TRUE(Json::Reader().parse(answered.body, envelope));
        ASSERT_TRUE(Json::Reader().parse(
            devservice::aesDecrypt(envelope["result"].asString(), "norvo.zq_&^%*_84").value_or(""), configured));
        EXPECT_EQ(configured["config"]["meetting_host"].asString(), base);
    }

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
    const std::optional<std::string> text
        = devservice::aesDecrypt(reply["result"].asString(), "norvo.zq_&^%*_84");
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
    for (const char* page :
        { "/forgetName", "/membership_service_greemen", "/vip_rights", "/contact_service" }) {
        SCOPED_TRACE(page);
        const Zov_Client::ZovResponse response = anonymous.get(page);
        EXPECT_EQ(response.status, 200);
        EXPECT_NE(response.body.find("<html>"), std::string::npos);
    }

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
}

namespace {

// A membership call straight to the routes' handler, signed as the plug-in signs it; the plain result.
Json::Value handle(devservice::RouteTable& routes, const std::string& path, Json::Value members,
    const std::string& token = std::string())
{
    devservice::RecordedRequest request;
    request.path = "/goapi" + path;
    request.envelopeVersion = 100;
    members["req_time"] = 1;
    members["platform"] = 1;
    members["platform_type"] = 1;
    members["app_version"] = "1.0.0";
    members["channel_id"] = 0;
    members["app_name"] = "Tavimeet";
    members["sign"] = devservice::md5Hex(devservice::membershipSignatureText(members));
    request.members = members;
    if (!token.empty())
        request.headers.emplace_back("authorization", "Bearer " + token);
    const devservice::ScriptedReply reply = routes.at(request.path).handler(request);
    Json::Value body, result;
    if (reply.rawBody && Json::Reader().parse(*reply.rawBody, body))
        Json::Reader().parse(body["result"].asString(), result);
    EXPECT_EQ(body["errcode"].asInt(), 0) << path << ": " << reply.rawBody.value_or("");
    return result;
}

std::string signIn(devservice::RouteTable& routes, const char* account, const char* password)
{
    Json::Value login(Json::objectValue);
    login["product_type"] = 23000;
    login["account"] = account;
    login["password"] = password;
    login["mac_addr"] = "AA:BB:CC:DD:EE:FF";
    login["device_name"] = "host";
    login["machine_code"] = std::string(32, 'a');
    return handle(routes, "/user/checkLoginByAccount", login)["token"].asString();
}

} // namespace

// --auto-pay pays each account's newest order only: a buyer who switched plans (a new order each time) pays
// once, gets one payment reported and the time of the plan paid for, once; another account's order pays too.
TEST(DevServiceMembership, AutoPayPaysOnlyEachAccountsNewestOrder)
{
    devservice::RouteTable routes;
    devservice::MembershipOptions options;
    options.encrypt = false;
    options.autoPayMs = 100;
    devservice::addMembershipRoutes(routes, options);
    const std::string demo = signIn(routes, "demo", "demo1234");
    const std::string member = signIn(routes, "member", "member1234");
    ASSERT_FALSE(demo.empty());
    ASSERT_FALSE(member.empty());

    auto order = [&](const std::string& token, int productId, const char* payWay) {
        Json::Value create(Json::objectValue);
        create["product_id"] = productId;
        create["pay_way"] = payWay;
        create["describle"] = "plan";
        return handle(routes, "/user/createPcOrder", create, token)["order_id"].asInt();
    };
    auto paid = [&](const std::string& token, int orderId) {
        Json::Value check(Json::objectValue);
        check["order_id"] = orderId;
        const Json::Value state = handle(routes, "/user/checkOrder", check, token);
        return state["pay_status"].asInt() == 1 && state["deal_status"].asInt() > 0;
    };
    auto daysLeft = [&](const std::string& token) {
        Json::Value product(Json::objectValue);
        product["product_type"] = 23000;
        const QDateTime end = QDateTime::fromString(
            QString::fromStdString(handle(routes, "/user/getProductState", product, token)[0]["end_time"].asString()),
            "yyyy-MM-dd HH:mm:ss");
        return end.isValid() ? QDateTime::currentDateTime().secsTo(end) / 86400.0 : -1.0;
    };

    const double memberDaysBefore = daysLeft(member);
    const int monthly = order(demo, 1, "c"); // switched past: quarterly, first by Alipay, then by WeChat
    const int quarterlyAlipay = order(demo, 2, "f");
    const int quarterly = order(demo, 2, "c");
    const int memberMonthly = order(member, 1, "c");
    QThread::msleep(250);

    EXPECT_TRUE(paid(demo, quarterly));
    for (int i = 0; i < 3; ++i) { // and stays so, however often the older ones are asked after
        EXPECT_FALSE(paid(demo, monthly));
        EXPECT_FALSE(paid(demo, quarterlyAlipay));
    }
    EXPECT_NEAR(daysLeft(demo), 90.0, 0.01) << "the quarter, once";
    EXPECT_TRUE(paid(member, memberMonthly));
    EXPECT_NEAR(daysLeft(member), memberDaysBefore + 30.0, 0.01);

    // A new order after the paid one is the newest again and pays itself in turn.
    const int renewal = order(demo, 1, "c");
    QThread::msleep(250);
    EXPECT_TRUE(paid(demo, renewal));
    EXPECT_FALSE(paid(demo, monthly));
    EXPECT_NEAR(daysLeft(demo), 120.0, 0.01);
}
