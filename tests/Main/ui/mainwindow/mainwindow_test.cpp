#include "global/appkeys.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "net/servicepaths.h"
#include "ui/Dialog/firsttooltipsform.h"
#include "ui/Dialog/helphowtousedialog.h"
#include "ui/Dialog/logindialog.h"
#include "ui/mainwindow.h"
#include "ui/messageboxdialog.h"
#include "ui/part/meetingmainform.h"
#include "ui/part/newmeetingreadyform.h"
#include "win/framelesshelper.h"
#include "win/powerinhibitor.h"
#include "win/qssmanager.h"

#include "Main/event_recorder.h"
#include "Main/modal_closer.h"
#include "Main/shell_env.h"

#include <bridge/abstract_config.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

template <typename T = QWidget> T* child(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

std::string dataText(const char* key) { return CD->data->get_data(key, bg::Value("<none>")).toStdString(); }

const QString kMeetingHold = QString::fromLatin1(kHoldMeeting);

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        // The first-use bubble has its own test; elsewhere it would only pop up in between.
        CD->config->set("meeting.app.first.open", "0");
        PowerInhibitor::instance().release(kMeetingHold);
        QssManager::setDpiScaleOverride(1.0);
    }

    void TearDown() override
    {
        QssManager::setDpiScaleOverride(0.0);
        // Every window makes a login dialog that lives on after it, as it does for the whole program run.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<LoginDialog*>(widget))
                delete widget;
        }
    }

    std::unique_ptr<MainWindow> shownWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    static bool onMeetingPage(MainWindow& window)
    {
        return child<QStackedWidget>(window, "stackedWidget_main")->currentWidget()
            == child(window, "page_main");
    }
};

TEST_F(MainWindowTest, FormAndStartState)
{
    auto window = shownWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavicast"));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(window->windowIcon().isNull());
    // The style sheet fixes the size.
    EXPECT_EQ(window->size(), QSize(1000, 650));
    EXPECT_EQ(child(*window, "widget_main_title")->height(), 66);

    auto* stack = child<QStackedWidget>(*window, "stackedWidget_main");
    EXPECT_EQ(stack->widget(0)->metaObject()->className(), QByteArray("MeetingMainForm"));
    EXPECT_EQ(stack->widget(1)->metaObject()->className(), QByteArray("NewMeetingReadyForm"));
    EXPECT_FALSE(onMeetingPage(*window));

    EXPECT_FALSE(child(*window, "pushButton_main_max")->isVisible());
    EXPECT_TRUE(child<QPushButton>(*window, "pushButton_main_max")->isCheckable());
    EXPECT_FALSE(child(*window, "pushButton_title_pic")->isVisible());
    EXPECT_FALSE(child(*window, "label_meetingID")->isVisible());
    EXPECT_FALSE(child(*window, "pushButton_copy_share")->isVisible());
    EXPECT_EQ(child<QPushButton>(*window, "pushButton_pay")->text(), QStringLiteral("开通会员"));
    EXPECT_EQ(child(*window, "pushButton_title_help")->toolTip(), QStringLiteral("使用帮助"));
    EXPECT_EQ(child(*window, "pushButton_title_setting")->toolTip(), QStringLiteral("设置"));
}

TEST_F(MainWindowTest, MeetingKeyShowsAndHidesTheRoomNumber)
{
    auto window = shownWindow();
    window->slot_ShowMeetingKey(QStringLiteral("12345678"));
    EXPECT_EQ(child<QLabel>(*window, "label_meetingID")->text(), QStringLiteral("房间号：12345678"));
    EXPECT_TRUE(child(*window, "label_meetingID")->isVisible());
    EXPECT_TRUE(child(*window, "pushButton_copy_share")->isVisible());
    window->slot_ShowMeetingKey(QString());
    EXPECT_FALSE(child(*window, "label_meetingID")->isVisible());
    EXPECT_FALSE(child(*window, "pushButton_copy_share")->isVisible());
}

