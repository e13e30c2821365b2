#include "app/zovmeetingapplication.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "net/netmanager.h"
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/settingdialog.h"
#include "ui/mainwindow.h"
#include "ui/messageboxdialog.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "ui/part/fullscreentoolform.h"
#include "ui/part/viewerfullscreenshowform.h"

#include "Main/event_recorder.h"
#include "Main/modal_closer.h"
#include "Main/shell_env.h"

#include <bridge/abstract_config.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

using Rights = QList<QPair<QString, QString>>;

struct Message {
    QString title;
    QString text;
    int buttons;
};

ZovMeetingApplication* app() { return static_cast<ZovMeetingApplication*>(QCoreApplication::instance()); }

// What the start left behind once its main window was up and the configuration answered, taken by main
// before any test runs: whether the viewer's full-screen form and the settings dialog existed, and the
// renderer lines logged.
struct StartState {
    bool fullScreenMade = false;
    bool settingsMade = false;
    QStringList rendererLines;
};
StartState g_start;
QStringList g_rendererLines;
QtMessageHandler g_previousHandler = nullptr;

void recordRendererLines(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QStringLiteral("[使用")))
        g_rendererLines.append(text);
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

class ZovMeetingApplicationTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(waitUntil([] { return app()->mainWindow() != nullptr; }));
        // The start-up configuration request has been answered (into main's silent sink) before a test
        // installs its own sink.
        ASSERT_TRUE(NetManager::instance()->waitIdle(5000));
        QCoreApplication::sendPostedEvents();
        app()->setMessageSink([this](const QString& title, const QString& text, int buttons) {
            messages.append({ title, text, buttons });
        });
    }
    void TearDown() override { app()->setMessageSink({}); }

    QVector<Message> messages;
};

TEST_F(ZovMeetingApplicationTest, InitializeCreatesTheWindows)
{
    MainWindow* window = app()->mainWindow();
    EXPECT_TRUE(window->isVisible());
    // The viewer's full-screen form, and with it the display's OpenGL probe, wait for a meeting; the
    // settings dialog for the first that asks for it.
    EXPECT_FALSE(g_start.fullScreenMade);
    EXPECT_TRUE(g_start.rendererLines.isEmpty()) << g_start.rendererLines.join(' ').toStdString();
    EXPECT_FALSE(g_start.settingsMade);
    ASSERT_NE(app()->settingDialog(), nullptr);
    EXPECT_EQ(app()->settingDialog(), window->findChild<SettingDialog*>());
    EXPECT_EQ(app()->settingDialog()->parentWidget(), window);
    EXPECT_EQ(app()->styleSheet(), QStringLiteral("QPushButton {outline: none;}"));
}

// The style sheets' Windows font is drawn with a CJK font of this machine, not a Latin fallback.
TEST_F(ZovMeetingApplicationTest, StyleSheetFontFallsBackToACjkFont)
{
    QLabel label(QString::fromUtf8("房间号：0521"));
    label.setStyleSheet(QStringLiteral("QLabel{font-family: \"Microsoft YaHei\";}"));
    label.ensurePolished();
    const QString family = QFontInfo(label.font()).family();
    EXPECT_TRUE(QFontDatabase().writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        << family.toStdString();
}

TEST_F(ZovMeetingApplicationTest, AppConfigReplies)
{
    const QString baseline = QStringLiteral(
        R"({"configs":{"play_host":"p0","vip_rights":{"brief":"B0","rights":[{"Key":"k0","Val":"v0"}]}}})");
    const Rights baseRights { { "k0", "v0" } };
    const QString failed = QStringLiteral("获取软件配置失败");
    const struct {
        const char* what;
        bool result;
        QString json;
        QString message; // empty: none
        QString playHost;
        QString brief;
        Rights rights;
    } cases[] = {
        { "request failed", false, {}, QStringLiteral("获取软件配置失败\n 7 boom"), "p0", "B0", baseRights },
        { "not JSON", true, "<html>busy</html>", {}, "p0", "B0", baseRights },
        { "complete", true,
            R"({"configs":{"play_host":"p1","vip_rights":{"brief":"B1",
                "rights":[{"Key":"a","Val":"1"},{"Key":"b","Val":"2"}]}}})",
            {}, "p1", "B1", { { "a", "1" }, { "b", "2" } } },
        { "comments allowed", true,
            "// from the "
            "operator\n{\"configs\":{\"play_host\":\"p1\",\"vip_rights\":{\"brief\":\"B1\",\"rights\":[]}}}",
            {}, "p1", "B1", {} },
        { "empty rights", true, R"({"configs":{"play_host":"p1","vip_rights":{"brief":"B1","rights":[]}}})",
            {}, "p1", "B1", {} },
        { "no rights member", true, R"({"configs":{"play_host":"p1","vip_rights":{"brief":"B1"}}})", {}, "p1",
            "B1", {} },
        { "null rights", true, R"({"configs":{"play_host":"p1","vip_rights":{"brief":"B1","rights":null}}})", {},
            "p1", "B1", {} },
        // Nested deeper than the reader goes: ignored as any other text that is not JSON.
        { "nested too deep", true, QString(5000, '[') + QString(5000, ']'), {}, "p0", "B0", baseRights },
        { "an element without Val", true,
            R"({"configs":{"play_host":"p1","vip_rights":{"brief":"B1","rights":[{"Key":"a","Val":"1"},{"Key":"b"}]}}})",
            failed, "p1", "B1", { { "a", "1" } } },
        { "rights not an array", true,
            R"({"configs":{"play_host":"p1","vip_rights":{"brief":"B1","rights":{"Key":"a"}}}})", failed,
            "p1", "B1", {} },
        { "no configs", true, R"({"play_host":"p1"})", failed, "p0", "B0", baseRights },
        { "play_host not a text", true, R"({"configs":{"play_host":5,"vip_rights":{"brief":"B1"}}})", failed,
            "p0", "B0", baseRights },
        { "no brief", true, R"({"configs":{"play_host":"p1","vip_rights":{"rights":[]}}})", failed, "p1",
            "B0", baseRights },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        app()->onAppConfigResult(true, baseline, 0, {});
        messages.clear();

        app()->onAppConfigResult(c.result, c.json, 7, QStringLiteral("boom"));

        if (c.message.isEmpty()) {
            EXPECT_TRUE(messages.isEmpty());
        } else {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_EQ(messages[0].title, QStringLiteral("提示"));
            EXPECT_EQ(messages[0].text, c.message);
            EXPECT_EQ(messages[0].buttons, 1);
        }
        Rights rights;
        QString brief;
        app()->vipRights(rights, brief);
        EXPECT_EQ(app()->playHost(), c.playHost);
        EXPECT_EQ(brief, c.brief);
        EXPECT_EQ(rights, c.rights);
    }
}

