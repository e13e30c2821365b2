// The real plug-in, loaded by the framework by name, answering the program's commands.
#include "Main/shell_env.h"

#include <devservice/service.h>

#include <bridge/abstract_app.h>
#include <bridge/app.h>
#include <bridge/bridge_init.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

#pragma push_macro("emit")
#undef emit
#include <bridge/signal.h>
#pragma pop_macro("emit")

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <json/reader.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

devservice::Service* service = nullptr;

class PluginEnvironment : public BridgeEnvironment {
public:
    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = false;
        m_service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(m_service->start(&error)) << error;
        service = m_service.get();
        BridgeEnvironment::SetUp();
        CD->app->set_property("host", bg::Value(m_service->baseUrl() + "/goapi"), false);
        CD->app->set_property("product_type", bg::Value(23000), false);
        CD->app->set_property("user_version_check", bg::Value(true), false);
        const char* names[] = { "libMemvia.so" };
        ASSERT_EQ(bg::LoadModules(names, 1, true), 1);
    }
    void TearDown() override
    {
        BridgeEnvironment::TearDown();
        service = nullptr;
        m_service.reset();
    }

private:
    std::unique_ptr<devservice::Service> m_service;
};

struct Answers {
    std::vector<bg::Value> values;
    bg::MsgCallback callback()
    {
        return [this](const bg::Value& value) { values.push_back(value); };
    }
    bool wait(size_t count = 1, int deadlineMs = 20000)
    {
        return QTest::qWaitFor([&] { return values.size() >= count; }, deadlineMs);
    }
};

bg::Value send(int id, const bg::Value& msg, const bg::MsgCallback& cb = {})
{
    return CD->send("Memvia", id, msg, cb);
}

size_t requestsOn(const std::string& path)
{
    size_t count = 0;
    for (const auto& request : service->requests())
        count += request.path == path ? 1 : 0;
    return count;
}

