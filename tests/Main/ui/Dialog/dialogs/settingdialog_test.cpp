#include "ui/Dialog/settingdialog.h"

#include "dialog_test_support.h"

#include "global/urlopener.h"

#include "Main/modal_closer.h"

#include <bridge/abstract_config.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

namespace {

const char* const kVideoKeys[] = { "video.size", "video.fps", "video.keyframe.sec", "video.encoder",
    "meeting.key.head", "meeting.key.body" };

std::optional<std::string> stored(const char* key)
{
    bool found = false;
    const std::string value = CD->config->get(key, &found);
    return found ? std::optional<std::string>(value) : std::nullopt;
}

class SettingDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* key : kVideoKeys)
            CD->config->remove(key);
        CD->data->set_data("user_meeting_host", bg::Value(""));
    }

    QString comboText(SettingDialog& dialog, const char* name)
    {
        return child<QComboBox>(dialog, name)->currentText();
    }

    // Runs exec() and hands the open dialog to `act`; whatever is still open afterwards is rejected.
    int run(SettingDialog& dialog, std::function<void()> act)
    {
        ModalCloser closer([&](QDialog* open) {
            EXPECT_EQ(open, &dialog);
            if (act)
                act();
        });
        const int result = dialog.exec();
        EXPECT_TRUE(closer.seen);
        return result;
    }
};

