// The QR-code area: its modes, and the picture fetched from the local service.
#include "ui/Dialog/qrcodewidget.h"

#include "Main/shell_env.h"

#include <devservice/service.h>

#include <bridge/abstract_logger.h>
#include <bridge/interface.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

std::string png(QColor color)
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

devservice::ScriptedReply picture(const std::string& body, int status = 200, int delayMs = 0)
{
    devservice::ScriptedReply reply;
    reply.rawBody = body;
    reply.status = status;
    reply.delayMs = delayMs;
    return reply;
}

std::string logText()
{
    std::fflush(CD->logger->file());
    QFile file(QString::fromStdString(CD->logger->path()));
    file.open(QIODevice::ReadOnly);
    return file.readAll().toStdString();
}

class QRCodeWidgetTest : public testing::Test {
protected:
    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = false;
        service = std::make_unique<devservice::Service>(options);
        devservice::Route route;
        route.signedBody = false;
        service->addRoute("/qr.png", route);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        url = QString::fromStdString(service->baseUrl() + "/qr.png");
        widget.resize(170, 170);
        widget.show();
    }
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }

    size_t downloads() const { return service->requests().size(); }

    std::unique_ptr<devservice::Service> service;
    QString url;
    QRCodeWidget widget;
};

TEST_F(QRCodeWidgetTest, APictureEndsTheLoadingLook)
{
    QSignalSpy states(&widget, &QRCodeWidget::sigState);
    widget.load(QRCodeWidget::Loading, QString());
    auto* gif = widget.findChild<QLabel*>("label_gif");
    ASSERT_NE(gif->movie(), nullptr);
    EXPECT_TRUE(gif->movie()->isValid()) << "the animation is in the resources";
    EXPECT_GT(gif->movie()->frameCount(), 1);
    EXPECT_EQ(gif->movie()->state(), QMovie::Running);

    service->script("/qr.png", picture(png(Qt::red)));
    widget.load(QRCodeWidget::Image, url.replace("http://", "HTTP://"));
    EXPECT_EQ(widget.mode(), QRCodeWidget::Loading) << "unchanged until the picture is there";
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget.mode() == QRCodeWidget::Image; }, 20000));
    EXPECT_EQ(states.count(), 1);
    EXPECT_EQ(states[0][0].toInt(), 0);
    EXPECT_FALSE(gif->isVisible());
    EXPECT_EQ(gif->movie()->state(), QMovie::NotRunning);
    EXPECT_EQ(widget.grab().toImage().pixelColor(85, 85), QColor(Qt::red)) << "the picture fills the widget";

    // The refresh prompt drops the picture and shows the note and its button.
    widget.load(QRCodeWidget::RefreshPrompt, QString());
    EXPECT_TRUE(widget.pixmap().isNull());
    const QImage prompt = widget.grab().toImage();
    EXPECT_TRUE(widget.findChild<QLabel*>("label_note")->isVisible());
    EXPECT_TRUE(widget.findChild<QToolButton*>("toolButton_login_qrcodeRefresh")->isVisible());
    EXPECT_EQ(prompt.pixelColor(0, 85), QColor(0xEE, 0xEE, 0xEE));

    widget.load(QRCodeWidget::Blank, QString());
    const QImage blank = widget.grab().toImage();
    EXPECT_EQ(blank.pixelColor(0, 85), QColor(Qt::white));
    EXPECT_FALSE(widget.findChild<QLabel*>("label_note")->isVisible());
}

TEST_F(QRCodeWidgetTest, OnlyWebAddressesAreFetched)
{
    for (const QString& address :
        { QString(), QStringLiteral("ftp://127.0.0.1/qr.png"), QStringLiteral("qr.png") }) {
        SCOPED_TRACE(address.toStdString());
        widget.load(QRCodeWidget::Image, address);
        EXPECT_EQ(widget.mode(), QRCodeWidget::Loading);
    }
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(downloads(), 0u);
}

TEST_F(QRCodeWidgetTest, FailuresKeepTheAnimationAndEmitNothing)
{
    QSignalSpy states(&widget, &QRCodeWidget::sigState);
    widget.load(QRCodeWidget::Loading, QString());
    service->script("/qr.png", picture("none", 404));
    widget.load(QRCodeWidget::Image, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return downloads() == 1; }, 20000));
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50);
    EXPECT_EQ(widget.mode(), QRCodeWidget::Loading);
    EXPECT_EQ(states.count(), 0);
    EXPECT_NE(logText().find("图片下载失败：" + url.toStdString()), std::string::npos);

    // A body that is no picture still switches to the (empty) picture and reports it.
    service->script("/qr.png", picture("not a picture"));
    widget.load(QRCodeWidget::Image, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget.mode() == QRCodeWidget::Image; }, 20000));
    EXPECT_TRUE(widget.pixmap().isNull());
    EXPECT_EQ(states.count(), 1);
}

TEST_F(QRCodeWidgetTest, TheNewestPictureWins)
{
    QSignalSpy states(&widget, &QRCodeWidget::sigState);
    service->script("/qr.png", picture(png(Qt::red), 200, 1500)); // slow, stale
    widget.load(QRCodeWidget::Image, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return downloads() == 1; }, 20000));
    service->script("/qr.png", picture(png(Qt::blue)));
    widget.load(QRCodeWidget::Image, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget.mode() == QRCodeWidget::Image; }, 20000));
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(100);
    EXPECT_EQ(widget.pixmap().toImage().pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(states.count(), 1);
}

TEST_F(QRCodeWidgetTest, RefreshButtonOnlyAsksForANewCode)
{
    QSignalSpy refresh(&widget, &QRCodeWidget::sigRefresh);
    QSignalSpy states(&widget, &QRCodeWidget::sigState);
    widget.load(QRCodeWidget::RefreshPrompt, QString());
    widget.repaint();
    QTest::mouseClick(widget.findChild<QToolButton*>("toolButton_login_qrcodeRefresh"), Qt::LeftButton);
    EXPECT_EQ(refresh.count(), 1);
    EXPECT_EQ(states.count(), 0);
    EXPECT_EQ(widget.mode(), QRCodeWidget::RefreshPrompt);
}

TEST(QRCodeWidgetLifetime, ADownloadThatOutlivesTheWidgetReachesNothing)
{
    devservice::Service::Options options;
    options.https = false;
    devservice::Service service(options);
    devservice::Route route;
    route.signedBody = false;
    service.addRoute("/qr.png", route);
    ASSERT_TRUE(service.start());
    service.script("/qr.png", picture(png(Qt::red), 200, 300));
    {
        QRCodeWidget widget;
        widget.load(QRCodeWidget::Image, QString::fromStdString(service.baseUrl() + "/qr.png"));
    }
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(100); // the hand-over to the GUI thread runs and finds no widget
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new BridgeEnvironment);
    return RUN_ALL_TESTS();
}