TEST_F(ZovMeetingApplicationTest, ConfigHandlerRunsOncePerRequest)
{
    NetManager* net = NetManager::instance();
    QObject::connect(
        net, &NetManager::SRVGetAppConfigResult, app(), &ZovMeetingApplication::onAppConfigResult);
    emit net->SRVGetAppConfigResult(false, {}, 1, QStringLiteral("first"), {});
    emit net->SRVGetAppConfigResult(false, {}, 2, QStringLiteral("second"), {});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("获取软件配置失败\n 1 first"));
}

TEST_F(ZovMeetingApplicationTest, EventsToggleTheFullScreenFormAndTheMainWindow)
{
    MainWindow* window = app()->mainWindow();
    // Made by the first event that shows it, then the same form throughout.
    const auto fullScreen = [] { return app()->viewerFullScreen(); };
    const struct {
        const char* what;
        std::function<void()> act;
        bool fullScreenShown;
        bool mainShown;
    } steps[] = {
        { "show full screen", [] { EventDeliverer::instance()->deliver(new V3ShowFullScreenEvent); }, true,
            false },
        { "join event changes nothing",
            [] {
                EventDeliverer::instance()->deliver(
                    new V3ReadyToAddMeetingEvent({}, 0, {}, {}, {}, {}, {}, {}, {}, 0, 0));
            },
            true, false },
        { "meeting closed", [] { EventDeliverer::instance()->deliver(new CloseMeetingEvent); }, false, true },
        { "show full screen again", [] { EventDeliverer::instance()->deliver(new V3ShowFullScreenEvent); },
            true, false },
        { "viewer leaves full screen", [fullScreen] { emit fullScreen()->cancelFullScreen(); }, false, true },
        { "full screen once more", [] { EventDeliverer::instance()->deliver(new V3ShowFullScreenEvent); }, true,
            false },
        { "the bar's button brings the main window back",
            [fullScreen] {
                QMouseEvent move(QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(fullScreen()->toolOverlay(), &move);
                QTest::mouseClick(
                    fullScreen()->findChild<QPushButton*>(QStringLiteral("pushButton_minimum")), Qt::LeftButton);
            },
            false, true },
        { "full screen, then Esc", [] { EventDeliverer::instance()->deliver(new V3ShowFullScreenEvent); }, true,
            false },
        { "Esc brings the main window back", [fullScreen] { QTest::keyClick(fullScreen(), Qt::Key_Escape); },
            false, true },
    };
    QPointer<ViewerFullScreenShowForm> first;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        QCoreApplication::sendPostedEvents();
        ASSERT_NE(fullScreen(), nullptr);
        if (!first)
            first = fullScreen();
        EXPECT_EQ(fullScreen(), first.data());
        EXPECT_EQ(fullScreen()->isVisible(), step.fullScreenShown);
        if (step.fullScreenShown) {
            EXPECT_TRUE(fullScreen()->isFullScreen());
        }
        EXPECT_EQ(window->isVisible(), step.mainShown);
    }
    // The meeting events above went to the window as well; back to the ready page for the next tests.
    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    QCoreApplication::sendPostedEvents();
}

