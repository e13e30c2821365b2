// The background-picture rows of the settings dialog (built and working, though the dialog hides them).
#include "ui/Dialog/settingdialog.h"

#include "dialog_test_support.h"

#include "global/customevents.h"
#include "global/filepicker.h"
#include "ui/part/previewwidget.h"

#include "Main/event_recorder.h"
#include "Main/modal_closer.h"

#include <bridge/abstract_config.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::string stored(const char* key) { return CD->config->get(key); }

struct PickerCall {
    QString caption;
    QString startDir;
    QString filter;
};

class BackgroundRowsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        for (const char* key :
            { "Background.Path", "Background.Dir", "GreenScm.Background.Path", "GreenScm.Background.Dir" })
            CD->config->remove(key);
        signIn(7, 2);
        picture = folder.filePath(QStringLiteral("wide.png"));
        QImage image(64, 36, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        ASSERT_TRUE(image.save(picture));
        broken = folder.filePath(QStringLiteral("broken.png"));
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        setFilePicker([this](QWidget*, const QString& caption, const QString& dir, const QString& filter) {
            calls.append({ caption, dir, filter });
            return answer;
        });
    }
    void TearDown() override
    {
        setFilePicker([](QWidget*, const QString&, const QString&, const QString&) { return QString(); });
        signIn(0, 0);
    }

    static void signIn(long long id, int level)
    {
        CD->data->set_data("user.id", bg::Value(id));
        CD->data->set_data("user.level", bg::Value(level));
    }

    struct Row {
        PreviewWidget* preview;
        QPushButton* add;
        QPushButton* remove;
    };
    static Row row(SettingDialog& dialog, bool green)
    {
        return green ? Row { child<PreviewWidget>(dialog, "widget_setting_greenscm_background"),
            child<QPushButton>(dialog, "pushButton_setting_greenscm_background_image"),
            child<QPushButton>(dialog, "pushButton_setting_delete_greenscm_image") }
                     : Row { child<PreviewWidget>(dialog, "widget_setting_background"),
                           child<QPushButton>(dialog, "pushButton_setting_general_background_image"),
                           child<QPushButton>(dialog, "pushButton_setting_delete_image") };
    }
    // The rows' rule: the delete button shows exactly when there is a picture; add works exactly when not.
    static void expectInvariant(const Row& r, bool hasPicture)
    {
        EXPECT_EQ(!r.preview->isImageNull(), hasPicture);
        EXPECT_EQ(!r.remove->isHidden(), hasPicture);
        EXPECT_EQ(r.add->isEnabled(), !hasPicture);
    }

    QTemporaryDir folder;
    QString picture;
    QString broken;
    QString answer;
    QVector<PickerCall> calls;
    ScaleOverride scale { 1.0 };
};

TEST_F(BackgroundRowsTest, RowsAreBuiltButHidden)
{
    SettingDialog dialog;
    dialog.show();
    EXPECT_FALSE(child(dialog, "frame_general_background")->isVisible());
    EXPECT_FALSE(child(dialog, "frame_greenscm_background")->isVisible());
    EXPECT_EQ(
        child<QLabel>(dialog, "label_setting_greenscm_background")->text(), QStringLiteral("抠图背景："));
    EXPECT_EQ(stored("Background.Path"), "");
    EXPECT_EQ(stored("GreenScm.Background.Path"), "");
    expectInvariant(row(dialog, false), false);
    expectInvariant(row(dialog, true), false);
}

TEST_F(BackgroundRowsTest, ChoosingStoresFolderAndPathAndDeleteKeepsTheFolder)
{
    for (bool green : { false, true }) {
        SCOPED_TRACE(green ? "green screen" : "canvas");
        const char* pathKey = green ? "GreenScm.Background.Path" : "Background.Path";
        const char* dirKey = green ? "GreenScm.Background.Dir" : "Background.Dir";
        SettingDialog dialog;
        const Row r = row(dialog, green);

        calls.clear();
        answer = QString();
        QTest::mouseClick(r.add, Qt::LeftButton);
        ASSERT_EQ(calls.size(), 1);
        EXPECT_EQ(calls[0].caption, QStringLiteral("选择图片"));
        EXPECT_EQ(calls[0].startDir, QDir::homePath());
        EXPECT_EQ(calls[0].filter, QStringLiteral("Images (*.png *.jpg)"));
        // Cancelled: only the folder's default was written.
        EXPECT_EQ(stored(dirKey), QDir::homePath().toStdString());
        EXPECT_EQ(stored(pathKey), "");
        expectInvariant(r, false);

        answer = picture;
        QTest::mouseClick(r.add, Qt::LeftButton);
        EXPECT_EQ(stored(pathKey), picture.toStdString());
        EXPECT_EQ(stored(dirKey), folder.path().toStdString());
        expectInvariant(r, true);
        EXPECT_EQ(r.preview->size(), QSize(71, 40));

        QTest::mouseClick(r.remove, Qt::LeftButton);
        EXPECT_EQ(stored(pathKey), "");
        EXPECT_EQ(stored(dirKey), folder.path().toStdString());
        expectInvariant(r, false);

        // The next file dialog of the row opens where the last picture came from.
        answer = QString();
        QTest::mouseClick(r.add, Qt::LeftButton);
        EXPECT_EQ(calls.last().startDir, folder.path());
    }
}