// The custom events, in a sequence that walks both pages; each row states the window afterwards.
TEST_F(MainWindowTest, CustomEventsSwitchPagesHoldTheDisplayAndClearKeys)
{
    const struct {
        const char* what;
        std::function<UserEvent*()> make;
        bool meetingPage;
        bool meetingHold;
    } steps[] = {
        { "join", [] { return new V3ReadyToAddMeetingEvent({}, 0, {}, {}, {}, {}, {}, {}, {}, 0, 0); }, true,
            false },
        { "close after join", [] { return new CloseMeetingEvent; }, false, false },
        { "create", [] { return new V3ReadyToCreateMeetingEvent({}, {}, {}, 0, 0, 0); }, true, true },
        { "close after create", [] { return new CloseMeetingEvent; }, false, false },
    };
    auto window = shownWindow();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        for (const char* key : { kDataMeetingKeyMain, kDataMeetingKeyClient, kDataChatHostMain,
                 kDataChatWssMain, kDataChatroomHost, kDataChatroomPwd })
            CD->data->set_data(key, bg::Value("left over"));
        CD->data->set_data(kDataChatroomId, bg::Value(42));
        window->slot_ShowMeetingKey(QStringLiteral("0521"));

        EventDeliverer::instance()->deliver(step.make());
        QCoreApplication::sendPostedEvents();

        EXPECT_EQ(onMeetingPage(*window), step.meetingPage);
        EXPECT_EQ(child(*window, "pushButton_main_max")->isVisible(), step.meetingPage);
        EXPECT_EQ(PowerInhibitor::instance().isHeld(kMeetingHold), step.meetingHold);
        const bool cleared = !step.meetingPage;
        EXPECT_EQ(child(*window, "label_meetingID")->isVisible(), !cleared);
        EXPECT_EQ(dataText(kDataMeetingKeyMain), cleared ? "" : "left over");
        if (cleared) {
            for (const char* key : { kDataMeetingKeyClient, kDataChatHostMain, kDataChatWssMain,
                     kDataChatroomHost, kDataChatroomPwd })
                EXPECT_EQ(dataText(key), "") << key;
            const bg::Value id = CD->data->get_data(kDataChatroomId, bg::Value("<none>"));
            EXPECT_EQ(id.type(), bg::Value::VT_INT);
            EXPECT_EQ(id.toInt(), 0);
        }
    }
}

TEST_F(MainWindowTest, CloseMeetingReturnsAMaximisedWindowToNormal)
{
    auto window = shownWindow();
    EventDeliverer::instance()->deliver(new V3ReadyToCreateMeetingEvent({}, {}, {}, 0, 0, 0));
    QCoreApplication::sendPostedEvents();
    window->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(child<QPushButton>(*window, "pushButton_main_max")->isChecked());

    EventDeliverer::instance()->deliver(new CloseMeetingEvent);
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_FALSE(child<QPushButton>(*window, "pushButton_main_max")->isChecked());
    EXPECT_FALSE(child(*window, "pushButton_main_max")->isVisible());
}

TEST_F(MainWindowTest, WindowStateChangesDeliverStateEvents)
{
    constexpr int kStateChange = UserEventType::V3WindowsStateChange;
    constexpr int kShowNormal = UserEventType::ShowNormalWindow;
    const struct {
        Qt::WindowStates from;
        Qt::WindowStates to;
        QVector<int> delivered;
        bool maxChecked;
    } cases[] = {
        { Qt::WindowNoState, Qt::WindowMaximized, { kStateChange, kShowNormal }, true },
        { Qt::WindowMaximized, Qt::WindowNoState, { kStateChange, kShowNormal }, false },
        { Qt::WindowNoState, Qt::WindowMinimized, {}, false },
        { Qt::WindowNoState, Qt::WindowFullScreen, { kShowNormal }, false },
        { Qt::WindowNoState, Qt::WindowMinimized | Qt::WindowMaximized, { kShowNormal }, false },
    };
    auto window = shownWindow();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.from) << " -> " << int(c.to));
        window->setWindowState(c.from);
        QCoreApplication::sendPostedEvents();
        EventRecorder recorder { kStateChange, kShowNormal };
        window->setWindowState(c.to);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(recorder.types, c.delivered);
        EXPECT_EQ(child<QPushButton>(*window, "pushButton_main_max")->isChecked(), c.maxChecked);
    }
}

