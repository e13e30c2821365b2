// The account, purchase and payment success dialogs as the X server shows them, saved beside the test.
#include "ui/userpayform.h"
#include "ui/vippaydialog.h"
#include "ui/vippaysuccessdialog.h"
#include "ui/wechatalipayform.h"

#include "purchase_fixture.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

// The window as the screen shows it; fails the test when it is missing or all black.
QImage capture(QWidget* window, const char* file)
{
    window->show();
    window->raise();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window, 5000));
    QTest::qWait(200);
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage();
    EXPECT_FALSE(shot.isNull());
    shot.save(QStringLiteral(SCREENSHOT_DIR "/") + file);
    int dark = 0;
    for (int y = 0; y < shot.height(); y += 4) {
        for (int x = 0; x < shot.width(); x += 4)
            dark += qGray(shot.pixel(x, y)) < 16;
    }
    EXPECT_LT(dark, (shot.width() / 4) * (shot.height() / 4) / 2) << file << " is mostly black";
    return shot;
}

class PurchaseScreens : public PurchaseFixture { };

} // namespace

TEST_F(PurchaseScreens, AccountPurchaseAndSuccessDialogs)
{
    signIn("member", "member1234");
    {
        UserInfoDialog account;
        capture(&account, "memvia_userinfodialog.png");
        EXPECT_EQ(account.findChild<QLabel*>("label_user_username")->text(), "member");
    }
    {
        VipPayDialog purchase;
        purchase.show();
        WechatAliPayForm* form = purchase.personalPage()->payForm();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->shownKey(1).isEmpty(); }, 20000));
        const QImage shot = capture(&purchase, "memvia_vippaydialog.png");
        EXPECT_GE(shot.width(), 600);
    }
    {
        VipPaySuccessDialog success;
        ModalWatcher watcher([&](QDialog* dialog) { capture(dialog, "memvia_vippaysuccessdialog.png"); });
        success.slot_show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.seen; }, 20000));
    }
}