Json::Value parsed(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

bg::Value accountLogin(const char* account, const char* password)
{
    bg::ValueMap map;
    map["account"] = bg::Value(account);
    map["password"] = bg::Value(password);
    return bg::Value(map);
}

// Answers the next modal dialog with `act` once it is shown.
void answerNextModal(std::function<void(QDialog*)> act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start(10);
}

TEST(MemviaModule, EveryCommandAnswersWithTheModuleItself)
{
    const bg::Value module = send(202, bg::Value());
    ASSERT_EQ(module.type(), bg::Value::VT_VOID);
    ASSERT_NE(module.toVoid(), nullptr);
    auto* component = static_cast<bg::Interface*>(module.toVoid());
    EXPECT_STREQ(component->name, "Memvia");
    EXPECT_EQ(send(100, bg::Value(static_cast<void*>(nullptr))).toVoid(), module.toVoid());
    EXPECT_EQ(send(311, bg::Value()).toVoid(), module.toVoid());
}

TEST(MemviaModule, UnknownCommandsNeverAnswer)
{
    Answers answers;
    for (int id : { 202, 205, 209, 210, 220, 99, 312 })
        send(id, bg::Value(), answers.callback());
    QTest::qWait(200);
    EXPECT_TRUE(answers.values.empty());
}

TEST(MemviaModule, FramelessFrameOnlyForARealWidget)
{
    QDialog dialog;
    dialog.setProperty("header_visible", false);
    send(100, bg::Value(static_cast<void*>(nullptr)));
    send(100, bg::Value(static_cast<void*>(&dialog)));
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    // A second command keeps the one frame.
    const int children = dialog.children().size();
    send(100, bg::Value(static_cast<void*>(&dialog)));
    EXPECT_EQ(dialog.children().size(), children);
}

TEST(MemviaModule, MessageFormsAnswerTheChoice)
{
    const struct {
        const char* what;
        int id;
        bool asMap;
        const char* button; // null: Escape
        int expected;
        int buttons;
    } cases[] = {
        { "notice, OK", 200, false, "vf_btn_ok", 1, 1 },
        { "question, OK", 201, true, "vf_btn_ok", 1, 2 },
        { "question, Cancel", 201, true, "vf_btn_cancel", 0, 2 },
        { "notice, Escape", 200, true, nullptr, 0, 1 },
    };
    QWidget parent;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Answers answers;
        QString shownTitle;
        int shownButtons = 0;
        QWidget* shownParent = nullptr;
        answerNextModal([&](QDialog* dialog) {
            shownTitle = dialog->windowTitle();
            shownButtons = dialog->findChildren<QPushButton*>(QRegularExpression("^vf_btn_")).size();
            shownParent = dialog->parentWidget();
            if (c.button)
                QTest::mouseClick(dialog->findChild<QPushButton*>(c.button), Qt::LeftButton);
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        bg::Value msg("纯文本");
        if (c.asMap) {
            bg::ValueMap map;
            map["parent"] = bg::Value(static_cast<void*>(&parent));
            map["text"] = bg::Value("要继续吗？");
            msg = bg::Value(map);
        }
        send(c.id, msg, answers.callback());
        // The form was modal: the answer is there when the command returns.
        ASSERT_EQ(answers.values.size(), 1u);
        EXPECT_EQ(answers.values[0].toInt(), c.expected);
        EXPECT_EQ(shownTitle, QStringLiteral("提示"));
        EXPECT_EQ(shownButtons, c.buttons);
        EXPECT_EQ(shownParent, c.asMap ? &parent : nullptr);
    }
}

class LoginCommands : public testing::Test {
protected:
    void SetUp() override
    {
        listener = CD->signal->connect("vipstate_sig", [this](const char*, const bg::Value& value, auto) {
            events.push_back("signal");
            signalled = value.toStdString();
        });
    }
    void TearDown() override
    {
        CD->signal->remove("vipstate_sig", listener);
        send(310, bg::Value());
    }

    bg::MsgCallback recording(Answers& answers)
    {
        return [this, &answers](const bg::Value& value) {
            events.push_back("callback");
            answers.values.push_back(value);
        };
    }

    int listener = -1;
    std::vector<std::string> events;
    std::string signalled;
};

TEST_F(LoginCommands, SuccessfulLoginSignalsBeforeItAnswers)
{
    Answers answers;
    send(301, accountLogin("demo", "demo1234"), recording(answers));
    ASSERT_TRUE(answers.wait());
    const bg::ValueMap reply = answers.values[0].toMap();
    EXPECT_EQ(reply.get_data("errcode", bg::Value(-99999)).toInt(), 0);
    EXPECT_EQ(events, (std::vector<std::string> { "signal", "callback" }));
    const Json::Value info = parsed(reply.get_data("result", bg::Value("")).toStdString());
    EXPECT_EQ(info["user_id"].asInt(), 10001);
    EXPECT_EQ(signalled, reply.get_data("result", bg::Value("")).toStdString());
    EXPECT_TRUE(service->requests().back().path == "/goapi/user/checkLoginByAccount");
}

TEST_F(LoginCommands, FailuresEmitNothing)
{
    devservice::ScriptedReply noAccount;
    noAccount.rawBody = R"({"errcode":0,"errmsg":"","encrypt":0,"result":"{\"user_id\":0}"})";
    devservice::ScriptedReply emptyResult;
    emptyResult.rawBody = R"({"errcode":0,"errmsg":"","encrypt":0,"result":""})";
    devservice::ScriptedReply notJson;
    notJson.rawBody = R"({"errcode":0,"errmsg":"","encrypt":0,"result":"<html>"})";
    // Ids beyond 64 bits are no ids.
    devservice::ScriptedReply hugeId;
    hugeId.rawBody = R"({"errcode":0,"errmsg":"","encrypt":0,"result":"{\"user_id\":1e19}"})";
    devservice::ScriptedReply maxUnsignedId;
    maxUnsignedId.rawBody
        = R"({"errcode":0,"errmsg":"","encrypt":0,"result":"{\"user_id\":18446744073709551615}"})";
    const struct {
        const char* what;
        std::optional<devservice::ScriptedReply> scripted;
        const char* password;
        int errcode;
    } cases[] = {
        { "wrong password", std::nullopt, "nope", 1001 },
        { "result without an account", noAccount, "demo1234", -11 },
        { "empty result", emptyResult, "demo1234", -11 },
        { "result that is no JSON", notJson, "demo1234", -11 },
        { "user id 1e19", hugeId, "demo1234", -11 },
        { "user id 2^64-1", maxUnsignedId, "demo1234", -11 },
        { "refused by the service", devservice::ScriptedReply::failure(-10, "已绑定"), "demo1234", -10 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        events.clear();
        if (c.scripted)
            service->script("/goapi/user/checkLoginByAccount", *c.scripted);
        Answers answers;
        send(301, accountLogin("demo", c.password), recording(answers));
        ASSERT_TRUE(answers.wait());
        EXPECT_EQ(answers.values[0].toMap().get_data("errcode", bg::Value(-99999)).toInt(), c.errcode);
        EXPECT_FALSE(answers.values[0].toMap().get_data("errmsg", bg::Value("")).toStdString().empty());
        EXPECT_EQ(events, (std::vector<std::string> { "callback" }));
    }
}

