// Scan pages and the poll loop of the WeChat web-QR sign-in.
#include "wechat/webqrcodemgr.h"

#include "memvia/memvia_component.h"

#include <devservice/membershiproutes.h>
#include <devservice/service.h>

#include <bridge/valuemap.h>

#include <korvex/zovnet.h>

#include <QElapsedTimer>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char kPoll[] = "/goapi/wechat/poll";

devservice::ScriptedReply raw(int status, std::string body)
{
    devservice::ScriptedReply reply;
    reply.status = status;
    reply.rawBody = std::move(body);
    return reply;
}

TEST(ScanBody, LocalReadingOfThePage)
{
    const struct {
        const char* page;
        int code;
        const char* wxcode;
    } cases[] = {
        { "window.wx_errcode=408;window.wx_code='';", 408, "" },
        { "window.wx_errcode=405;window.wx_code='abc';", 405, "abc" },
        { " WINDOW.WX_ERRCODE = 405 ; Window.Wx_Code = \"x'y\" ;", 405, "xy" },
        { "window.wx_code='only';", -1, "only" },
        { "window.wx_errcode=40x;window.wx_code='late';", 0, "" },
        { "window.wx_errcode=403=1;window.wx_errcode=404;", 404, "" },
        { ";;window.wx_errcode=402;;", 402, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        std::string wxcode;
        EXPECT_EQ(WebQRCodeMgr::parseScanBody(true, c.page, wxcode), c.code);
        EXPECT_EQ(wxcode, c.wxcode);
    }
    const struct {
        int code;
        int state;
    } states[] = { { 404, 0 }, { 403, 1 }, { 405, 2 }, { 408, 3 }, { 402, 4 }, { 500, 4 }, { 10000, 5 },
        { -1, 5 }, { 0, 5 }, { 200, 5 } };
    for (const auto& s : states)
        EXPECT_EQ(WebQRCodeMgr::stateOfCode(s.code), s.state) << s.code;
}

// What one attempt's callback received.
struct Reports {
    std::vector<bg::ValueMap> maps;

    bg::MsgCallback callback()
    {
        return [this](const bg::Value& value) { maps.push_back(value.toMap()); };
    }
    std::vector<int> states() const
    {
        std::vector<int> found;
        for (const bg::ValueMap& map : maps) {
            if (map.get_data("type", bg::Value("")).toStdString() == "scan")
                found.push_back(map.get_data("state", bg::Value(-99999)).toInt());
        }
        return found;
    }
    bool sawState(int state) const
    {
        const auto all = states();
        return std::find(all.begin(), all.end(), state) != all.end();
    }
    bool waitForState(int state, int deadlineMs = 20000)
    {
        return QTest::qWaitFor([&] { return sawState(state); }, deadlineMs);
    }
    std::string lastCode() const
    {
        for (auto it = maps.rbegin(); it != maps.rend(); ++it) {
            if (it->get_data("type", bg::Value("")).toStdString() == "scan")
                return it->get_data("wxcode", bg::Value("")).toStdString();
        }
        return std::string();
    }
    std::string picture() const
    {
        return maps.empty() ? std::string()
                            : maps.front().get_data("wechat_qrcode", bg::Value("")).toStdString();
    }
};

class WebQrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WebQRCodeMgr::setPollIntervalMs(50);
        WebQRCodeMgr::setPageTimeoutMs(400);
        startService(devservice::MembershipOptions());
    }
    void TearDown() override
    {
        WebQRCodeMgr::instance()->stopAll();
        EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 0);
    }

    void startService(devservice::MembershipOptions membership)
    {
        devservice::Service::Options options;
        options.https = false;
        devservice::addMembershipRoutes(options.routes, membership);
        service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        component.app->set_property("host", bg::Value(service->baseUrl() + "/goapi"), false);
    }

    // Opens a page as a phone would.
    void open(const std::string& url)
    {
        Zov_Client::ZovNet client { std::string() };
        ASSERT_EQ(client.get(url).status, 200) << url;
    }
    // The confirm page of the attempt whose picture is at `picture`.
    static std::string confirmPage(const std::string& picture)
    {
        QString page = QString::fromStdString(picture);
        return page.replace("/wechat/qrcode.png?", "/wechat/scan?").toStdString();
    }

    std::vector<std::string> pollQueries() const
    {
        std::vector<std::string> queries;
        for (const auto& request : service->requests()) {
            if (request.path == kPoll)
                queries.push_back(request.query);
        }
        return queries;
    }

    MemviaComponent component;
    std::unique_ptr<devservice::Service> service;
};

