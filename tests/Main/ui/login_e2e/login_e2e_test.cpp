// Sign-in from end to end: the login dialog, the real plug-in loaded by the framework, the local service.
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/qrcodewidget.h"
#include "ui/Dialog/viprightshowdialog.h"
#include "ui/mainwindow.h"

#include "global/customevents.h"
#include "Main/modal_closer.h"

#include "global/datakeys.h"
#include "global/loginkeys.h"
#include "win/qssmanager.h"

#include "Main/shell_env.h"

#include <devservice/service.h>

#include <bridge/abstract_config.h>
#include <bridge/abstract_logger.h>
#include <bridge/app.h>
#include <bridge/interface.h>
#include <bridge/dataauth.h>
#include <bridge/valuemap.h>

#pragma push_macro("emit")
#undef emit
#include <bridge/signal.h>
#pragma pop_macro("emit")

#include <korvex/zovnet.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <zbar.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

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

std::string config(const char* key)
{
    bool found = false;
    const std::string value = CD->config->get(key, &found);
    return found ? value : "<missing>";
}

// The text of the QR code in a picture, as a phone's camera reads it.
std::string readQrCode(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    std::string pixels;
    for (int y = 0; y < grey.height(); ++y)
        pixels.append(reinterpret_cast<const char*>(grey.constScanLine(y)), size_t(grey.width()));
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(unsigned(grey.width()), unsigned(grey.height()), "Y800", pixels.data(), pixels.size());
    if (scanner.scan(image) <= 0)
        return std::string();
    return image.symbol_begin()->get_data();
}

std::string logText()
{
    std::fflush(CD->logger->file());
    QFile file(QString::fromStdString(CD->logger->path()));
    file.open(QIODevice::ReadOnly);
    return file.readAll().toStdString();
}

class LoginEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        QssManager::setDpiScaleOverride(1.0);
        LoginDialog::setAutoLoginDelayMs(60 * 60 * 1000);
        for (const char* key : { kCfgKeyAuto, kCfgAccount, kCfgPassword })
            CD->config->remove(key);
    }
    void TearDown() override
    {
        CD->send("Memvia", 310, bg::Value(), {});
        QssManager::setDpiScaleOverride(0.0);
    }
};

TEST_F(LoginEndToEnd, PasswordSignInThenLogoutTurnsAutomaticSignInOff)
{
    LoginDialog dialog;
    dialog.show();
    QSignalSpy refreshed(&dialog, &LoginDialog::sig_RefreshVIP);
    dialog.findChild<QCheckBox*>("checkBox_autologin")->setChecked(true);
    dialog.findChild<QLineEdit*>("lineEdit_user_name")->setText("demo");
    dialog.findChild<QLineEdit*>("lineEdit_pwd")->setText("demo1234");
    QTest::mouseClick(dialog.findChild<QPushButton*>("pushButton_login"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshed.count() == 1; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
    EXPECT_EQ(CD->data->get_data(kDataUserId, bg::Value()).toInt64(), 10001);
    EXPECT_EQ(config(kCfgKeyAuto), "1");
    EXPECT_EQ(config(kCfgPassword), "6e9bece1914809fb8493146417e722f6");
    struct stat info = {};
    ASSERT_EQ(::stat(CD->config->path(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Logging out: the plug-in forgets the account and the program passes the empty account on.
    std::string signedOut;
    CD->send("Memvia", 310, bg::Value(), [&](const bg::Value& reply) {
        signedOut = reply.toMap().get_data("result", bg::Value("")).toStdString();
    });
    ASSERT_FALSE(signedOut.empty());
    CD->signal->emit_value(kSignalVipState, bg::Value(signedOut));
    EXPECT_EQ(CD->data->get_data(kDataUserId, bg::Value(7LL)).toInt64(), 0);
    EXPECT_EQ(config(kCfgKeyAuto), "0");
    EXPECT_EQ(config(kCfgPassword), "");

    const std::string log = logText();
    EXPECT_EQ(log.find("6e9bece1914809fb8493146417e722f6"), std::string::npos) << "the digest";
    EXPECT_EQ(log.find("tok-demo"), std::string::npos) << "the token";
}

TEST_F(LoginEndToEnd, QrSignInByScanningThePicture)
{
    LoginDialog dialog;
    dialog.show();
    QSignalSpy refreshed(&dialog, &LoginDialog::sig_RefreshVIP);
    QTest::mouseClick(dialog.findChild<QToolButton*>("toolButton_to_qrcode_login_page"), Qt::LeftButton);
    auto* widget = dialog.findChild<QRCodeWidget*>("widget_qrcode");
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget->mode() == QRCodeWidget::Image; }, 20000));
    const std::string confirmPage = readQrCode(widget->pixmap().toImage());
    ASSERT_EQ(confirmPage.rfind(service->baseUrl(), 0), 0u) << confirmPage;

    Zov_Client::ZovNet phone { std::string() };
    ASSERT_EQ(phone.get(confirmPage).status, 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshed.count() == 1; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
    EXPECT_EQ(CD->data->get_data(kDataUserId, bg::Value()).toInt64(), 10001);
    EXPECT_EQ(config(kCfgPassword), "");
    EXPECT_EQ(logText().find("wx-qr"), std::string::npos) << "the WeChat code";
}

TEST_F(LoginEndToEnd, PayEventForANonMemberLeadsThroughTheRightsToThePurchaseDialog)
{
    LoginDialog dialog;
    dialog.show();
    QSignalSpy refreshed(&dialog, &LoginDialog::sig_RefreshVIP);
    dialog.findChild<QLineEdit*>("lineEdit_user_name")->setText("demo");
    dialog.findChild<QLineEdit*>("lineEdit_pwd")->setText("demo1234");
    QTest::mouseClick(dialog.findChild<QPushButton*>("pushButton_login"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshed.count() == 1; }, 20000));
    ASSERT_EQ(CD->data->get_data(kDataUserLevel, bg::Value(0)).toInt(), 1) << "demo is no member";

    VIPRightShowDialog::setRightsSource([](VIPRightShowDialog::Rights& rights, QString& brief) {
        rights = { { "直播", "1" } };
        brief = "权益";
    });
    MainWindow window;
    window.show();
    QByteArray modal;
    ModalCloser closer([&](QDialog* rights) {
        modal = rights->metaObject()->className();
        QTest::mouseClick(rights->findChild<QPushButton*>("pushButton_pay_now"), Qt::LeftButton);
    });
    PayEvent pay;
    QCoreApplication::sendEvent(&window, &pay);
    VIPRightShowDialog::setRightsSource({});
    EXPECT_EQ(modal, "VIPRightShowDialog");

    QDialog* purchase = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (QByteArray(widget->metaObject()->className()) == "VipPayDialog" && widget->isVisible())
            purchase = qobject_cast<QDialog*>(widget);
    }
    ASSERT_NE(purchase, nullptr) << "command 220 opened the purchase dialog";
    EXPECT_EQ(purchase->parentWidget(), &window);
    auto* code = purchase->findChild<QWidget*>("widget_userPay")->findChild<QLabel*>("label_payqrcode_wc");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !code->pixmap(Qt::ReturnByValue).isNull(); }, 20000));
    purchase->close();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new PluginEnvironment);
    return RUN_ALL_TESTS();
}
