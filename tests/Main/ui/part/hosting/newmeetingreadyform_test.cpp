// The new-meeting form against the local room service: its gates, what it sends and how it reads replies.
#include "ui/part/newmeetingreadyform.h"

#include "ui_newmeetingreadyform.h"

#include "hosting_support.h"

#include "global/customevents.h"
#include "global/randomsource.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include <json/value.h>

using sidepanel::EventLog;
using sidepanel::waitUntil;

namespace {

QString dataText(const char* key) { return QString::fromStdString(CD->data->get_data(key, bg::Value("")).toStdString("")); }

class NewMeetingReadyFormTest : public hosting::ServiceTest {
protected:
    void SetUp() override
    {
        hosting::ServiceTest::SetUp();
        sidepanel::setData("user.id", bg::Value(7));
        sidepanel::setData("user.level", bg::Value(2));
        sidepanel::setData("user.token", bg::Value("tok-host"));
        sidepanel::setData(kRoomPresetHost, bg::ValueQt(QString::fromStdString(base)));
        sidepanel::clearData({ kRoomMeetingKeyMain, kRoomChatHostMain, kRoomChatWssMain, kRoomPusherNum,
            kRoomMeetingKeyClient, kRoomIsHost });
        for (const char* key : { kCfgMeetingKeyHead, kCfgMeetingKeyBody, kCfgLastMeetingAudioType })
            cfgSetStdString(CD->config, key, "");
    }
    void TearDown() override
    {
        setRandomSource({});
        hosting::ServiceTest::TearDown();
    }

    // A form whose create page holds `title`, ready to press.
    std::unique_ptr<NewMeetingReadyForm> makeForm(const QString& title = QStringLiteral("周会"))
    {
        auto form = std::make_unique<NewMeetingReadyForm>();
        form->form()->lineEdit_create_meetingtitle->setText(title);
        return form;
    }

    // Presses create and waits for its reply (the button comes back).
    void create(NewMeetingReadyForm& form)
    {
        form.form()->pushButton_create_meeting->click();
        ASSERT_TRUE(waitUntil([&] { return form.form()->pushButton_create_meeting->isEnabled(); }, 10000));
        sidepanel::settle();
    }

    void join(NewMeetingReadyForm& form, const QString& key, const QString& password = QString())
    {
        form.form()->lineEdit_add_meeting_key->setText(key);
        form.form()->lineEdit_add_name->setText(QStringLiteral("小明"));
        form.form()->lineEdit_add_pwd->setText(password);
        form.form()->pushButton_add_meeting->click();
        EXPECT_FALSE(form.form()->pushButton_add_meeting->isEnabled());
        ASSERT_TRUE(waitUntil([&] { return form.form()->pushButton_add_meeting->isEnabled(); }, 10000));
        sidepanel::settle();
    }
};

TEST_F(NewMeetingReadyFormTest, CreateGatesAskForSignInMembershipTitleAndPassword)
{
    EventLog log({ UserEventType::Login, UserEventType::Pay, UserEventType::V3ReadyToCreateMeeting });
    auto form = makeForm(QString());

    sidepanel::setData("user.id", bg::Value(0));
    form->form()->pushButton_create_meeting->click();
    sidepanel::settle();
    EXPECT_EQ(log.of<LoginEvent>().size(), 1u);

    sidepanel::setData("user.id", bg::Value(7));
    sidepanel::setData("user.level", bg::Value(1));
    form->form()->pushButton_create_meeting->click();
    sidepanel::settle();
    EXPECT_EQ(log.of<PayEvent>().size(), 1u);

    sidepanel::setData("user.level", bg::Value(2));
    form->form()->pushButton_create_meeting->click();
    form->form()->lineEdit_create_meetingtitle->setText(QStringLiteral("周会"));
    form->form()->checkBox_no_pwd->setChecked(false);
    EXPECT_TRUE(form->form()->lineEdit_create_meetingpwd->isEnabled());
    form->form()->lineEdit_create_meetingpwd->setText(QStringLiteral("12"));
    form->form()->pushButton_create_meeting->click();
    sidepanel::settle();
    EXPECT_EQ(notices, (QStringList { QString::fromUtf8("请输入直播主题"), QString::fromUtf8("请设置4位数字密码") }));
    EXPECT_EQ(requestsTo("/room/createMeetting"), 0);
    EXPECT_TRUE(log.of<V3ReadyToCreateMeetingEvent>().empty());
}

TEST_F(NewMeetingReadyFormTest, TickedBoxSendsTheOpenPasswordAndARandomRoomNumber)
{
    EventLog log({ UserEventType::V3ReadyToCreateMeeting });
    // 1804 x 10^8 / 2^32 is 42.0...: the room number keeps its leading zeros.
    setRandomSource([] { return 1804u; });
    auto form = makeForm();
    form->form()->checkBox_no_pwd->setChecked(false);
    form->form()->lineEdit_create_meetingpwd->setText(QStringLiteral("1234"));
    form->form()->checkBox_no_pwd->setChecked(true);
    EXPECT_FALSE(form->form()->lineEdit_create_meetingpwd->isEnabled());
    create(*form);

    const auto* sent = lastRequestTo("/room/createMeetting");
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent->members["password"].asString(), "580917");
    EXPECT_EQ(sent->members["meetting_key"].asString(), "00000042");
    EXPECT_EQ(sent->members["token"].asString(), "tok-host");
    EXPECT_EQ(dataText(kRoomServiceHost).toStdString(), base);
    ASSERT_EQ(log.of<V3ReadyToCreateMeetingEvent>().size(), 1u);
    const auto* ready = log.of<V3ReadyToCreateMeetingEvent>()[0];
    EXPECT_EQ(ready->password, QStringLiteral("580917"));
    EXPECT_EQ(ready->title, QString::fromUtf8("周会"));
    EXPECT_EQ(ready->audioMode, 2);
    EXPECT_EQ(ready->viewer, rooms->options().viewer);
    EXPECT_EQ(ready->duration, rooms->options().duration);
    EXPECT_EQ(dataText(kRoomMeetingKeyMain), QStringLiteral("00000042"));
    EXPECT_TRUE(CD->data->get_data(kRoomIsHost, bg::Value(false)).toBool());
    EXPECT_EQ(CD->data->get_data(kRoomPusherNum, bg::Value(0)).toInt(), 4);
    EXPECT_EQ(dataText(kRoomChatWssMain).toStdString(), wss);

