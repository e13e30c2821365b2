#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"

#include "memvia/memvia_fixture.h"

#include <korvex/zovnet.h>

#include <QByteArray>

#include <functional>
#include <set>

namespace {

// The members every request carries besides its own.
const std::set<std::string> kCommon
    = { "net_url", "req_time", "platform", "platform_type", "app_version", "channel_id", "app_name", "sign" };
const std::set<std::string> kDevice = { "mac_addr", "device_name", "machine_code" };

std::set<std::string> ownMembers(const Json::Value& members)
{
    std::set<std::string> names;
    for (const std::string& name : members.getMemberNames()) {
        if (!kCommon.count(name))
            names.insert(name);
    }
    return names;
}

std::set<std::string> with(std::set<std::string> names, const std::set<std::string>& more)
{
    names.insert(more.begin(), more.end());
    return names;
}

struct OperationCase {
    const char* name;
    const char* path;
    std::function<void(RequestCallback)> call;
    std::set<std::string> members; // the request's own members
    std::function<void(const Json::Value&)> check;
};

class MembershipRequests : public MembershipFixture {
protected:
    void SetUp() override
    {
        MembershipFixture::SetUp();
        VipData::instance()->clear();
    }
    void TearDown() override { VipData::instance()->clear(); }

    Completion run(const std::function<void(RequestCallback)>& call)
    {
        Completion completion;
        call(completion.callback());
        EXPECT_TRUE(completion.wait());
        return completion;
    }

    // Signs in through the service and keeps the account, as the login command does.
    Json::Value signIn(const std::string& account, const std::string& password)
    {
        const Completion login = run([&](RequestCallback callback) {
            VipNet::instance()->checkLoginByAccount(account, password, callback);
        });
        EXPECT_EQ(login.errcode, 0) << login.errmsg;
        const Json::Value result = parseJsonText(login.result);
        VipData::instance()->parseLoginInfo(result);
        return result;
    }

    static std::string get(const std::string& url) { return Zov_Client::ZovNet(std::string()).get(url).body; }
};

} // namespace