TEST_F(LoginCommands, UserIdsBeyond32BitsReachTheProgramWhole)
{
    for (const char* id : { "2147483648", "4294967296", "9007199254740993" }) {
        SCOPED_TRACE(id);
        devservice::ScriptedReply wide;
        wide.rawBody = std::string(R"({"errcode":0,"errmsg":"","encrypt":0,"result":"{\"user_id\":)") + id
            + R"(,\"token\":\"t\"}"})";
        service->script("/goapi/user/checkLoginByAccount", wide);
        Answers answers;
        send(301, accountLogin("demo", "demo1234"), recording(answers));
        ASSERT_TRUE(answers.wait());
        const bg::ValueMap reply = answers.values[0].toMap();
        ASSERT_EQ(reply.get_data("errcode", bg::Value(-99999)).toInt(), 0);
        const Json::Value info = parsed(reply.get_data("result", bg::Value("")).toStdString());
        EXPECT_TRUE(info["user_id"].isIntegral());
        EXPECT_EQ(info["user_id"].asLargestInt(), std::stoll(id));
        EXPECT_EQ(signalled, reply.get_data("result", bg::Value("")).toStdString());
    }
}

TEST_F(LoginCommands, LogoutAnswersAtOnceWithTheEmptyAccount)
{
    Answers login;
    send(301, accountLogin("demo", "demo1234"), login.callback());
    ASSERT_TRUE(login.wait());
    Answers answers;
    send(310, bg::Value(), answers.callback());
    ASSERT_EQ(answers.values.size(), 1u);
    const bg::ValueMap reply = answers.values[0].toMap();
    EXPECT_EQ(reply.get_data("errcode", bg::Value(-99999)).toInt(), 0);
    EXPECT_EQ(reply.get_data("errmsg", bg::Value("")).toStdString(), "");
    const Json::Value info = parsed(reply.get_data("result", bg::Value("")).toStdString());
    EXPECT_EQ(info["user_id"].asInt(), 0);
    EXPECT_EQ(info["token"].asString(), "");
}

TEST(MemviaModule, NetRequestPostsTheRequestText)
{
    Json::Value request(Json::objectValue);
    request["net_url"] = service->baseUrl() + "/goapi/versionCheck";
    request["app_name"] = "Tavimeet";
    request["mac_addr"] = "m";
    request["device_name"] = "d";
    request["machine_code"] = "c";
    Answers answers;
    send(300, bg::Value(request.toStyledString()), answers.callback());
    ASSERT_TRUE(answers.wait());
    EXPECT_EQ(answers.values[0].toMap().get_data("errcode", bg::Value(-99999)).toInt(), 0);
    EXPECT_EQ(parsed(answers.values[0].toMap().get_data("result", bg::Value("")).toStdString())["version"]
                  .asString(),
        "1.0.0");

    Answers refused;
    send(300, bg::Value("not json"), refused.callback());
    ASSERT_TRUE(refused.wait());
    EXPECT_EQ(refused.values[0].toMap().get_data("errcode", bg::Value(-99999)).toInt(), -1);
}

