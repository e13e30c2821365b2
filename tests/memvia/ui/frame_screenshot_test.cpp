// Pictures of the framed windows, kept in the build folder for a look, and checked where it matters: the
// header colour, the white card and the shadow band.
#include "ui/messageform.h"
#include "ui/titleheader.h"

#include "frame_fixture.h"

#include <QLabel>
#include <QMainWindow>

namespace {

QImage picture(QWidget& window, const char* name)
{
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grab().toImage();
    image.save(QStringLiteral(SCREENSHOT_DIR "/%1.png").arg(name));
    return image;
}

} // namespace

TEST_F(FrameTest, ScreenshotsOfFramedWindows)
{
    for (bool compositor : { true, false }) {
        SCOPED_TRACE(compositor);
        memvia::setCompositorOverride(compositor);
        const int s = compositor ? 5 : 0;

        MessageForm ask(1);
        ask.setWindowTitle("提示");
        ask.setText("确定要退出登录吗？");
        ask.resize(360, 200);
        const QImage askImage = picture(ask, compositor ? "messageform_ask_shadow" : "messageform_ask");
        EXPECT_EQ(askImage.pixelColor(s + 200, s + 5), QColor("#000000")) << "header in the theme colour";
        EXPECT_EQ(askImage.pixelColor(ask.width() / 2, ask.height() - s - 6), QColor(Qt::white)) << "white card";
        if (compositor) {
            // The shadow darkens towards the card and fades out at the window's edge.
            const int y = askImage.height() / 2;
            EXPECT_LT(askImage.pixelColor(0, y).alpha(), askImage.pixelColor(s - 1, y).alpha());
            EXPECT_GT(askImage.pixelColor(s - 1, y).alpha(), 10);
            EXPECT_LT(askImage.pixelColor(s - 1, y).alpha(), 80);
        }

        MessageForm notice(2);
        notice.setWindowTitle("提示");
        notice.setText("支付成功");
        notice.resize(300, 180);
        picture(notice, compositor ? "messageform_notice_shadow" : "messageform_notice");

        component.app->set_property("theme_color", bg::Value("#2a82e4"), false);
        QMainWindow main;
        main.setWindowTitle("会员中心");
        main.setWindowFlags(main.windowFlags() | Qt::WindowMinMaxButtonsHint);
        main.setCentralWidget(new QLabel("内容"));
        main.resize(480, 300);
        FramelessWidgetHelper::frame(&main);
        const QImage mainImage = picture(main, compositor ? "mainwindow_shadow" : "mainwindow");
        EXPECT_EQ(mainImage.pixelColor(s + 240, s + 5), QColor("#2a82e4"));
        EXPECT_EQ(mainImage.pixelColor(main.width() / 2, main.height() - s - 6), QColor(Qt::white));
        component.app->erase_property("theme_color");
    }
}