    // Head and body from the settings make the room number as they stand.
    cfgSetStdString(CD->config, kCfgMeetingKeyHead, "abc");
    cfgSetStdString(CD->config, kCfgMeetingKeyBody, "12345");
    EXPECT_EQ(NewMeetingReadyForm::makeRoomNumber("abc", "12345"), QStringLiteral("abc12345"));
    form->form()->checkBox_no_pwd->setChecked(false);
    create(*form);
    sent = lastRequestTo("/room/createMeetting");
    EXPECT_EQ(sent->members["meetting_key"].asString(), "abc12345");
    EXPECT_EQ(sent->members["password"].asString(), "1234");
    EXPECT_EQ(log.of<V3ReadyToCreateMeetingEvent>().size(), 2u);
}

TEST_F(NewMeetingReadyFormTest, SavedSoundChoiceIsRestored)
{
    struct Row {
        int saved;
        int index;
        int mode;
    };
    for (const Row row : { Row { 5, 0, 2 }, Row { 2, 2, 0 }, Row { 1, 1, 1 }, Row { 3, 3, 3 }, Row { -1, -1, 2 } }) {
        SCOPED_TRACE(row.saved);
        cfgSetInt(CD->config, kCfgLastMeetingAudioType, row.saved);
        NewMeetingReadyForm form;
        EXPECT_EQ(form.form()->comboBox_voices->currentIndex(), row.index);
        EXPECT_EQ(form.audioMode(), row.mode);
    }
    // After a create the index (not the mode) is saved.
    cfgSetInt(CD->config, kCfgLastMeetingAudioType, 2);
    auto form = makeForm();
    create(*form);
    EXPECT_EQ(cfgGetInt(CD->config, kCfgLastMeetingAudioType, -9, false), 2);
}

