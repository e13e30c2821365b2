// Each dialog on a real X server, captured from the screen and kept as an artefact of the build.
#include "ui/Dialog/copysharetipsdialog.h"
#include "ui/Dialog/firsttooltipsform.h"
#include "ui/Dialog/helphowtousedialog.h"
#include "ui/Dialog/openphonecloudmeetingdialog.h"
#include "ui/Dialog/settingdialog.h"
#include "ui/Dialog/viprightshowdialog.h"

#include "Main/shell_env.h"

#include <bridge/app.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const auto* const bridge = testing::AddGlobalTestEnvironment(new BridgeEnvironment);

QImage capture(QWidget& window, const char* name)
{
    window.move(60, 60);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name))));
    return shot.toImage();
}

QRgb at(const QImage& image, QWidget& window, const char* name, QPoint offset = QPoint(2, 2))
{
    auto* widget = window.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget ? image.pixel(widget->mapTo(&window, offset)) & 0xffffff : 0;
}

TEST(DialogScreenshots, SettingDialogBothPages)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    CD->app->set_version("1.0.0");
    CD->data->set_data("user_meeting_host", bg::Value("https://room.example.com:4433"));
    SettingDialog dialog;
    dialog.updateMeetingHost();
    QImage general = capture(dialog, "settingdialog_general");
    EXPECT_EQ(general.size(), dialog.size());
    EXPECT_EQ(at(general, dialog, "widget_set_title"), 0x202020u);
    EXPECT_EQ(at(general, dialog, "page_general", QPoint(1, 1)), 0xf5f5f5u);
    EXPECT_EQ(at(general, dialog, "comboBox_sd_size", QPoint(20, 16)), 0xffffffu);

    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("pushButton_aboutus")), Qt::LeftButton);
    QTest::qWait(50);
    QImage about = capture(dialog, "settingdialog_about");
    EXPECT_EQ(at(about, dialog, "page_aboutus", QPoint(1, 1)), 0xf5f5f5u);
}

TEST(DialogScreenshots, CopyNoteHelpAndPhoneLink)
{
    CopyShareTipsDialog note;
    QImage image = capture(note, "copysharetipsdialog");
    EXPECT_EQ(image.pixel(3, 3) & 0xffffff, 0xf5f5f5u);
    EXPECT_EQ(at(image, note, "pushButton_ok", QPoint(8, 20)), 0x3597ffu);

    HelpHowToUseDialog help;
    image = capture(help, "helphowtousedialog");
    EXPECT_EQ(image.pixel(3, 3) & 0xffffff, 0x202020u);
    EXPECT_EQ(at(image, help, "widget_help_main", QPoint(3, 3)), 0xffffffu);

    OpenPhoneCloudMeetingDialog phone;
    image = capture(phone, "openphonecloudmeetingdialog");
    EXPECT_EQ(image.pixel(3, 3) & 0xffffff, 0xffffffu);
}

TEST(DialogScreenshots, FirstUseBubble)
{
    // A grey backdrop shows what the bubble's mask leaves out.
    QWidget backdrop;
    backdrop.setStyleSheet(QStringLiteral("background: #808080;"));
    backdrop.setGeometry(40, 40, 400, 200);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    FirstTooltipsForm bubble(&backdrop);
    bubble.move(100, 100);
    bubble.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bubble));
    QTest::qWait(50);
    // What the screen shows where the bubble is: a masked window's own contents say nothing about that.
    const QRect area = bubble.frameGeometry();
    const QPixmap shot
        = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    ASSERT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/firsttooltipsform.png")));
    const QImage image = shot.toImage();
    const int w = bubble.width();
    const int h = bubble.height();
    EXPECT_EQ(image.pixel(12, h / 2) & 0xffffff, 0xffffffu);
    // Outside body and arrow the backdrop shows through: no black box without a compositing manager.
    EXPECT_EQ(image.pixel(2, 2) & 0xffffff, 0x808080u);
    EXPECT_EQ(image.pixel(w - 3, h - 3) & 0xffffff, 0x808080u);
    EXPECT_EQ(image.pixel(w / 2, 4) & 0xffffff, 0xffffffu) << "the arrow";
    EXPECT_GE(h, 47) << "the content keeps its 15 px margins";
}

} // namespace

TEST(DialogScreenshots, MembershipRights)
{
    VIPRightShowDialog::setRightsSource([](VIPRightShowDialog::Rights& rights, QString& brief) {
        rights = { { QStringLiteral("直播人数"), QStringLiteral("50人") }, { QStringLiteral("屏幕共享"), QStringLiteral("1") },
            { QStringLiteral("录制"), QStringLiteral("1") } };
        brief = QStringLiteral("了解更多会员权益");
    });
    VIPRightShowDialog rights;
    rights.adjustSize();
    const QImage image = capture(rights, "viprightshowdialog");
    VIPRightShowDialog::setRightsSource({});
    EXPECT_EQ(image.pixel(3, 3) & 0xffffff, 0x202020u);
    EXPECT_EQ(at(image, rights, "widget_main", QPoint(3, 3)), 0xffffffu);
}