// Kept last among the version tests: the first reply stays for the life of the process.
TEST(MemviaModuleVersion, NoCheckAtStartThenTheFirstReplyIsKept)
{
    EXPECT_EQ(requestsOn("/goapi/versionCheck"), 0u) << "user_version_check is set";
    devservice::ScriptedReply gone;
    gone.status = 404;
    gone.rawBody = "gone";
    service->script("/goapi/versionCheck", gone);
    Answers first;
    send(311, bg::Value(), first.callback());
    ASSERT_TRUE(first.wait());
    EXPECT_EQ(first.values[0].toMap().get_data("errcode", bg::Value(-99999)).toInt(), -404);
    EXPECT_EQ(requestsOn("/goapi/versionCheck"), 1u);

    Answers later;
    send(311, bg::Value(), later.callback());
    // Answered inside the command, from the stored reply.
    ASSERT_EQ(later.values.size(), 1u);
    EXPECT_EQ(later.values[0].toMap().get_data("errcode", bg::Value(-99999)).toInt(), -404);
    EXPECT_EQ(later.values[0].toMap().get_data("errmsg", bg::Value("")).toStdString(), "gone");
    QTest::qWait(100);
    EXPECT_EQ(requestsOn("/goapi/versionCheck"), 1u);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new PluginEnvironment);
    return RUN_ALL_TESTS();
}

namespace {

// The visible top-level dialogs of a class of the plug-in.
std::vector<QWidget*> shownDialogs(const char* className)
{
    std::vector<QWidget*> found;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (QByteArray(widget->metaObject()->className()) == className && widget->isVisible())
            found.push_back(widget);
    }
    return found;
}

bg::Value withParent(QWidget* parent)
{
    bg::ValueMap map;
    map["parent"] = bg::Value(static_cast<void*>(parent));
    return bg::Value(map);
}

} // namespace

TEST(MemviaModule, AccountAndPurchaseDialogsAreKeptAndReused)
{
    send(310, bg::Value()); // closes a purchase dialog an earlier command left open
    QTest::qWait(100);
    QWidget first;
    QWidget second;
    send(210, withParent(&first));
    ASSERT_EQ(shownDialogs("UserInfoDialog").size(), 1u);
    QWidget* account = shownDialogs("UserInfoDialog")[0];
    EXPECT_EQ(account->parentWidget(), &first);
    send(210, withParent(&second));
    ASSERT_EQ(shownDialogs("UserInfoDialog").size(), 1u);
    EXPECT_EQ(shownDialogs("UserInfoDialog")[0], account) << "the same dialog, re-parented";
    EXPECT_EQ(account->parentWidget(), &second);
    account->setParent(nullptr, account->windowFlags()); // it outlives both windows
    account->hide();

    send(220, withParent(&first));
    ASSERT_EQ(shownDialogs("VipPayDialog").size(), 1u);
    QPointer<QWidget> purchase = shownDialogs("VipPayDialog")[0];
    send(220, withParent(&second));
    EXPECT_EQ(shownDialogs("VipPayDialog"), std::vector<QWidget*> { purchase.data() })
        << "the open one again";
    EXPECT_EQ(purchase->parentWidget(), &first);

    // Logging out closes it; the next command makes a new one.
    send(310, bg::Value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return purchase.isNull(); }, 5000));
    send(220, withParent(&second));
    ASSERT_EQ(shownDialogs("VipPayDialog").size(), 1u);
    EXPECT_EQ(shownDialogs("VipPayDialog")[0]->parentWidget(), &second);
    QPointer<QWidget> again = shownDialogs("VipPayDialog")[0];
    again->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return again.isNull(); }, 5000));
}
