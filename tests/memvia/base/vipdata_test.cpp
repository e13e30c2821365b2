#include "base/vip/vipdata.h"

#include "memvia/memvia_fixture.h"

#include <bridge/logger.h>

#include <QDesktopServices>
#include <QTemporaryDir>
#include <QUrl>

#include <mutex>
#include <vector>

namespace {

struct LoginCase {
    const char* name;
    const char* reply; // a login result
    int level;
    std::string vipName;
    std::string endText;
    std::string displayName;
};

class AccountData : public ::testing::Test {
protected:
    void SetUp() override { data->clear(); }
    void TearDown() override { data->clear(); }

    MemviaComponent component;
    VipData* data = VipData::instance();
};

// Records what the desktop is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

} // namespace

TEST_F(AccountData, LoginReplies)
{
    const LoginCase cases[] = {
        { "no product state", R"({"user_id": 5, "user_name": "u"})", 1, "普通用户", "", "u" },
        { "member", R"({"user_id": 5, "user_name": "u", "product_state": [
              {"product_type": 23000, "product_level": 2, "end_time": "2030-05-06 07:08:09"}]})",
            2, "会员用户", "2030-05-06", "u" },
        { "only another product", R"({"user_id": 5, "product_state": [{"product_type": 1, "product_level": 3,
              "end_time": "2031-01-01"}]})",
            1, "普通用户", "", "5" },
        { "first matching element", R"({"user_id": 5, "product_state": [
              {"product_type": 23000, "product_level": 0, "end_time": "2030-01-01"},
              {"product_type": 23000, "product_level": 3, "end_time": "2031-01-01"}]})",
            0, "游客", "2030-01-01", "5" },
        { "level missing", R"({"user_id": 5, "product_state": [{"product_type": 23000}]})", -1, "会员过期",
            "", "5" },
        { "expired", R"({"product_state": [{"product_type": 23000, "product_level": -3}]})", -3, "会员过期",
            "", "-1" },
        { "level 7 keeps the name", R"({"user_id": 5, "product_state": [{"product_type": 23000,
              "product_level": 7}]})",
            7, "", "", "5" },
        { "2100-01-01 with a time", R"({"product_state": [{"product_type": 23000, "product_level": 3,
              "end_time": "2100-01-01 23:59:59"}]})",
            3, "高级会员", "2100-01-01", "-1" },
        { "lifetime", R"({"product_state": [{"product_type": 23000, "product_level": 3,
              "end_time": "2199-12-31 23:59:59"}]})",
            3, "终身会员", "终身会员", "-1" },
        { "short end time", R"({"product_state": [{"product_type": 23000, "product_level": 2,
              "end_time": "2030"}]})",
            2, "会员用户", "2030", "-1" },
        { "phone only", R"({"user_id": 9, "telphone": "13800000000", "email": "e@x"})", 1, "普通用户", "",
            "13800000000" },
        { "e-mail only", R"({"user_id": 9, "email": "e@x"})", 1, "普通用户", "", "e@x" },
        { "mistyped members", R"({"user_id": "9", "user_name": 3, "product_state": {"product_type": 23000}})",
            1, "普通用户", "", "-1" },
    };
    for (const LoginCase& row : cases) {
        SCOPED_TRACE(row.name);
        data->clear();
        EXPECT_TRUE(data->parseLoginInfo(parseJsonText(row.reply)));
        EXPECT_EQ(data->productLevel(), row.level);
        EXPECT_EQ(data->endTimeText(), row.endText);
        EXPECT_EQ(data->vipName(), row.vipName);
        EXPECT_EQ(data->displayName(), row.displayName);
        const Json::Value info = parseJsonText(data->userInfoJson());
        EXPECT_EQ(info["vip_level"].asInt(), row.level);
        EXPECT_EQ(info["vip_name"].asString(), row.vipName);
        EXPECT_EQ(info["name"].asString(), row.displayName);
        EXPECT_EQ(info["end_time"].asString(), row.endText);
    }
}

TEST_F(AccountData, ProductStateOfAnotherTypeKeepsTheRest)
{
    data->parseLoginInfo(parseJsonText(R"({"user_id": 1, "product_state": [{"product_type": 23000,
        "product_level": 2, "end_time": "2030-01-01", "busi_type": 1, "max_device": 4, "client_device": 2}]})"));
    data->parseProductState(parseJsonText(R"([{"product_type": 99, "product_level": 3, "busi_type": 0}])"));
    EXPECT_EQ(data->productLevel(), 1);
    EXPECT_EQ(data->endTime(), "2030-01-01");
    EXPECT_EQ(data->busiType(), 1);
    EXPECT_EQ(data->maxDevice(), 4);
    EXPECT_EQ(data->clientDevice(), 2);
    EXPECT_FALSE(data->isMember());
}