TEST_F(NewMeetingReadyFormTest, CreateRepliesThatNameNoMeetingAreFailures)
{
    const auto meeting = [](const char* key) {
        Json::Value result;
        result["meetting"]["meetting_key"] = key;
        result["meetting"]["chat_host"] = "http://chat";
        return result;
    };
    devservice::ScriptedReply garbage = devservice::ScriptedReply::success(Json::Value("{not json"));
    garbage.encrypt = true;
    devservice::ScriptedReply unreadable;
    unreadable.rawBody = "<html>";
    // The data text nested past any parser's stack limit.
    devservice::ScriptedReply deep = devservice::ScriptedReply::success(
        Json::Value(R"({"meetting":)" + std::string(1001, '[') + std::string(1001, ']') + "}"));
    deep.encrypt = true;
    struct Row {
        const char* what;
        devservice::ScriptedReply reply;
        QString notice;
    };
    const QString failed = QString::fromUtf8("开启直播失败，请稍后再重试");
    const std::vector<Row> rows = {
        { "no meetting", devservice::ScriptedReply::success(Json::Value(Json::objectValue)), failed },
        { "empty key", devservice::ScriptedReply::success(meeting("")), failed },
        { "a key that is a number", devservice::ScriptedReply::success([] {
              Json::Value r;
              r["meetting"]["meetting_key"] = 42;
              return r;
          }()),
            failed },
        { "data that is not JSON", garbage, failed },
        { "data nested too deep", deep, failed },
        { "a duration beyond 64 bits", devservice::ScriptedReply::success([&] {
              Json::Value r = meeting("K");
              r["meetting"]["duration"] = 1e19;
              return r;
          }()),
            failed },
        { "a reply that is not JSON", unreadable, failed + "\n -10 " },
        { "a refusal", devservice::ScriptedReply::failure(4202, "taken"), failed + "\n 4202 taken" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        notices.clear();
        EventLog log({ UserEventType::V3ReadyToCreateMeeting });
        service->script("/room/createMeetting", row.reply);
        auto form = makeForm();
        create(*form);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].startsWith(row.notice)) << notices[0].toStdString();
        EXPECT_TRUE(log.events.empty());
        EXPECT_TRUE(dataText(kRoomMeetingKeyMain).isEmpty());
        EXPECT_EQ(form->form()->pushButton_create_meeting->text(), QString::fromUtf8("开启直播"));
    }
}