TEST_F(SettingDialogTest, EmptyStoreShowsTheDefaultsAndTheFirstCloseStoresWhatWasShown)
{
    SettingDialog dialog;
    EXPECT_EQ(comboText(dialog, "comboBox_sd_size"), QStringLiteral("1280x720"));
    EXPECT_EQ(comboText(dialog, "comboBox_sd_frame_rate"), QStringLiteral("30"));
    EXPECT_EQ(comboText(dialog, "comboBox_sd_keyframe_src"), QStringLiteral("2"));
    EXPECT_EQ(comboText(dialog, "comboBox_encoder"), QStringLiteral("硬件编码"));
    EXPECT_TRUE(child<QLineEdit>(dialog, "lineEdit_meeting_key_head")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>(dialog, "lineEdit_meeting_key_body")->text().isEmpty());
    // Missing keys get their defaults at once; the key frame is stored as 3 until the dialog closes.
    EXPECT_EQ(stored("video.keyframe.sec"), "3");
    EXPECT_EQ(stored("meeting.key.head"), "");

    run(dialog, {});
    const std::pair<const char*, const char*> expected[]
        = { { "video.size", "1280,720" }, { "video.fps", "30" }, { "video.keyframe.sec", "2" },
              { "video.encoder", "1" }, { "meeting.key.head", "" }, { "meeting.key.body", "" } };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(stored(key), value) << key;

    // The close saved the store: the file holds the key frame as closed.
    QFile file(QString::fromUtf8(CD->config->path()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.contains("video.keyframe.sec")) << saved.constData();
}

TEST_F(SettingDialogTest, StoredValuesAreShownAndUnknownOnesFallBackToAnItem)
{
    const struct {
        const char* key;
        const char* value;
        const char* combo;
        const char* shown;
        const char* closedAs;
    } cases[] = {
        { "video.fps", "24", "comboBox_sd_frame_rate", "20", "20" },
        { "video.fps", "25", "comboBox_sd_frame_rate", "25", "25" },
        { "video.size", "960,540", "comboBox_sd_size", "960x540", "960,540" },
        { "video.size", "540x960", "comboBox_sd_size", "540x960", "540,960" },
        { "video.size", "800,600", "comboBox_sd_size", "1280x720", "1280,720" },
        { "video.keyframe.sec", "1", "comboBox_sd_keyframe_src", "1", "1" },
        { "video.keyframe.sec", "0", "comboBox_sd_keyframe_src", "1", "1" },
        { "video.keyframe.sec", "7", "comboBox_sd_keyframe_src", "2", "2" },
        { "video.encoder", "0", "comboBox_encoder", "x264软编码", "0" },
        { "video.encoder", "5", "comboBox_encoder", "硬件编码", "1" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        SetUp();
        CD->config->set(c.key, c.value);
        SettingDialog dialog;
        EXPECT_EQ(comboText(dialog, c.combo), QString::fromUtf8(c.shown));
        run(dialog, {});
        EXPECT_EQ(stored(c.key), c.closedAs);
    }
}

TEST_F(SettingDialogTest, CloseButtonRefusesAHalfRoomNumberAndKeepsTheStoredOne)
{
    const struct {
        const char* head;
        const char* body;
        bool closes;
    } cases[] = {
        { "ab", "", false },
        { "abc", "1234", false },
        { "", "12345", false },
        { "abc", "12345", true },
        { "XyZ", "00000", true },
        { "", "", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.head) + "-" + c.body);
        SetUp();
        CD->config->set("meeting.key.head", "old");
        CD->config->set("meeting.key.body", "99999");
        SettingDialog dialog;
        MessageLog log;
        bool stayedOpen = false;
        const int result = run(dialog, [&] {
            auto* head = child<QLineEdit>(dialog, "lineEdit_meeting_key_head");
            auto* body = child<QLineEdit>(dialog, "lineEdit_meeting_key_body");
            head->clear();
            body->clear();
            QTest::keyClicks(head, QString::fromLatin1(c.head));
            QTest::keyClicks(body, QString::fromLatin1(c.body));
            QTest::mouseClick(child<QPushButton>(dialog, "pushButton_close"), Qt::LeftButton);
            stayedOpen = dialog.isVisible();
        });
        EXPECT_EQ(stayedOpen, !c.closes);
        EXPECT_EQ(result, c.closes ? QDialog::Accepted : QDialog::Rejected);
        if (c.closes) {
            EXPECT_TRUE(log.messages.isEmpty());
            EXPECT_EQ(stored("meeting.key.head"), c.head);
            EXPECT_EQ(stored("meeting.key.body"), c.body);
        } else {
            const QVector<ShownMessage> refusal { { QStringLiteral("提示"),
                QStringLiteral("请先完成直播号设置"), 1 } };
            EXPECT_EQ(log.messages, refusal);
            // Dismissed with Escape afterwards: the half number is neither stored nor lost from the fields.
            EXPECT_EQ(stored("meeting.key.head"), "old");
            EXPECT_EQ(stored("meeting.key.body"), "99999");
            EXPECT_EQ(
                child<QLineEdit>(dialog, "lineEdit_meeting_key_head")->text(), QString::fromLatin1(c.head));
        }
    }
}

TEST_F(SettingDialogTest, ValidatorsLetOnlyARoomNumberBeTyped)
{
    SettingDialog dialog;
    auto* head = child<QLineEdit>(dialog, "lineEdit_meeting_key_head");
    auto* body = child<QLineEdit>(dialog, "lineEdit_meeting_key_body");
    QTest::keyClicks(head, QStringLiteral("a1bCde"));
    QTest::keyClicks(body, QStringLiteral("12x34567"));
    EXPECT_EQ(head->text(), QStringLiteral("abC"));
    EXPECT_EQ(body->text(), QStringLiteral("12345"));
    EXPECT_EQ(head->placeholderText(), QStringLiteral("3位字母"));
    EXPECT_EQ(body->placeholderText(), QStringLiteral("5位数字"));
}

TEST_F(SettingDialogTest, ClearThenCloseStoresAnEmptyRoomNumber)
{
    CD->config->set("meeting.key.head", "abc");
    CD->config->set("meeting.key.body", "12345");
    SettingDialog dialog;
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_meeting_key_head")->text(), QStringLiteral("abc"));
    const int result = run(dialog, [&] {
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_meeting_key_clear"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_close"), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(stored("meeting.key.head"), "");
    EXPECT_EQ(stored("meeting.key.body"), "");
}

// Escape skips the close button's check. The video settings are written all the same; the room number
// only when it is complete or empty.
TEST_F(SettingDialogTest, EscapeWritesBackButNeverAHalfRoomNumber)
{
    const struct {
        const char* head;
        const char* body;
        const char* storedHead;
        const char* storedBody;
    } cases[] = {
        { "ab", "", "xyz", "54321" },
        { "abc", "123", "xyz", "54321" },
        { "abc", "12345", "abc", "12345" },
        { "", "", "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.head) + "-" + c.body);
        SetUp();
        CD->config->set("meeting.key.head", "xyz");
        CD->config->set("meeting.key.body", "54321");
        SettingDialog dialog;
        MessageLog log;
        const int result = run(dialog, [&] {
            auto* head = child<QLineEdit>(dialog, "lineEdit_meeting_key_head");
            auto* body = child<QLineEdit>(dialog, "lineEdit_meeting_key_body");
            head->clear();
            body->clear();
            QTest::keyClicks(head, QString::fromLatin1(c.head));
            QTest::keyClicks(body, QString::fromLatin1(c.body));
            child<QComboBox>(dialog, "comboBox_sd_frame_rate")->setCurrentIndex(1);
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(log.messages.isEmpty());
        EXPECT_EQ(stored("video.fps"), "25");
        EXPECT_EQ(stored("meeting.key.head"), c.storedHead);
        EXPECT_EQ(stored("meeting.key.body"), c.storedBody);
    }
}

TEST_F(SettingDialogTest, CheckMeetingHost)
{
    const struct {
        const char* account;
        const char* typed;
        bool applies;
        bool matches;
        const char* host;
    } cases[] = {
        { "", "https://room.test", false, true, "" },
        { "https://room.test:4433", "  https://room.test:4433\t", true, true, "https://room.test:4433" },
        { "https://room.test:4433", "https://room.test:4433", true, true, "https://room.test:4433" },
        { "https://room.test:4433", "HTTPS://ROOM.TEST:4433", true, false, "" },
        { "https://room.test:4433", "https://other.test", true, false, "" },
        { "https://room.test:4433", "", true, false, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.account) + " / " + c.typed);
        CD->data->set_data("user_meeting_host", bg::Value(c.account));
        SettingDialog dialog;
        dialog.updateMeetingHost();
        dialog.show();
        EXPECT_EQ(child(dialog, "frame_user_meeting_host")->isVisible(), c.applies);
        EXPECT_EQ(child(dialog, "label_setting_general_host")->isVisible(), c.applies);
        EXPECT_FALSE(child(dialog, "label_setting_user_host")->isVisible());
        child<QLineEdit>(dialog, "lineEdit_host_ip")->setText(QString::fromLatin1(c.typed));

        // The caller's presets, as the new-meeting form makes them.
        bool matches = true;
        QString host;
        EXPECT_EQ(dialog.checkMeetingHost(&matches, &host), c.applies);
        EXPECT_EQ(matches, c.matches);
        EXPECT_EQ(host, QString::fromLatin1(c.host));
    }
}

TEST_F(SettingDialogTest, HostLabelRevealsTheAccountAddressAfterFiveLeftPresses)
{
    CD->data->set_data("user_meeting_host", bg::Value("https://room.test:4433"));
    SettingDialog dialog;
    dialog.updateMeetingHost();
    dialog.show();
    auto* label = child(dialog, "label_setting_general_host");
    auto* address = child<QLabel>(dialog, "label_setting_user_host");
    const auto press = [&](int times, Qt::MouseButton button) {
        for (int i = 0; i < times; ++i)
            QTest::mousePress(label, button);
    };
    press(4, Qt::LeftButton);
    press(3, Qt::RightButton);
    EXPECT_FALSE(address->isVisible());
    press(1, Qt::LeftButton);
    EXPECT_TRUE(address->isVisible());
    EXPECT_EQ(address->text(), QStringLiteral("https://room.test:4433"));
    EXPECT_EQ(address->textFormat(), Qt::PlainText);
    press(4, Qt::LeftButton);
    EXPECT_TRUE(address->isVisible());
    press(1, Qt::LeftButton);
    EXPECT_FALSE(address->isVisible());

    // Without an address the gesture shows nothing.
    CD->data->set_data("user_meeting_host", bg::Value(""));
    dialog.updateMeetingHost();
    label->show();
    press(5, Qt::LeftButton);
    EXPECT_FALSE(address->isVisible());
}

TEST_F(SettingDialogTest, AboutPageShowsTheVersionAndOpensTheWebsiteLinks)
{
    SettingDialog dialog;
    dialog.show();
    EXPECT_EQ(child<QStackedWidget>(dialog, "stackedWidget")->currentIndex(), 0);
    QTest::mouseClick(child(dialog, "pushButton_aboutus"), Qt::LeftButton);
    EXPECT_EQ(child<QStackedWidget>(dialog, "stackedWidget")->currentWidget(), child(dialog, "page_aboutus"));
    EXPECT_EQ(child<QLabel>(dialog, "label_aud_version")->text(), QStringLiteral("v1.0.0"));

    QStringList opened;
    setUrlOpener([&](const QUrl& url) {
        opened << url.toString();
        return true;
    });
    // The website follows the deployment: the tests' service address replaces the built-in one.
    const struct {
        const char* label;
        const char* url;
    } links[] = {
        { "label_aud_agreement", "http://127.0.0.1:9/user_agreement.html" },
        { "label_aud_policy", "http://127.0.0.1:9/privacy_policy.html" },
        { "label_aud_more", "http://127.0.0.1:9" },
    };
    for (const auto& link : links) {
        auto* label = child<QLabel>(dialog, link.label);
        const QString html = label->text();
        const int start = html.indexOf(QLatin1String("href=\"")) + 6;
        const QString href = html.mid(start, html.indexOf(QLatin1Char('"'), start) - start);
        EXPECT_EQ(href, QString::fromLatin1(link.url));
        emit label->linkActivated(href);
    }
    setUrlOpener([](const QUrl&) { return false; });
    EXPECT_EQ(opened,
        QStringList({ "http://127.0.0.1:9/user_agreement.html", "http://127.0.0.1:9/privacy_policy.html",
            "http://127.0.0.1:9" }));
    EXPECT_TRUE(
        child<QLabel>(dialog, "label_aud_more")->text().contains(QStringLiteral("127.0.0.1:9</span>")));
}

TEST_F(SettingDialogTest, LinkThatNoBrowserOpensIsShownForCopying)
{
    SettingDialog dialog;
    QString title, address, label;
    QSize size;
    ModalCloser closer([&](QDialog* open) {
        auto* input = qobject_cast<QInputDialog*>(open);
        ASSERT_NE(input, nullptr);
        title = input->windowTitle();
        address = input->textValue();
        label = input->labelText();
        size = input->size();
        EXPECT_EQ(input->parentWidget(), &dialog);
    });
    dialog.slot_openUrl(QStringLiteral("https://www.example.com/user_agreement.html"));
    EXPECT_TRUE(closer.seen);
    EXPECT_EQ(title, QStringLiteral("启动默认浏览器失败"));
    EXPECT_EQ(label, QStringLiteral("复制以下地址到浏览器中打开:"));
    EXPECT_EQ(address, QStringLiteral("https://www.example.com/user_agreement.html"));
    EXPECT_EQ(size, QSize(350, 100));
}

TEST_F(SettingDialogTest, ScaledFramelessWindowWithItsHeader)
{
    const struct {
        double scale;
        QSize size;
        int title;
    } cases[] = { { 1.0, { 527, 440 }, 40 }, { 1.5, { 791, 660 }, 60 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        SettingDialog dialog;
        EXPECT_EQ(dialog.minimumSize(), c.size);
        EXPECT_EQ(dialog.maximumSize(), c.size);
        EXPECT_EQ(child(dialog, "widget_set_title")->height(), c.title);
        EXPECT_EQ(dialog.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        EXPECT_EQ(dialog.property("header_height"), QVariant(c.title));
        EXPECT_EQ(dialog.property("header_visible"), QVariant(false));
        EXPECT_EQ(dialog.property("header_btns").value<QList<QObject*>>(),
            QList<QObject*> { child(dialog, "pushButton_close") });
    }
}

TEST_F(SettingDialogTest, WhatIsButtonShowsItsToolTip)
{
    SettingDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* whatis = child(dialog, "pushButton_meeting_key_whatis");
    QTest::mouseClick(whatis, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text(), whatis->toolTip());
    QToolTip::hideText();
}

} // namespace

namespace {

// The page and add buttons take their images by path in code, where no style-sheet check sees them.
TEST(SettingDialogResources, ImagesNamedInCodeArePresent)
{
    for (const char* path : { ":/image/setting/general_default.png", ":/image/setting/general_hover.png",
             ":/image/setting/live_default.png", ":/image/setting/liva_hover.png", ":/image/setting/add_default.png",
             ":/image/setting/add_hover.png", ":/image/setting/add_disable.png" })
        EXPECT_FALSE(QImage(QString::fromLatin1(path)).isNull()) << path;
}

} // namespace
