// The login dialog when the membership plug-in is not loaded: the framework cannot deliver its commands.
#include "ui/Dialog/logindialog.h"

#include "win/qssmanager.h"

#include "Main/shell_env.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

TEST(LoginDialogWithoutPlugin, TheButtonComesBackWithAMessage)
{
    QssManager::setDpiScaleOverride(1.0);
    LoginDialog dialog;
    dialog.show();
    dialog.findChild<QLineEdit*>("lineEdit_user_name")->setText("demo");
    dialog.findChild<QLineEdit*>("lineEdit_pwd")->setText("demo1234");
    auto* button = dialog.findChild<QPushButton*>("pushButton_login");
    auto* error = dialog.findChild<QLabel*>("label_errmsg");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(error->isVisible());
    EXPECT_FALSE(error->text().isEmpty());

    QTest::mouseClick(dialog.findChild<QToolButton*>("toolButton_to_qrcode_login_page"), Qt::LeftButton);
    EXPECT_TRUE(error->isVisible()) << "the QR attempt cannot start either";
    QssManager::setDpiScaleOverride(0.0);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new BridgeEnvironment);
    return RUN_ALL_TESTS();
}