TEST_F(WebQrTest, AConfirmedScanEndsWithTheCode)
{
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(reports.waitForState(3));
    const bg::ValueMap& net = reports.maps.front();
    EXPECT_EQ(net.get_data("type", bg::Value("")).toStdString(), "net");
    EXPECT_EQ(net.get_data("errcode", bg::Value(-99999)).toInt(), 0);
    ASSERT_FALSE(reports.picture().empty());

    open(confirmPage(reports.picture()));
    ASSERT_TRUE(reports.waitForState(2));
    const auto states = reports.states();
    // Not scanned (any number of times), scanned, then the code.
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states[states.size() - 2], 0);
    EXPECT_EQ(states.back(), 2);
    EXPECT_EQ(reports.lastCode().rfind("wx-", 0), 0u) << reports.lastCode();

    const auto queries = pollQueries();
    ASSERT_GE(queries.size(), 2u);
    EXPECT_NE(queries[0].find("last=0&"), std::string::npos) << queries[0];
    EXPECT_NE(queries[1].find("last=408&"), std::string::npos) << queries[1];
    EXPECT_NE(queries[1].find("123"), std::string::npos) << "the time stamp: seconds * 1000 + 123";
    // Polling ended with the code: no further page requests.
    const size_t polls = queries.size();
    QTest::qWait(300);
    EXPECT_EQ(pollQueries().size(), polls);
}

TEST_F(WebQrTest, EndingsOfAnAttempt)
{
    const struct {
        const char* what;
        bool cancel;
        std::optional<devservice::ScriptedReply> scripted;
        int state;
    } cases[] = {
        { "cancelled on the phone", true, std::nullopt, 1 },
        { "the page is missing", false, raw(404, "none"), 5 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reports reports;
        if (c.scripted)
            service->script(kPoll, *c.scripted);
        WebQRCodeMgr::instance()->start(reports.callback());
        if (c.cancel) {
            ASSERT_TRUE(reports.waitForState(3));
            open(confirmPage(reports.picture()) + "&cancel=1");
        }
        ASSERT_TRUE(reports.waitForState(c.state));
        EXPECT_EQ(reports.states().back(), c.state);
        const size_t polls = pollQueries().size();
        QTest::qWait(300);
        EXPECT_EQ(pollQueries().size(), polls) << "polling has ended";
    }
}

TEST_F(WebQrTest, AnAttemptExpires)
{
    devservice::MembershipOptions membership;
    membership.webQrLifetimeMs = 300;
    startService(membership);
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(reports.waitForState(4));
    EXPECT_EQ(reports.states().back(), 4);
}

TEST_F(WebQrTest, AStalledPageIsAskedAgain)
{
    devservice::ScriptedReply stall;
    stall.rawBody = "window.wx_errcode=405;window.wx_code='stale';";
    stall.delayMs = 1500; // beyond the page's time-out
    service->script(kPoll, stall);
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(reports.waitForState(3));
    EXPECT_FALSE(reports.sawState(5));
    EXPECT_FALSE(reports.sawState(2));
    EXPECT_GE(pollQueries().size(), 2u);
}

TEST_F(WebQrTest, TheServiceReadsThePageWhenAsked)
{
    devservice::MembershipOptions membership;
    membership.webQrLocal = false;
    startService(membership);
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(reports.waitForState(3));
    bool sent = false;
    for (const auto& request : service->requests()) {
        if (request.path == "/goapi/user/checkWechatScanBody") {
            sent = QByteArray::fromBase64(QByteArray::fromStdString(request.members["body_text"].asString()))
                       .contains("window.wx_errcode=408");
        }
    }
    EXPECT_TRUE(sent) << "the page went to the service in base64";

    // A page the service cannot read either ends the attempt.
    service->script(kPoll, raw(200, "<html>busy</html>"));
    ASSERT_TRUE(reports.waitForState(5));
}

TEST_F(WebQrTest, OnlyTheNewerAttemptReports)
{
    Reports older;
    Reports newer;
    WebQRCodeMgr::instance()->start(older.callback());
    ASSERT_TRUE(older.waitForState(3)) << "the first attempt polls";
    WebQRCodeMgr::instance()->start(newer.callback());
    ASSERT_TRUE(newer.waitForState(3));
    const size_t olderReports = older.maps.size();
    open(confirmPage(newer.picture()));
    ASSERT_TRUE(newer.waitForState(2));
    QTest::qWait(200);
    EXPECT_EQ(older.maps.size(), olderReports) << "the superseded attempt reports nothing more";
    // The superseded thread is joined without anyone waiting for it.
    EXPECT_TRUE(QTest::qWaitFor([] { return WebQRCodeMgr::instance()->threadCount() == 0; }, 5000));
}

TEST_F(WebQrTest, TwoQuickStartsLeaveOnlyTheNewer)
{
    Reports older;
    Reports newer;
    // The older reply is slow: it comes back after the newer one.
    devservice::ScriptedReply slow = devservice::ScriptedReply::failure(1009, "slow");
    slow.delayMs = 500;
    service->script("/goapi/wechat/getWechatWebQRCode", slow);
    WebQRCodeMgr::instance()->start(older.callback());
    // The script answers the first request only: the newer start goes out once the older one has arrived.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& request : service->requests()) {
                if (request.path == "/goapi/wechat/getWechatWebQRCode")
                    return true;
            }
            return false;
        },
        20000));
    WebQRCodeMgr::instance()->start(newer.callback());
    ASSERT_TRUE(newer.waitForState(3));
    QTest::qWait(800);
    EXPECT_TRUE(older.maps.empty()) << "neither its code nor its scans";
    EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 1);
}