TEST_F(MainWindowTest, CaptionIsTheTitleBarOutsideItsControls)
{
    auto window = shownWindow();
    QWidget* title = child(*window, "widget_main_title");
    QWidget* appName = child(*window, "label_appname");
    QWidget* pay = child(*window, "pushButton_pay");
    // Between the product name and the membership button the title bar is empty.
    const int freeX = (appName->mapTo(window.get(), QPoint(appName->width(), 0)).x()
                          + pay->mapTo(window.get(), QPoint()).x())
        / 2;
    auto centre = [&](const char* name) {
        QWidget* w = child(*window, name);
        return w->mapTo(window.get(), w->rect().center());
    };
    const struct {
        const char* what;
        QPoint point;
        bool caption;
    } cases[] = {
        { "empty title bar", QPoint(freeX, 20), true },
        { "lower edge of the title bar", QPoint(freeX, title->height()), true },
        { "just below the title bar", QPoint(freeX, title->height() + 1), false },
        { "close button", centre("pushButton_main_close"), false },
        { "minimise button", centre("pushButton_main_min"), false },
        { "login button", centre("pushButton_login"), false },
        { "help button", centre("pushButton_title_help"), false },
        { "settings button", centre("pushButton_title_setting"), false },
        { "membership button", centre("pushButton_pay"), false },
        { "avatar", centre("label_title_pic"), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(window->isOnCaption(window->mapToGlobal(c.point)), c.caption);
    }
    // The window's frameless helper drags from the caption and never resizes, not even at the border.
    auto* helper = window->findChild<FramelessHelper*>();
    ASSERT_NE(helper, nullptr);
    const QPoint caption = window->mapToGlobal(QPoint(freeX, 20));
    EXPECT_EQ(helper->hitTest(caption.x(), caption.y()), frameless::HTCAPTION);
    const QPoint corner = window->mapToGlobal(QPoint(window->width() - 1, window->height() - 1));
    EXPECT_EQ(helper->hitTest(corner.x(), corner.y()), frameless::HTCLIENT);
    const QPoint close = window->mapToGlobal(centre("pushButton_main_close"));
    EXPECT_EQ(helper->hitTest(close.x(), close.y()), frameless::HTCLIENT);
}

TEST_F(MainWindowTest, HostConfigFileReplacesTheCommandApiHost)
{
    const QString builtin = QStringLiteral("https://room.example.com:4433/cmdApi");
    const struct {
        const char* what;
        const char* content; // null: no file
        const char* serviceUrl; // TAVICAST_SERVICE_URL; null: unset
        QString host;
    } cases[] = {
        { "no file", nullptr, nullptr, builtin },
        { "blanks and line ends", "  \n\r\n\t ", nullptr, builtin },
        { "host with a line end", "https://10.0.0.7:4433/cmdApi\n", nullptr,
            QStringLiteral("https://10.0.0.7:4433/cmdApi") },
        { "host between blanks", "  local.test  ", nullptr, QStringLiteral("local.test") },
        { "deployment address", nullptr, "http://127.0.0.1:7", QStringLiteral("http://127.0.0.1:7/cmdApi") },
        { "file beats deployment address", "local.test", "http://127.0.0.1:7", QStringLiteral("local.test") },
    };
    const QString previous = QDir::currentPath();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        if (c.content) {
            QFile file(dir.filePath(QStringLiteral("hostConfig.conf")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        if (c.serviceUrl)
            qputenv("TAVICAST_SERVICE_URL", c.serviceUrl);
        else
            qunsetenv("TAVICAST_SERVICE_URL");
        CD->data->erease_data(netkeys::kPreConfigHost);
        MainWindow window;
        EXPECT_EQ(QString::fromStdString(dataText(netkeys::kPreConfigHost)), c.host);
    }
    qunsetenv("TAVICAST_SERVICE_URL");
    QDir::setCurrent(previous);
}

TEST_F(MainWindowTest, CloseButtonEndsTheMeetingThenQuitsWithZero)
{
    auto window = shownWindow();
    EventRecorder recorder { UserEventType::CloseMeeting };
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QTest::mouseClick(child(*window, "pushButton_main_close"), Qt::LeftButton);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(recorder.types, QVector<int> { UserEventType::CloseMeeting });
    EXPECT_FALSE(window->isVisible());
}

// A close from the window manager during a meeting must not skip the meeting's own close handling.
TEST_F(MainWindowTest, WindowManagerCloseDuringAMeetingEndsItFirst)
{
    auto window = shownWindow();
    EventDeliverer::instance()->deliver(new V3ReadyToCreateMeetingEvent({}, {}, {}, 0, 0, 0));
    QCoreApplication::sendPostedEvents();
    EventRecorder recorder { UserEventType::CloseMeeting };
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);

    window->close();
    EXPECT_TRUE(window->isVisible()) << "the window waits for the meeting to close";
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(recorder.types, QVector<int> { UserEventType::CloseMeeting });
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(PowerInhibitor::instance().isHeld(kMeetingHold));
}

TEST_F(MainWindowTest, WindowManagerCloseOutsideAMeetingJustCloses)
{
    auto window = shownWindow();
    EventRecorder recorder { UserEventType::CloseMeeting };
    EXPECT_TRUE(window->close());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(recorder.types.isEmpty());
}

TEST_F(MainWindowTest, FirstUseBubbleShowsOnceAndItsCloseIsRemembered)
{
    CD->config->remove("meeting.app.first.open");
    auto window = shownWindow();
    ASSERT_TRUE(waitUntil([&] { return window->findChild<FirstTooltipsForm*>() != nullptr; }));
    auto* bubble = window->findChild<FirstTooltipsForm*>();
    EXPECT_TRUE(bubble->isVisible());
    QPointer<FirstTooltipsForm> watched(bubble);

    QTest::mouseClick(child(*bubble, "pushButton_ftip_close"), Qt::LeftButton);
    EXPECT_FALSE(watched && watched->isVisible());
    EXPECT_TRUE(waitUntil([&] { return watched.isNull(); }));
    bool found = false;
    EXPECT_EQ(CD->config->get("meeting.app.first.open", &found), "0");
    EXPECT_TRUE(found);
}

// The bubble sits centred under the help button, 2 px below it, wherever the window is on the screen.
TEST_F(MainWindowTest, FirstUseBubbleSitsUnderTheHelpButton)
{
    CD->config->remove("meeting.app.first.open");
    auto window = shownWindow();
    window->move(200, 150);
    ASSERT_TRUE(waitUntil([&] { return window->findChild<FirstTooltipsForm*>() != nullptr; }));
    auto* bubble = window->findChild<FirstTooltipsForm*>();
    auto* help = child(*window, "pushButton_title_help");

    for (const QPoint& windowPos : { QPoint(200, 150), QPoint(260, 90) }) {
        window->move(windowPos);
        QCoreApplication::sendPostedEvents();
        const QPoint corner = help->mapToGlobal(QPoint(0, 0));
        const QPoint expected(
            corner.x() - (bubble->width() - help->width()) / 2, corner.y() + help->height() + 2);
        EXPECT_EQ(bubble->mapToGlobal(QPoint(0, 0)), expected) << windowPos.x() << "," << windowPos.y();
    }
}

TEST_F(MainWindowTest, HelpButtonClosesTheBubbleAndRunsTheHelpDialog)
{
    CD->config->remove("meeting.app.first.open");
    auto window = shownWindow();
    ASSERT_TRUE(waitUntil([&] { return window->findChild<FirstTooltipsForm*>() != nullptr; }));
    QPointer<FirstTooltipsForm> bubble(window->findChild<FirstTooltipsForm*>());

    ModalCloser closer([](QDialog* dialog) { EXPECT_TRUE(qobject_cast<HelpHowToUseDialog*>(dialog)); });
    QTest::mouseClick(child(*window, "pushButton_title_help"), Qt::LeftButton);
    EXPECT_TRUE(closer.seen);
    EXPECT_TRUE(waitUntil([&] { return bubble.isNull(); }));
    EXPECT_EQ(CD->config->get("meeting.app.first.open"), "0");
}

TEST_F(MainWindowTest, MessageBoxSlotRunsTheMessageBoxOnTheWindow)
{
    auto window = shownWindow();
    QString text;
    QWidget* parent = nullptr;
    ModalCloser closer([&](QDialog* dialog) {
        ASSERT_TRUE(qobject_cast<MessageBoxDialog*>(dialog));
        text = dialog->findChild<QLabel*>(QStringLiteral("label_messagebox_content"))->text();
        parent = dialog->parentWidget();
    });
    window->slot_ShowMessageBox(QStringLiteral("提示"), QStringLiteral("获取软件配置失败"), 1);
    EXPECT_TRUE(closer.seen);
    EXPECT_EQ(text, QStringLiteral("获取软件配置失败"));
    EXPECT_EQ(parent, window.get());
}

TEST_F(MainWindowTest, AvatarPressIsConsumed)
{
    auto window = shownWindow();
    QWidget* avatar = child(*window, "label_title_pic");
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    // Signed out, the avatar's action is the login dialog.
    ModalCloser closer([](QDialog* dialog) { EXPECT_TRUE(qobject_cast<LoginDialog*>(dialog)); });
    EXPECT_TRUE(window->eventFilter(avatar, &press));
    EXPECT_TRUE(closer.seen);
    QMouseEvent release(
        QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    EXPECT_FALSE(window->eventFilter(avatar, &release));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new BridgeEnvironment);
    return RUN_ALL_TESTS();
}
