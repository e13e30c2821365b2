// The account dialog: its content for each kind of account, the style sheets' scaling, log-out, the
// refresh debounce and the avatar download.
#include "base/vip/ordermgr.h"
#include "ui/skinmgr.h"
#include "ui/userheaderform.h"

#include "purchase_fixture.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

namespace {

QString dateAfter(int years, int months)
{
    return QDate::currentDate().addYears(years).addMonths(months).toString("yyyy-MM-dd") + " 00:00:00";
}

std::string loginWith(int level, const QString& end, int business = 0)
{
    return QString(R"({"user_id": 77, "user_name": "u77", "product_state": [{"product_type": 23000,
        "product_level": %1, "end_time": "%2", "busi_type": %3}]})")
        .arg(level)
        .arg(end)
        .arg(business)
        .toStdString();
}

class AccountDialogTest : public PurchaseFixture {
protected:
    QLabel* label(const char* name) { return dialog->findChild<QLabel*>(name); }
    QPushButton* payButton() { return dialog->findChild<QPushButton*>("pushButton_pay"); }

    void SetUp() override
    {
        PurchaseFixture::SetUp();
        dialog = std::make_unique<UserInfoDialog>();
    }
    void TearDown() override
    {
        dialog.reset();
        PurchaseFixture::TearDown();
    }

    std::unique_ptr<UserInfoDialog> dialog;
};

} // namespace

TEST_F(AccountDialogTest, ContentForEachAccount)
{
    const struct {
        const char* name;
        std::string login;
        bool showPay;
        const char* limit;
        bool visibleBefore;
        const char* payText;
        QString endText;
        QString vipName;
        bool payVisible;
    } cases[] = {
        { "non-member without pay option", R"({"user_id": 77})", false, "", false, "开通会员", "无会员",
            "普通用户", false },
        { "expired", loginWith(-1, "2020-03-04 00:00:00"), true, "", true, "续费会员", "2020-03-04",
            "会员过期", true },
        { "beyond year+1", loginWith(2, dateAfter(2, 1)), true, "year+1", true, "续费会员",
            dateAfter(2, 1).left(10), "会员用户", false },
        { "within year+1", loginWith(2, dateAfter(0, 1)), true, "year+1", false, "续费会员",
            dateAfter(0, 1).left(10), "会员用户", true },
        { "week+1 keeps the button", loginWith(2, dateAfter(2, 1)), true, "week+1", true, "续费会员",
            dateAfter(2, 1).left(10), "会员用户", true },
        { "year+0 keeps the button", loginWith(2, dateAfter(2, 1)), true, "year+0", false, "续费会员",
            dateAfter(2, 1).left(10), "会员用户", false },
        { "business suffix", loginWith(3, dateAfter(0, 2), 1), true, "", true, "续费会员",
            dateAfter(0, 2).left(10), "高级会员 (商业授权版)", true },
        { "lifetime", loginWith(3, "2199-12-31 23:59:59"), true, "year+1", true, "续费会员", "终身会员",
            "终身会员", false },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        VipData::instance()->clear();
        VipData::instance()->parseLoginInfo(parseJsonText(row.login));
        data.set_data("end_time_limit", bg::Value(row.limit));
        bg::ValueMap options;
        options["show_vippay"] = bg::Value(row.showPay);
        dialog->setOptions(options);
        payButton()->setVisible(row.visibleBefore);
        dialog->updateInfo();
        EXPECT_EQ(payButton()->text(), QString::fromUtf8(row.payText));
        EXPECT_EQ(label("label_endtime")->text(), row.endText);
        EXPECT_EQ(label("label_user_vipname")->text(), row.vipName);
        EXPECT_EQ(!payButton()->isHidden(), row.payVisible);
        EXPECT_EQ(label("label_user_id")->text(), QString::fromStdString(VipData::instance()->userIdText()));
    }
}

// An id past 2^31 is shown and owns its orders whole.
TEST_F(AccountDialogTest, UserIdBeyond32BitsIsShownWhole)
{
    VipData::instance()->parseLoginInfo(parseJsonText(R"({"user_id": 2147483648})"));
    dialog->updateInfo();
    EXPECT_EQ(label("label_user_id")->text(), "2147483648");
    EXPECT_EQ(OrderMgr::instance()->createOrder(2, 1, 0, "x"), "2147483648-2-1");
    EXPECT_EQ(VipData::instance()->displayName(), "2147483648");
    VipData::instance()->parseLoginInfo(parseJsonText(R"({"user_id": 4294967297})"));
    EXPECT_EQ(OrderMgr::instance()->createOrder(2, 1, 0, "x"), "4294967297-2-1")
        << "no two accounts share an order key";
}

// A product-state reply that succeeds without a list of states changes nothing: not the level shown, not
// the state announced.
TEST_F(AccountDialogTest, RefreshWithoutAStateListChangesNothing)
{
    signIn("member", "member1234");
    dialog->updateInfo();
    const int level = VipData::instance()->productLevel();
    ASSERT_GT(level, 1);
    const QString shown = label("label_user_vipname")->text();
    const std::string path = "/goapi/user/getProductState";
    devservice::ScriptedReply notJson = devservice::ScriptedReply::success(Json::Value("<html>"));
    const devservice::ScriptedReply replies[]
        = { devservice::ScriptedReply::success(), devservice::ScriptedReply::success(Json::Value("{}")),
              notJson, devservice::ScriptedReply::success(Json::Value(R"({"product_level": 1})")) };
    QSignalSpy states(dialog.get(), &UserInfoDialog::sig_sendState);
    UserInfoDialog::setRefreshDelayMs(0);
    for (const devservice::ScriptedReply& reply : replies) {
        const int before = requestCount(path);
        service->script(path, reply);
        QTest::mouseClick(dialog->findChild<QToolButton*>("toolButton_refresh"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return requestCount(path) > before; }, 20000));
        QTest::qWait(300);
        EXPECT_EQ(VipData::instance()->productLevel(), level);
        EXPECT_EQ(label("label_user_vipname")->text(), shown);
    }
    EXPECT_EQ(states.count(), 0);
    UserInfoDialog::setRefreshDelayMs(2000);
}