TEST_F(MembershipRequests, EachOperationSendsItsMembersToItsPath)
{
    VipNet* net = VipNet::instance();
    const OperationCase cases[] = {
        { "account login", "/goapi/user/checkLoginByAccount",
            [&](RequestCallback cb) { net->checkLoginByAccount("demo", "digest", cb); },
            with({ "product_type", "account", "password" }, kDevice),
            [](const Json::Value& m) {
                EXPECT_EQ(m["product_type"].asInt(), 23000);
                EXPECT_EQ(m["account"].asString(), "demo");
                EXPECT_EQ(m["password"].asString(), "digest");
            } },
        { "WeChat code login", "/goapi/user/checkLoginByWechatCode",
            [&](RequestCallback cb) { net->checkLoginByWechatCode("wx", cb); },
            with({ "product_type", "code" }, kDevice),
            [](const Json::Value& m) { EXPECT_EQ(m["code"].asString(), "wx"); } },
        { "auto-token login", "/goapi/user/checkByAutoLoginToken",
            [&](RequestCallback cb) { net->checkByAutoLoginToken("auto", cb); },
            with({ "product_type", "auto_login_token" }, kDevice),
            [](const Json::Value& m) { EXPECT_EQ(m["auto_login_token"].asString(), "auto"); } },
        { "version check", "/goapi/versionCheck", [&](RequestCallback cb) { net->versionCheck(cb); }, kDevice,
            [](const Json::Value& m) {
                // "app_name" is also one of the common members; the check has no product type.
                EXPECT_EQ(m["app_name"].asString(), "Tavimeet");
                EXPECT_FALSE(m.isMember("product_type"));
            } },
        { "product state", "/goapi/user/getProductState",
            [&](RequestCallback cb) { net->getProductState(cb); }, { "product_type" },
            [](const Json::Value& m) { EXPECT_EQ(m["product_type"].asInt(), 23000); } },
        { "personal products", "/goapi/user/getProductList",
            [&](RequestCallback cb) { net->getProductList(0, cb); }, { "product_type", "type" },
            [](const Json::Value& m) {
                EXPECT_EQ(m["product_type"].asInt(), 23000);
                EXPECT_EQ(m["type"].asInt(), 1);
            } },
        { "business products", "/goapi/user/getProductList",
            [&](RequestCallback cb) { net->getProductList(1, cb); }, { "product_type", "type" },
            [](const Json::Value& m) {
                EXPECT_EQ(m["product_type"].asInt(), 23100);
                EXPECT_EQ(m["type"].asInt(), 2);
            } },
        { "WeChat order", "/goapi/user/createPcOrder",
            [&](RequestCallback cb) { net->createPcOrder(3, 1, "年度", cb); },
            { "product_id", "pay_way", "wechat_type", "describle" },
            [](const Json::Value& m) {
                EXPECT_EQ(m["product_id"].asInt(), 3);
                EXPECT_EQ(m["pay_way"].asString(), "c");
                EXPECT_EQ(m["wechat_type"].asString(), "NATIVE");
                EXPECT_EQ(m["describle"].asString(), "年度");
            } },
        { "Alipay order", "/goapi/user/createPcOrder",
            [&](RequestCallback cb) { net->createPcOrder(3, 2, "", cb); },
            { "product_id", "pay_way", "describle" },
            [](const Json::Value& m) { EXPECT_EQ(m["pay_way"].asString(), "f"); } },
        { "order of another pay kind", "/goapi/user/createPcOrder",
            [&](RequestCallback cb) { net->createPcOrder(3, 3, "", cb); }, { "product_id", "describle" },
            [](const Json::Value&) {} },
        { "order check", "/goapi/user/checkOrder", [&](RequestCallback cb) { net->checkOrder(77, cb); },
            { "order_id" }, [](const Json::Value& m) { EXPECT_EQ(m["order_id"].asInt(), 77); } },
        { "jump page signed out", "/goapi/user/getJumpJsWebUrl",
            [&](RequestCallback cb) { net->getJumpJsWebUrl("user-center", cb); },
            { "jump_target", "product_type", "token" },
            [](const Json::Value& m) {
                EXPECT_EQ(m["jump_target"].asString(), "user-center");
                EXPECT_EQ(m["token"].asString(), "");
            } },
        { "web QR", "/goapi/wechat/getWechatWebQRCode",
            [&](RequestCallback cb) { net->getWechatWebQRCode(cb); }, {}, [](const Json::Value&) {} },
        { "scan body", "/goapi/user/checkWechatScanBody",
            [&](RequestCallback cb) {
                std::string errmsg;
                std::string result;
                const int errcode = net->checkWechatScanBody("Ym9keQ==", errmsg, result);
                cb(errcode, errmsg, result);
            },
            { "body_text" }, [](const Json::Value& m) { EXPECT_EQ(m["body_text"].asString(), "Ym9keQ=="); } },
    };
    for (const OperationCase& row : cases) {
        SCOPED_TRACE(row.name);
        const Completion completion = run(row.call);
        EXPECT_NE(completion.errcode, 400) << completion.errmsg;
        const devservice::RecordedRequest request = lastRequest(row.path);
        ASSERT_EQ(request.path, row.path);
        EXPECT_TRUE(request.problem.empty()) << request.problem;
        EXPECT_EQ(request.header("authorization"), "") << "signed out: no bearer header";
        EXPECT_EQ(ownMembers(request.members), row.members);
        EXPECT_EQ(request.members["net_url"].asString(), service->baseUrl() + row.path);
        for (const std::string& name : kDevice) {
            if (row.members.count(name)) {
                EXPECT_FALSE(request.members[name].asString().empty()) << name;
            }
        }
        row.check(request.members);
    }
}

TEST_F(MembershipRequests, BadRequestTextsFailAtOnce)
{
    const std::pair<const char*, const char*> cases[] = {
        { "not json", "invalid net params" },
        { "null", "invalid net params" },
        { "{}", "net_url field is empty!" },
        { R"({"net_url": ""})", "net_url field is empty!" },
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        Completion completion;
        VipNet::instance()->post(text, completion.callback());
        EXPECT_EQ(completion.calls, 1) << "answered inside the call";
        EXPECT_EQ(completion.errcode, -1);
        EXPECT_EQ(completion.errmsg, message);
    }
    EXPECT_TRUE(service->requests().empty());
}