TEST_F(AccountData, UserInformationAndClear)
{
    data->parseLoginInfo(parseJsonText(R"({"user_id": 42, "user_name": "", "nick_name": "Nick",
        "telphone": "", "email": "", "avatar": "http://127.0.0.1/a.png", "token": "t-1",
        "auto_login_token": "a-1", "config": {"show_delay": 3, "meetting_host": "http://127.0.0.1:1"},
        "product_state": [{"product_type": 23000, "product_level": 2, "end_time": "2030-01-01 00:00:00",
        "busi_type": 1, "max_device": 3, "client_device": 2}]})"));
    Json::Value info = parseJsonText(data->userInfoJson());
    const std::vector<std::string> names
        = { "name", "vip_name", "vip_level", "busi_type", "avatar", "user_id", "token", "end_time",
              "nick_name", "client_device", "auto_token", "show_delay", "meeting_host" };
    EXPECT_EQ(info.getMemberNames().size(), names.size());
    for (const std::string& name : names)
        EXPECT_TRUE(info.isMember(name)) << name;
    EXPECT_EQ(info["name"].asString(), "42");
    EXPECT_EQ(info["token"].asString(), "t-1");
    EXPECT_EQ(info["auto_token"].asString(), "a-1");
    EXPECT_EQ(info["show_delay"].asInt(), 3);
    EXPECT_EQ(info["meeting_host"].asString(), "http://127.0.0.1:1");
    EXPECT_EQ(info["client_device"].asInt(), 2);
    EXPECT_TRUE(data->isMember());
    EXPECT_EQ(data->displayName("nickname"), "Nick");
    EXPECT_EQ(data->displayName("telphone"), "42");
    EXPECT_EQ(data->displayName("other"), "42");

    data->clear();
    info = parseJsonText(data->userInfoJson());
    EXPECT_EQ(info["auto_token"].asString(), "a-1") << "the auto-login token outlives a log-out";
    EXPECT_EQ(info["show_delay"].asInt(), 3);
    EXPECT_EQ(info["token"].asString(), "");
    EXPECT_EQ(info["user_id"].asInt(), 0);
    EXPECT_EQ(info["vip_level"].asInt(), 0);
    EXPECT_EQ(info["meeting_host"].asString(), "");
    EXPECT_EQ(data->token(), "");
}

// A jump page opens in the desktop's browser only when it is a web address. Handlers stand in for the
// desktop; the plug-in's log lines (through a hook) tell when a refused page has been handled.
class AccountDataJump : public MembershipFixture {
protected:
    void SetUp() override
    {
        MembershipFixture::SetUp();
        component.logger = &logger;
        bg::log::hook([this](int, const char*, const char* text) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(text);
        });
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    }
    void TearDown() override
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(scheme);
        bg::log::hook(nullptr);
        component.logger = nullptr;
    }

    // Waits until a log line holds `what`, then forgets the lines.
    bool waitForLog(const char* what)
    {
        return QTest::qWaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                for (const std::string& line : lines) {
                    if (line.find(what) != std::string::npos) {
                        lines.clear();
                        return true;
                    }
                }
                return false;
            },
            20000);
    }

    static constexpr const char* kSchemes[] = { "http", "https", "file", "mailto" };
    QTemporaryDir dir;
    bg::Logger logger { dir.filePath("jump.log").toUtf8().constData() };
    std::mutex mutex;
    std::vector<std::string> lines;
    UrlRecorder recorder;
};

TEST_F(AccountDataJump, OpensOnlyWebPages)
{
    VipData::instance()->jumpTarget(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.opened.empty(); }, 20000));
    EXPECT_EQ(recorder.opened[0].path(), "/goapi/page");
    EXPECT_EQ(recorder.opened[0].query(), "target=user-center");

    for (const char* page : { "file:///etc/passwd", "mailto:someone@example.com", "" }) {
        SCOPED_TRACE(page);
        Json::Value result(Json::objectValue);
        result["jump_url"] = page;
        service->script("/goapi/user/getJumpJsWebUrl",
            devservice::ScriptedReply::success(Json::FastWriter().write(result)));
        VipData::instance()->jumpTarget(9);
        ASSERT_TRUE(waitForLog("vip_getJumpWebUrl refused"));
        EXPECT_EQ(recorder.opened.size(), 1u);
    }
    EXPECT_EQ(lastRequest("/goapi/user/getJumpJsWebUrl").members["jump_target"].asString(), "")
        << "a kind outside 0..4 names no target";

    service->script("/goapi/user/getJumpJsWebUrl", devservice::ScriptedReply::failure(3, "no page"));
    VipData::instance()->jumpTarget(1);
    ASSERT_TRUE(waitForLog("vip_getJumpWebUrl err: no page"));
    EXPECT_EQ(recorder.opened.size(), 1u);
}

#include "vipdata_test.moc"
