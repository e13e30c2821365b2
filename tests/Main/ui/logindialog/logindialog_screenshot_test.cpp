// The login dialog on a real X server, both pages, as the user sees them: saved as screenshots and checked
// for a painted, unclipped window.
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/qrcodewidget.h"

#include "win/qssmanager.h"

#include "Main/shell_env.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// The share of pixels that are near black.
double blackShare(const QImage& image)
{
    int black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            black += qGray(image.pixel(x, y)) < 16 ? 1 : 0;
    }
    return double(black) / (image.width() * image.height());
}

QImage screenshot(QWidget& window, const char* name)
{
    QTest::qWait(300);
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, origin.x(), origin.y(), window.width(), window.height())
                             .toImage();
    image.save(QStringLiteral(SCREENSHOT_DIR "/%1.png").arg(name));
    return image;
}

TEST(LoginDialogScreenshot, BothPagesArePaintedWhole)
{
    QssManager::setDpiScaleOverride(1.0);
    LoginDialog::setAutoLoginDelayMs(60 * 60 * 1000);
    LoginDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.findChild<QLineEdit*>("lineEdit_user_name")->setText("demo");
    const QImage password = screenshot(dialog, "logindialog_password");
    EXPECT_EQ(password.size(), QSize(340, 380));
    // The dark title strip on top, a white body below it.
    EXPECT_LT(qGray(password.pixel(10, 10)), 60);
    EXPECT_EQ(password.pixelColor(10, 200), QColor(Qt::white));
    EXPECT_LT(blackShare(password), 0.2);
    auto* login = dialog.findChild<QPushButton*>("pushButton_login");
    EXPECT_TRUE(dialog.rect().contains(QRect(login->mapTo(&dialog, QPoint(0, 0)), login->size())))
        << "the login button is inside the window";
    EXPECT_EQ(password.pixelColor(login->mapTo(&dialog, login->rect().center()) + QPoint(-40, 0)),
        QColor(0x27, 0x9F, 0xFD));

    QTest::mouseClick(dialog.findChild<QToolButton*>("toolButton_to_qrcode_login_page"), Qt::LeftButton);
    auto* qr = dialog.findChild<QRCodeWidget*>("widget_qrcode");
    qr->load(QRCodeWidget::RefreshPrompt, QString());
    const QImage prompt = screenshot(dialog, "logindialog_qrcode");
    EXPECT_EQ(qr->size(), QSize(170, 170));
    EXPECT_TRUE(dialog.rect().contains(QRect(qr->mapTo(&dialog, QPoint(0, 0)), qr->size())));
    EXPECT_LT(blackShare(prompt), 0.2);
    QssManager::setDpiScaleOverride(0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new BridgeEnvironment);
    return RUN_ALL_TESTS();
}
