#include "ui/Dialog/openphonecloudmeetingdialog.h"

#include "dialog_test_support.h"

#include "Main/event_recorder.h"
#include "Main/modal_closer.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Makes `host` the application configuration's "play_host", as a successful reply would.
void setPlayHost(const QString& host)
{
    const QJsonObject rights { { "brief", "" } };
    const QJsonObject configs { { "play_host", host }, { "vip_rights", rights } };
    const QJsonObject root { { "configs", configs } };
    app()->onAppConfigResult(true, QString::fromUtf8(QJsonDocument(root).toJson()), 0, QString());
}

class OpenPhoneCloudMeetingDialogTest : public testing::Test {
protected:
    void TearDown() override { setPlayHost(QString()); }
};

TEST_F(OpenPhoneCloudMeetingDialogTest, CopiesTheLinkVerbatimAndConfirmsForTwoSeconds)
{
    const QString links[] = {
        QStringLiteral("https://m.example.com/phone?id=1&k=2"),
        QString(),
        QStringLiteral("  <b>bold</b> <a href=\"x\">y</a>  "),
    };
    for (const QString& link : links) {
        SCOPED_TRACE(link.toStdString());
        setPlayHost(link);
        QApplication::clipboard()->setText(QStringLiteral("before"));
        OpenPhoneCloudMeetingDialog dialog;
        dialog.show();
        auto* label = child<QLabel>(dialog, "label_vip_links");
        auto* copy = child<QPushButton>(dialog, "pushButton_copy_links");
        EXPECT_EQ(label->text(), link);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(copy->property("clicktype"), QVariant(QStringLiteral("default")));

        QTest::mouseClick(copy, Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text(), link);
        EXPECT_FALSE(copy->isEnabled());
        EXPECT_EQ(copy->text(), QStringLiteral("链接已复制"));
        EXPECT_EQ(copy->property("clicktype"), QVariant(QStringLiteral("copy")));
    }
}

TEST_F(OpenPhoneCloudMeetingDialogTest, CopyButtonIsRestoredAfterTwoSeconds)
{
    OpenPhoneCloudMeetingDialog dialog;
    dialog.show();
    auto* copy = child<QPushButton>(dialog, "pushButton_copy_links");
    const QColor ready = copy->palette().color(QPalette::ButtonText);
    QTest::mouseClick(copy, Qt::LeftButton);
    // The style sheet keys the colour on the property: green while copied.
    EXPECT_EQ(copy->palette().color(QPalette::Disabled, QPalette::ButtonText), QColor(0x00, 0x80, 0x00));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(waitUntil([&] { return copy->isEnabled(); }, 5000));
    EXPECT_GE(clock.elapsed(), 1900);
    EXPECT_EQ(copy->text(), QStringLiteral("复制链接"));
    EXPECT_EQ(copy->property("clicktype"), QVariant(QStringLiteral("default")));
    EXPECT_EQ(copy->palette().color(QPalette::ButtonText), ready);
}

TEST_F(OpenPhoneCloudMeetingDialogTest, ClosingWithinTheTwoSecondsIsSafe)
{
    setPlayHost(QStringLiteral("https://m.example.com/p"));
    auto* dialog = new OpenPhoneCloudMeetingDialog;
    QPointer<OpenPhoneCloudMeetingDialog> watched(dialog);
    ModalCloser closer([&](QDialog*) {
        QTest::mouseClick(child<QPushButton>(*dialog, "pushButton_copy_links"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(*dialog, "pushButton_close"), Qt::LeftButton);
    });
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    QElapsedTimer clock;
    clock.start();
    delete dialog;
    // Past the moment the restore was due: nothing runs on the destroyed dialog, the clipboard keeps the
    // link.
    EXPECT_TRUE(waitUntil([&] { return clock.elapsed() > 2300; }, 5000));
    EXPECT_TRUE(watched.isNull());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("https://m.example.com/p"));
}

TEST_F(OpenPhoneCloudMeetingDialogTest, ScaledFramelessWindowWhoseWholeAreaDrags)
{
    const struct {
        double scale;
        QSize size;
        int title;
    } cases[] = { { 1.0, { 430, 170 }, 30 }, { 1.5, { 645, 255 }, 45 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        OpenPhoneCloudMeetingDialog dialog;
        EXPECT_EQ(dialog.minimumSize(), c.size);
        EXPECT_EQ(dialog.maximumSize(), c.size);
        EXPECT_EQ(child(dialog, "widget_title")->height(), c.title);
        EXPECT_EQ(dialog.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        EXPECT_EQ(dialog.property("header_height"), QVariant(c.size.height()));
        EXPECT_EQ(dialog.property("header_visible"), QVariant(false));
        EXPECT_EQ(dialog.property("header_btns").value<QList<QObject*>>(),
            (QList<QObject*> { child(dialog, "pushButton_close"), child(dialog, "pushButton_copy_links") }));
    }
}

} // namespace