TEST_F(ZovMeetingApplicationTest, MessageBoxFromAnotherThreadIsShownOnTheMainWindow)
{
    app()->setMessageSink({});
    QString text;
    QWidget* parent = nullptr;
    ModalCloser closer([&](QDialog* dialog) {
        ASSERT_TRUE(qobject_cast<MessageBoxDialog*>(dialog));
        text = dialog->findChild<QLabel*>(QStringLiteral("label_messagebox_content"))->text();
        parent = dialog->parentWidget();
    });
    std::thread worker([] { app()->showMessageBox(QStringLiteral("提示"), QStringLiteral("网络异常"), 1); });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return closer.seen; }));
    EXPECT_EQ(text, QStringLiteral("网络异常"));
    EXPECT_EQ(parent, app()->mainWindow());
}

TEST_F(ZovMeetingApplicationTest, MessageFromASecondStartRestoresTheWindow)
{
    MainWindow* window = app()->mainWindow();
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    emit app()->receivedMessage(7, QByteArray("anything"));
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(ZovMeetingApplicationTest, FramesAndMeetingKeysReachTheirWindows)
{
    I420FramePtr frame = I420Frame::create(8, 4, 4, 8, 2);
    ASSERT_TRUE(frame);
    app()->showFullScreenFrame(frame);
    ViewerFullScreenShowForm* fullScreen = app()->viewerFullScreen();
    ASSERT_NE(fullScreen, nullptr);
    if (fullScreen->openGLRenderer())
        EXPECT_EQ(fullScreen->openGLRenderer()->frame(), frame);
    else
        EXPECT_EQ(fullScreen->painterRenderer()->image().size(), QSize(8, 2));

    app()->showMeetingKey(QStringLiteral("20230807"));
    EXPECT_EQ(app()->mainWindow()->findChild<QLabel*>(QStringLiteral("label_meetingID"))->text(),
        QStringLiteral("房间号：20230807"));
    app()->showMeetingKey(QString());
}

TEST_F(ZovMeetingApplicationTest, SettingsButtonRefreshesTheHostAndRunsTheSettingsDialog)
{
    const struct {
        const char* host;
        bool shown;
    } cases[] = { { "https://room.test:4433", true }, { "", false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        CD->data->set_data("user_meeting_host", bg::Value(c.host));
        QString shownHost;
        bool visible = !c.shown;
        ModalCloser closer([&](QDialog* dialog) {
            EXPECT_EQ(dialog, app()->settingDialog());
            auto* label = dialog->findChild<QLabel*>(QStringLiteral("label_setting_user_host"));
            auto* row = dialog->findChild<QWidget*>(QStringLiteral("frame_user_meeting_host"));
            ASSERT_NE(label, nullptr);
            ASSERT_NE(row, nullptr);
            shownHost = label->text();
            visible = row->isVisible();
        });
        QTest::mouseClick(
            app()->mainWindow()->findChild<QWidget*>(QStringLiteral("pushButton_title_setting")),
            Qt::LeftButton);
        EXPECT_TRUE(closer.seen);
        EXPECT_EQ(shownHost, QString::fromUtf8(c.host));
        EXPECT_EQ(visible, c.shown);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // A private folder for the single-instance block and socket, and no way to the operator's services.
    QTemporaryDir runtime;
    qputenv("TMPDIR", runtime.path().toUtf8());
    qputenv("TAVICAST_SERVICE_URL", "http://127.0.0.1:9");
    testing::InitGoogleTest(&argc, argv);
    auto* bridge = new BridgeEnvironment;
    bridge->SetUp();
    int result = 0;
    {
        g_previousHandler = qInstallMessageHandler(recordRendererLines);
        ZovMeetingApplication application(argc, argv);
        application.setMessageSink([](const QString&, const QString&, int) {});
        if (!application.isSecondary()) {
            waitUntil([&] { return application.mainWindow() && application.mainWindow()->isVisible(); }, 30000);
            NetManager::instance()->waitIdle(5000);
            QCoreApplication::sendPostedEvents();
            // Closing a meeting clears the full-screen picture; before any meeting there is nothing to clear.
            application.showFullScreenFrame(nullptr);
            g_start = { application.viewerFullScreen() != nullptr,
                application.mainWindow()->findChild<SettingDialog*>() != nullptr, g_rendererLines };
            result = RUN_ALL_TESTS();
        }
        // The windows live until the process ends; deleting them here keeps the leak check quiet. Deleting
        // one may delete others (the settings dialog goes with the main window).
        QList<QPointer<QWidget>> windows;
        for (QWidget* widget : QApplication::topLevelWidgets())
            windows.append(widget);
        for (const QPointer<QWidget>& widget : windows) {
            if (qobject_cast<MainWindow*>(widget) || qobject_cast<ViewerFullScreenShowForm*>(widget)
                || qobject_cast<LoginDialog*>(widget))
                delete widget.data();
        }
    }
    bridge->TearDown();
    delete bridge;
    return result;
}