TEST_F(BackgroundRowsTest, GreenScreenRowIsForSignedInMembers)
{
    const struct {
        long long id;
        int level;
        QVector<int> events;
        bool message;
        bool picker;
    } cases[] = {
        { 0, 2, { UserEventType::Login }, true, false },
        { 7, 1, { UserEventType::Pay }, false, false },
        { 7, 2, {}, false, true },
        { 7, 3, {}, false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " level " << c.level);
        signIn(c.id, c.level);
        CD->config->remove("GreenScm.Background.Path");
        calls.clear();
        answer = picture;
        SettingDialog dialog;
        EventRecorder recorder { UserEventType::Login, UserEventType::Pay };
        QString text, title;
        ModalCloser closer(
            [&](QDialog* box) {
                text = box->findChild<QLabel*>(QStringLiteral("label_messagebox_content"))->text();
                title = box->findChild<QLabel*>(QStringLiteral("label_title"))->text();
                // The sign-in event waits until the message is gone.
                EXPECT_TRUE(recorder.types.isEmpty());
            },
            c.message ? 5000 : 50);
        QTest::mouseClick(row(dialog, true).add, Qt::LeftButton);
        EXPECT_EQ(closer.seen, c.message);
        if (c.message) {
            EXPECT_EQ(text, QStringLiteral("请先登录账号"));
            EXPECT_EQ(title, QStringLiteral("提示"));
        }
        recorder.waitFor(c.events.size(), 2000);
        QCoreApplication::processEvents();
        EXPECT_EQ(recorder.types, c.events);
        EXPECT_EQ(calls.size(), c.picker ? 1 : 0);
        expectInvariant(row(dialog, true), c.picker);
        EXPECT_EQ(stored("GreenScm.Background.Path"), c.picker ? picture.toStdString() : "");
    }
}

TEST_F(BackgroundRowsTest, UnreadablePictureIsRefusedOnTheGreenScreenRowOnly)
{
    CD->config->set("GreenScm.Background.Dir", "/nowhere");
    SettingDialog dialog;
    answer = broken;
    QString text;
    ModalCloser closer([&](QDialog* box) {
        text = box->findChild<QLabel*>(QStringLiteral("label_messagebox_content"))->text();
    });
    QTest::mouseClick(row(dialog, true).add, Qt::LeftButton);
    EXPECT_TRUE(closer.seen);
    EXPECT_EQ(text, QStringLiteral("所选图片读取异常，请将该图片转码修复后再重\n试或者选择其他图片"));
    EXPECT_EQ(stored("GreenScm.Background.Path"), "");
    EXPECT_EQ(stored("GreenScm.Background.Dir"), "/nowhere");
    expectInvariant(row(dialog, true), false);

    // The canvas row takes the file as chosen; with no picture to show, it stays open for another.
    QTest::mouseClick(row(dialog, false).add, Qt::LeftButton);
    EXPECT_EQ(stored("Background.Path"), broken.toStdString());
    expectInvariant(row(dialog, false), false);
}

TEST_F(BackgroundRowsTest, StoredPicturesAreLoadedAndAGoneOneLeavesTheRowOpen)
{
    CD->config->set("Background.Path", folder.filePath(QStringLiteral("gone.png")).toUtf8().constData());
    CD->config->set("GreenScm.Background.Path", picture.toUtf8().constData());
    SettingDialog dialog;
    expectInvariant(row(dialog, false), false);
    expectInvariant(row(dialog, true), true);
    // The gone path stays stored until a choice or a delete replaces it.
    EXPECT_EQ(stored("Background.Path"), folder.filePath(QStringLiteral("gone.png")).toStdString());
}

} // namespace