TEST_F(MembershipRequests, TokenTiesLaterRequestsToTheAccount)
{
    const Json::Value login = signIn("member", devservice::md5Hex("member1234"));
    const std::string token = login["token"].asString();
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(VipData::instance()->token(), token);
    EXPECT_EQ(VipData::instance()->productLevel(), 2);

    const Completion state = run([](RequestCallback cb) { VipNet::instance()->getProductState(cb); });
    ASSERT_EQ(state.errcode, 0) << state.errmsg;
    EXPECT_EQ(lastRequest("/goapi/user/getProductState").header("authorization"), "Bearer " + token);
    EXPECT_EQ(parseJsonText(state.result)[0]["product_level"].asInt(), 2);

    run([](RequestCallback cb) { VipNet::instance()->getJumpJsWebUrl("user-buy", cb); });
    EXPECT_EQ(lastRequest("/goapi/user/getJumpJsWebUrl").members["token"].asString(), token);

    VipData::instance()->clear();
    const Completion signedOut = run([](RequestCallback cb) { VipNet::instance()->getProductState(cb); });
    EXPECT_NE(signedOut.errcode, 0);
    EXPECT_EQ(lastRequest("/goapi/user/getProductState").header("authorization"), "");
}

TEST_F(MembershipRequests, DemoAccounts)
{
    struct Login {
        const char* account;
        std::string password;
        int errcode;
        int level;
        const char* endPrefix;
    };
    const Login cases[] = {
        { "demo", devservice::md5Hex("demo1234"), 0, 1, "" },
        { "demo", "demo1234", 0, 1, "" },
        { "member", devservice::md5Hex("member1234"), 0, 2, "20" },
        { "lifetime", devservice::md5Hex("lifetime1234"), 0, 3, "2199-12-31 23:59:59" },
        { "bound", devservice::md5Hex("bound1234"), -10, 0, "" },
        { "demo", devservice::md5Hex("wrong"), 1001, 0, "" },
        { "nobody", devservice::md5Hex("demo1234"), 1001, 0, "" },
    };
    for (const Login& row : cases) {
        SCOPED_TRACE(std::string(row.account) + " " + row.password);
        const Completion login = run([&](RequestCallback cb) {
            VipNet::instance()->checkLoginByAccount(row.account, row.password, cb);
        });
        EXPECT_EQ(login.errcode, row.errcode) << login.errmsg;
        if (row.errcode != 0)
            continue;
        const Json::Value result = parseJsonText(login.result);
        const Json::Value& state = result["product_state"][0];
        EXPECT_EQ(state["product_type"].asInt(), 23000);
        EXPECT_EQ(state["product_level"].asInt(), row.level);
        EXPECT_EQ(state["end_time"].asString().rfind(row.endPrefix, 0), 0u);
        EXPECT_FALSE(result["auto_login_token"].asString().empty());

        const std::string autoToken = result["auto_login_token"].asString();
        const Completion again
            = run([&](RequestCallback cb) { VipNet::instance()->checkByAutoLoginToken(autoToken, cb); });
        EXPECT_EQ(again.errcode, 0) << again.errmsg;
        EXPECT_EQ(parseJsonText(again.result)["user_name"].asString(), row.account);
    }
}

TEST_F(MembershipRequests, OrderIsPaidWhenItsPayPageIsOpened)
{
    signIn("demo", devservice::md5Hex("demo1234"));
    const auto order = [&](int product) {
        const Completion created
            = run([&](RequestCallback cb) { VipNet::instance()->createPcOrder(product, 1, "", cb); });
        EXPECT_EQ(created.errcode, 0) << created.errmsg;
        return parseJsonText(created.result);
    };
    const auto check = [&](int id) {
        const Completion checked = run([&](RequestCallback cb) { VipNet::instance()->checkOrder(id, cb); });
        EXPECT_EQ(checked.errcode, 0) << checked.errmsg;
        const Json::Value result = parseJsonText(checked.result);
        return std::make_pair(result["pay_status"].asInt(), result["deal_status"].asInt());
    };

    const Json::Value monthly = order(1);
    const std::string payUrl = monthly["qr_code"].asString();
    EXPECT_EQ(payUrl.rfind(service->baseUrl(), 0), 0u) << payUrl;
    EXPECT_EQ(check(monthly["order_id"].asInt()), std::make_pair(0, 0));
    get(payUrl);
    EXPECT_EQ(check(monthly["order_id"].asInt()), std::make_pair(1, 1));

    const Completion state = run([](RequestCallback cb) { VipNet::instance()->getProductState(cb); });
    VipData::instance()->parseProductState(parseJsonText(state.result));
    EXPECT_EQ(VipData::instance()->productLevel(), 2);
    const QDate end
        = QDate::fromString(QString::fromStdString(VipData::instance()->endTimeText()), "yyyy-MM-dd");
    EXPECT_EQ(QDate::currentDate().daysTo(end), 30);

    const Json::Value undealt = order(2);
    get(undealt["qr_code"].asString() + "&deal=0");
    EXPECT_EQ(check(undealt["order_id"].asInt()), std::make_pair(1, 0));

    const Completion unknown
        = run([](RequestCallback cb) { VipNet::instance()->createPcOrder(99, 1, "", cb); });
    EXPECT_NE(unknown.errcode, 0);
}