TEST(StyleSheets, ScaledToTheDisplay)
{
    EXPECT_EQ(SkinMgr::scaleText("a{border:1px;width:325px;}\nb{margin: 12px 0 7px;}", 1.5),
        "a{border:1px;width:487px;}\nb{margin: 18px 0 10px;}");
    EXPECT_EQ(SkinMgr::scaleText("w:12345px;", 2.0), "w:14690px;")
        << "at most four digits belong to a length";

    Base::setDpiScaleOverride(1.0);
    QFile file(SkinMgr::styleSheetPath(5));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString verbatim = QString::fromUtf8(file.readAll());
    EXPECT_EQ(SkinMgr::instance()->scaleStyleSheet(SkinMgr::styleSheetPath(5)), verbatim);
    Base::setDpiScaleOverride(1.5);
    EXPECT_EQ(
        SkinMgr::instance()->scaleStyleSheet(SkinMgr::styleSheetPath(5)), SkinMgr::scaleText(verbatim, 1.5));
    EXPECT_TRUE(
        SkinMgr::instance()->scaleStyleSheet(SkinMgr::styleSheetPath(5)).contains("min-height: 45px"));
    EXPECT_EQ(SkinMgr::instance()->scaleStyleSheet(SkinMgr::styleSheetPath(1)), QString())
        << "kind without sheet";
    EXPECT_EQ(SkinMgr::instance()->scaleStyleSheet(":/qss/missing.css"), QString());
    Base::setDpiScaleOverride(0);
}

TEST_F(AccountDialogTest, LogoutClearsTheAccountThenSignals)
{
    signIn("demo", "demo1234");
    std::vector<std::string> order;
    QObject::connect(dialog.get(), &UserInfoDialog::sig_loginOut, [&] { order.push_back("loginOut"); });
    QObject::connect(dialog.get(), &UserInfoDialog::sig_sendState,
        [&] { order.push_back("sendState:" + VipData::instance()->userIdText()); });
    dialog->show();
    QTest::mouseClick(dialog->findChild<QToolButton*>("toolButton_loginout"), Qt::LeftButton);
    EXPECT_EQ(order, (std::vector<std::string> { "loginOut", "sendState:0" }));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(VipData::instance()->token().empty());
}

TEST_F(AccountDialogTest, RefreshAsksAtOnceFirstThenOncePerBurst)
{
    signIn("demo", "demo1234");
    UserInfoDialog::setRefreshDelayMs(300);
    const std::string path = "/goapi/user/getProductState";
    QSignalSpy states(dialog.get(), &UserInfoDialog::sig_sendState);
    auto* refresh = dialog->findChild<QToolButton*>("toolButton_refresh");
    QTest::mouseClick(refresh, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return states.count() == 1; }, 20000))
        << "the first click asks at once";
    EXPECT_EQ(requestCount(path), 1);

    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(refresh, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return states.count() == 2; }, 20000));
    QTest::qWait(500);
    EXPECT_EQ(requestCount(path), 2) << "three clicks in a burst ask once";
    EXPECT_EQ(states.count(), 2);
    UserInfoDialog::setRefreshDelayMs(2000);
}

TEST_F(AccountDialogTest, AvatarIsDownloadedBoundedAndMayOutliveItsForm)
{
    UserHeaderForm form;
    QSignalSpy loaded(&form, &UserHeaderForm::avatarLoaded);
    form.setAvatar(QString::fromStdString(service->baseUrl() + "/images/avatar.png"));
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_TRUE(loaded.at(0).at(0).toBool());
    EXPECT_EQ(form.avatar().size(), QSize(48, 48));

    devservice::Route huge;
    huge.signedBody = false;
    huge.handler = [](const devservice::RecordedRequest&) {
        devservice::ScriptedReply reply;
        reply.rawBody = std::string(3 * 1024 * 1024, 'x');
        reply.contentType = "image/png";
        return reply;
    };
    service->addRoute("/images/huge.png", huge);
    form.setAvatar(QString::fromStdString(service->baseUrl() + "/images/huge.png"));
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_FALSE(loaded.at(1).at(0).toBool()) << "more than 2 MiB is refused";
    EXPECT_EQ(form.avatar().size(), QSize(48, 48)) << "the previous picture stays";

    form.setAvatar("file:///etc/passwd");
    EXPECT_FALSE(loaded.wait(300)) << "only web addresses are downloaded";

    devservice::ScriptedReply slow = devservice::ScriptedReply::success();
    slow.delayMs = 500;
    service->script("/images/avatar.png", slow);
    auto* gone = new UserHeaderForm;
    gone->setAvatar(QString::fromStdString(service->baseUrl() + "/images/avatar.png"));
    delete gone;
    QTest::qWait(1500); // the download ends after its form: nothing is delivered to it
    EXPECT_EQ(requestCount("/images/avatar.png"), 2);
}