TEST_F(NewMeetingReadyFormTest, JoinReadsTheMainStreamInsideOrBesideTheMeeting)
{
    const auto reply = [](const Json::Value& inside, const Json::Value& beside) {
        Json::Value result;
        Json::Value& m = result["meetting"];
        m["meetting_key"] = "K";
        m["chat_host"] = "http://chat";
        m["chat_wss"] = "ws://chat";
        m["room_id"] = "12";
        m["room_pwd"] = "rpw";
        m["title"] = "t";
        m["duration"] = 60;
        m["viewer"] = 5;
        if (!inside.isNull())
            m["streamers"] = inside;
        if (!beside.isNull())
            result["streamers"] = beside;
        return devservice::ScriptedReply::success(result);
    };
    const auto streamers = [](std::initializer_list<std::pair<long long, int>> list) {
        Json::Value array(Json::arrayValue);
        for (const auto& [id, main] : list) {
            Json::Value s;
            s["stream_id"] = Json::Int64(id);
            s["main"] = main;
            array.append(s);
        }
        return array;
    };
    struct Row {
        const char* what;
        devservice::ScriptedReply reply;
        qint64 mainId;
    };
    const std::vector<Row> rows = {
        { "none inside", reply(streamers({}), Json::Value()), 0 },
        { "one inside", reply(streamers({ { 5, 0 }, { 9, 1 } }), Json::Value()), 9 },
        { "two inside: the later", reply(streamers({ { 9, 1 }, { 11, 1 } }), Json::Value()), 11 },
        { "none beside", reply(Json::Value(), streamers({ { 3, 0 } })), 0 },
        { "one beside", reply(Json::Value(), streamers({ { 8, 1 } })), 8 },
        { "two beside: the later", reply(Json::Value(), streamers({ { 8, 1 }, { 2147483647, 1 } })), 2147483647 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EventLog log({ UserEventType::V3ReadyToAddMeeting });
        service->script("/room/joinMeetting", row.reply);
        NewMeetingReadyForm form;
        join(form, QStringLiteral("K"), QStringLiteral("1234"));
        ASSERT_EQ(log.of<V3ReadyToAddMeetingEvent>().size(), 1u);
        const auto* ready = log.of<V3ReadyToAddMeetingEvent>()[0];
        EXPECT_EQ(ready->mainStreamId, row.mainId);
        EXPECT_EQ(ready->roomPwd, QStringLiteral("rpw"));
        EXPECT_EQ(ready->userName, QString::fromUtf8("小明"));
        EXPECT_EQ(ready->viewer, 5);
        EXPECT_EQ(dataText(kRoomMeetingKeyClient), QStringLiteral("K"));
        EXPECT_EQ(lastRequestTo("/room/joinMeetting")->members["password"].asString(), "1234");
    }
    EXPECT_TRUE(notices.isEmpty()) << notices.join('|').toStdString();
}

TEST_F(NewMeetingReadyFormTest, JoinFailuresSayWhy)
{
    // Meetings of the room service itself: one with a password, one open to all, both live.
    devservice::RecordedRequest host;
    host.members["meetting_key"] = "P";
    host.members["password"] = "1234";
    ASSERT_EQ(rooms->create(host).errcode, 0);
    host.members["stream_id"] = 5;
    host.members["main"] = 1;
    ASSERT_EQ(rooms->addStreamer(host).errcode, 0);
    host.members["meetting_key"] = "O";
    host.members["password"] = "580917";
    ASSERT_EQ(rooms->create(host).errcode, 0);
    ASSERT_EQ(rooms->addStreamer(host).errcode, 0);

    Json::Value numericPwd;
    numericPwd["meetting"]["meetting_key"] = "K";
    numericPwd["meetting"]["chat_host"] = "h";
    numericPwd["meetting"]["chat_wss"] = "w";
    numericPwd["meetting"]["room_id"] = "1";
    numericPwd["meetting"]["room_pwd"] = 1234;
    numericPwd["meetting"]["title"] = "t";
    devservice::ScriptedReply garbage = devservice::ScriptedReply::success(Json::Value("{not json"));
    garbage.encrypt = true;

    EventLog log({ UserEventType::V3ReadyToAddMeeting });
    NewMeetingReadyForm form;
    join(form, QStringLiteral("P"), QStringLiteral("9999"));
    join(form, QStringLiteral("P"), QString());
    service->script("/room/joinMeetting", devservice::ScriptedReply::success(numericPwd));
    join(form, QStringLiteral("K"));
    service->script("/room/joinMeetting", garbage);
    join(form, QStringLiteral("K"));
    devservice::ScriptedReply deep = devservice::ScriptedReply::success(
        Json::Value(R"({"meetting":)" + std::string(1001, '{') + std::string(1001, '}') + "}"));
    deep.encrypt = true;
    service->script("/room/joinMeetting", deep);
    join(form, QStringLiteral("K"));
    ASSERT_EQ(notices.size(), 5);
    EXPECT_TRUE(notices[4].startsWith(QString::fromUtf8("加入直播失败：\n"))) << notices[4].toStdString();
    EXPECT_EQ(notices[0], QString::fromUtf8("加入直播失败.\n密码错误"));
    EXPECT_EQ(notices[1], QString::fromUtf8("加入直播失败.\n密码错误"));
    EXPECT_EQ(notices[2], QString::fromUtf8("加入直播失败：\n\"room_pwd\" is missing or not a string"));
    EXPECT_TRUE(notices[3].startsWith(QString::fromUtf8("加入直播失败：\n"))) << notices[3].toStdString();
    EXPECT_GT(notices[3].size(), 8);
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(dataText(kRoomMeetingKeyClient).isEmpty());

    // The right password, and any password for a meeting made without one.
    join(form, QStringLiteral("P"), QStringLiteral("1234"));
    join(form, QStringLiteral("O"), QStringLiteral("0000"));
    EXPECT_EQ(log.of<V3ReadyToAddMeetingEvent>().size(), 2u);
    EXPECT_EQ(notices.size(), 5);
}

TEST_F(NewMeetingReadyFormTest, PageButtonsSwitchThePagesAndTheJoinPageAsksForThePassword)
{
    NewMeetingReadyForm form;
    form.resize(952, 550);
    form.show();
    EXPECT_EQ(form.form()->stackedWidget->currentIndex(), 0);
    form.form()->pushButton_change_to_add->click();
    EXPECT_EQ(form.form()->stackedWidget->currentIndex(), 1);
    EXPECT_TRUE(form.form()->pushButton_change_to_add->isChecked());
    EXPECT_FALSE(form.form()->pushButton_change_to_creat->isChecked());
    EXPECT_TRUE(form.form()->lineEdit_add_pwd->isVisible());
    form.form()->pushButton_change_to_creat->click();
    EXPECT_EQ(form.form()->stackedWidget->currentIndex(), 0);
}

} // namespace