TEST_F(MembershipRequests, ProductsAndPages)
{
    for (int kind : { 0, 1 }) {
        SCOPED_TRACE(kind);
        const Completion list
            = run([&](RequestCallback cb) { VipNet::instance()->getProductList(kind, cb); });
        ASSERT_EQ(list.errcode, 0) << list.errmsg;
        const Json::Value products = parseJsonText(list.result)["productList"];
        ASSERT_TRUE(products.isArray());
        ASSERT_FALSE(products.empty());
        for (const Json::Value& product : products) {
            EXPECT_EQ(product["product_type"].asInt(), kind == 1 ? 23100 : 23000);
            EXPECT_GT(product["valid_day"].asInt(), 0);
            EXPECT_GT(product["real_price"].asDouble(), 0);
        }
    }
    const Completion jump
        = run([](RequestCallback cb) { VipNet::instance()->getJumpJsWebUrl("user-center", cb); });
    const std::string page = parseJsonText(jump.result)["jump_url"].asString();
    EXPECT_EQ(page.rfind(service->baseUrl() + "/goapi/", 0), 0u) << page;
    EXPECT_NE(get(page).find("user-center"), std::string::npos);

    const Completion version = run([](RequestCallback cb) { VipNet::instance()->versionCheck(cb); });
    EXPECT_EQ(version.errcode, 0) << version.errmsg;
}

TEST_F(MembershipRequests, WebQrLoginThroughTheScanPage)
{
    const Completion qr = run([](RequestCallback cb) { VipNet::instance()->getWechatWebQRCode(cb); });
    ASSERT_EQ(qr.errcode, 0) << qr.errmsg;
    const Json::Value result = parseJsonText(qr.result);
    EXPECT_EQ(result["local"].asInt(), 1);
    QString poll = QString::fromStdString(result["wechat_net"].asString());
    ASSERT_TRUE(poll.contains("$1") && poll.contains("$2")) << poll.toStdString();
    poll.replace("$1", "0").replace("$2", "123");

    EXPECT_NE(get(poll.toStdString()).find("window.wx_errcode=408"), std::string::npos);
    // The picture's address names the confirm page a phone opens after the scan.
    QString confirmPage = QString::fromStdString(result["wechat_qrcode"].asString());
    confirmPage.replace("/wechat/qrcode.png?", "/wechat/scan?");
    get(confirmPage.toStdString());
    EXPECT_NE(get(poll.toStdString()).find("window.wx_errcode=404"), std::string::npos) << "scanned, once";
    const std::string confirmed = get(poll.toStdString());
    EXPECT_NE(confirmed.find("window.wx_errcode=405"), std::string::npos) << confirmed;

    // The service reads a page for the client.
    std::string errmsg;
    std::string scan;
    const std::string base64 = QByteArray::fromStdString(confirmed).toBase64().toStdString();
    ASSERT_EQ(VipNet::instance()->checkWechatScanBody(base64, errmsg, scan), 0) << errmsg;
    const Json::Value read = parseJsonText(scan);
    EXPECT_EQ(read["wx_errcode"].asInt(), 405);
    const std::string code = read["wx_code"].asString();
    ASSERT_FALSE(code.empty());

    const Completion login
        = run([&](RequestCallback cb) { VipNet::instance()->checkLoginByWechatCode(code, cb); });
    EXPECT_EQ(login.errcode, 0) << login.errmsg;
    const Completion reused
        = run([&](RequestCallback cb) { VipNet::instance()->checkLoginByWechatCode(code, cb); });
    EXPECT_NE(reused.errcode, 0) << "a WeChat code serves one login";
}