TEST_F(WebQrTest, AFailedRequestReportsTheErrorAndDoesNotPoll)
{
    service->script("/goapi/wechat/getWechatWebQRCode", devservice::ScriptedReply::failure(1008, "暂不可用"));
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reports.maps.empty(); }, 20000));
    EXPECT_EQ(reports.maps[0].get_data("errcode", bg::Value(-99999)).toInt(), 1008);
    EXPECT_EQ(reports.maps[0].get_data("errmsg", bg::Value("")).toStdString(), "暂不可用");
    EXPECT_EQ(reports.picture(), "") << bg::Value(reports.maps[0]).write();
    QTest::qWait(200);
    EXPECT_TRUE(pollQueries().empty());
    EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 0);
}

TEST_F(WebQrTest, StoppingJoinsAPollingThread)
{
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(reports.waitForState(3));
    EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 1);
    WebQRCodeMgr::instance()->stopAll();
    EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 0);
    const size_t count = reports.maps.size();
    QTest::qWait(200);
    EXPECT_EQ(reports.maps.size(), count);
}

// A sign-in by another way ends the attempt: a scan confirmed afterwards reports nothing.
TEST_F(WebQrTest, AnEndedAttemptReportsNothingMore)
{
    Reports reports;
    WebQRCodeMgr::instance()->start(reports.callback());
    ASSERT_TRUE(reports.waitForState(3));
    WebQRCodeMgr::instance()->stopCurrent();
    const size_t count = reports.maps.size();
    open(confirmPage(reports.picture()));
    QTest::qWait(500);
    EXPECT_EQ(reports.maps.size(), count);
    EXPECT_TRUE(QTest::qWaitFor([] { return WebQRCodeMgr::instance()->threadCount() == 0; }, 5000));

    // A code reply still on its way when the attempt ends starts no polling either.
    Reports late;
    devservice::ScriptedReply slow = devservice::ScriptedReply::success(Json::Value(R"({"wechat_net": "x"})"));
    slow.delayMs = 300;
    service->script("/goapi/wechat/getWechatWebQRCode", slow);
    WebQRCodeMgr::instance()->start(late.callback());
    WebQRCodeMgr::instance()->stopCurrent();
    QTest::qWait(800);
    EXPECT_TRUE(late.maps.empty());
    EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 0);
}

// Quitting while a page or the service's reading of it is on its way ends the request instead of waiting
// for it (the service here would answer after 20 s).
TEST_F(WebQrTest, StoppingAbortsTheRequestsUnderWay)
{
    const struct {
        const char* what;
        bool local;
        const char* path;
    } cases[] = {
        { "page fetch", true, kPoll },
        { "scan page sent to the service", false, "/goapi/user/checkWechatScanBody" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        devservice::MembershipOptions membership;
        membership.webQrLocal = c.local;
        startService(membership);
        WebQRCodeMgr::setPageTimeoutMs(30000);
        devservice::ScriptedReply stalled = raw(200, "window.wx_errcode=408;");
        stalled.delayMs = 20000;
        service->script(c.path, stalled);
        Reports reports;
        WebQRCodeMgr::instance()->start(reports.callback());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (const auto& request : service->requests()) {
                    if (request.path == c.path)
                        return true;
                }
                return false;
            },
            20000));
        QElapsedTimer clock;
        clock.start();
        WebQRCodeMgr::instance()->stopAll();
        EXPECT_LT(clock.elapsed(), 10000) << "the request was waited for";
        EXPECT_EQ(WebQRCodeMgr::instance()->threadCount(), 0);
        WebQRCodeMgr::setPageTimeoutMs(400);
    }
}

} // namespace
