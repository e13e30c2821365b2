#include "global/accountkeys.h"
#include "global/appkeys.h"
#include "global/customevents.h"
#include "global/datakeys.h"
#include "ui/Dialog/copysharetipsdialog.h"
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/viprightshowdialog.h"
#include "ui/mainwindow.h"
#include "ui/messageboxdialog.h"
#include "win/qssmanager.h"

#include "Main/event_recorder.h"
#include "Main/modal_closer.h"
#include "Main/shell_env.h"
#include "bridge/loader/module_fixture.h"
#include "support/scoped_env.h"

#include <devservice/service.h>

#include <bridge/abstract_config.h>
#include <bridge/abstract_logger.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

const char kRecorderModule[] = "libtest_memvia_recorder.so";

template <typename T = QWidget> T* child(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}


void setData(const char* key, const bg::Value& value) { CD->data->set_data(key, value); }

class AccountTest : public testing::Test {
protected:
    void SetUp() override
    {
        CD->config->set(kCfgAppFirstOpen, "0");
        CD->config->remove(kCfgShowCopyTips);
        QssManager::setDpiScaleOverride(1.0);
        for (const char* key : { kDataUserName, kDataUserEndTime, kDataUserAvatar, kDataMeetingIsHost,
                 kDataNetMeetingHost, kDataIsLogin })
            CD->data->erease_data(key);
        setData(kDataUserId, bg::Value(0LL));
        setData(kDataUserLevel, bg::Value(0));
        setData(kDataMeetingToken, bg::Value("token"));
        setData(kDataEndTimeLimit, bg::Value("year+1"));
        baseline = module_calls(bin_dir() + kRecorderModule).size();
    }

    void TearDown() override
    {
        QssManager::setDpiScaleOverride(0.0);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<LoginDialog*>(widget))
                delete widget;
        }
    }

    static void signIn(long long id, int level, const char* endDate = nullptr)
    {
        setData(kDataUserId, bg::Value(id));
        setData(kDataUserLevel, bg::Value(level));
        if (endDate)
            setData(kDataUserEndTime, bg::Value(endDate));
    }

    std::unique_ptr<MainWindow> shownWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    // What the login dialog's refresh signal and event 1004 do: the account area follows the data store.
    static void refresh(MainWindow& window)
    {
        QEvent loginResult(QEvent::Type(UserEventType::Unused1004));
        QCoreApplication::sendEvent(&window, &loginResult);
    }

    // The commands the membership module received during this test.
    std::string commands() const { return module_calls(bin_dir() + kRecorderModule).substr(baseline); }

    static std::string command(int id, const void* parent)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%d@%p;", id, parent);
        return text;
    }

    size_t baseline = 0;
};

TEST_F(AccountTest, AccountAreaFollowsTheUser)
{
    const struct {
        const char* what;
        long long id;
        int level;
        const char* name; // null: absent
        QString loginText;
        QString payText;
        bool border;
    } cases[] = {
        { "signed out", 0, 0, "Alice", QStringLiteral("登录"), QStringLiteral("开通会员"), false },
        { "non-member without a name", 7, 1, nullptr, QStringLiteral("Vendrel用户"),
            QStringLiteral("开通会员"), false },
        { "member", 7, 2, "Alice", QStringLiteral("Alice"), QStringLiteral("续费会员"), true },
    };
    auto window = shownWindow();
    auto* avatar = child<QLabel>(*window, "label_title_pic");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        signIn(c.id, c.level, "2030-01-01");
        if (c.name)
            setData(kDataUserName, bg::Value(c.name));
        else
            CD->data->erease_data(kDataUserName);
        refresh(*window);

        EXPECT_EQ(child<QPushButton>(*window, "pushButton_login")->text(), c.loginText);
        EXPECT_EQ(avatar->isVisible(), c.id != 0);
        EXPECT_EQ(child<QPushButton>(*window, "pushButton_pay")->text(), c.payText);
        EXPECT_EQ(!avatar->pixmap(Qt::ReturnByValue).isNull(), c.border);
        EXPECT_TRUE(avatar->styleSheet().contains(QStringLiteral("min-width: 35px")));
        EXPECT_TRUE(avatar->styleSheet().contains(QString::fromLatin1(kDefaultAvatar)));
    }
}

TEST_F(AccountTest, AvatarSizeFollowsTheScreenScale)
{
    QssManager::setDpiScaleOverride(1.25);
    signIn(7, 1);
    auto window = shownWindow();
    auto* avatar = child<QLabel>(*window, "label_title_pic");
    refresh(*window);
    // The default picture's size is truncated, a downloaded one's kept as it is.
    EXPECT_TRUE(avatar->styleSheet().contains(QStringLiteral("min-width: 43px;max-width: 43px;")))
        << avatar->styleSheet().toStdString();

    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "slot_SetImage",
        Q_ARG(QString, QStringLiteral("%1 %2 %3 %4")), Q_ARG(QString, QStringLiteral("/tmp/7.jpg"))));
    EXPECT_EQ(avatar->styleSheet(),
        QStringLiteral(
            "QLabel{min-width: 43.75px;max-width: 43.75px;min-height: 43.75px;max-height: 43.75px; "
            "border-image:url(/tmp/7.jpg);}"));
}

TEST_F(AccountTest, LoginRequestShowsTheLoginDialogOrTheUserInfo)
{
    auto window = shownWindow();
    const struct {
        const char* what;
        bool signedIn;
        std::function<void()> request;
    } cases[] = {
        { "login button, signed out", false,
            [&] { QTest::mouseClick(child(*window, "pushButton_login"), Qt::LeftButton); } },
        { "login event, signed out", false,
            [&] {
                EventDeliverer::instance()->deliver(new LoginEvent);
                QCoreApplication::sendPostedEvents();
            } },
        { "login button, signed in", true,
            [&] { QTest::mouseClick(child(*window, "pushButton_login"), Qt::LeftButton); } },
        { "login event, signed in", true,
            [&] {
                EventDeliverer::instance()->deliver(new LoginEvent);
                QCoreApplication::sendPostedEvents();
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        signIn(c.signedIn ? 7 : 0, 1);
        const size_t before = commands().size();
        QWidget* parent = nullptr;
        bool dialogFlag = false;
        ModalCloser answer([&](QDialog* dialog) {
            parent = dialog->parentWidget();
            dialogFlag = dialog->windowFlags().testFlag(Qt::Dialog);
        });
        c.request();
        if (c.signedIn) {
            EXPECT_TRUE(answer.seenClass.isEmpty());
            EXPECT_EQ(commands().substr(before), command(210, window.get()));
        } else {
            EXPECT_EQ(answer.seenClass, QByteArray("LoginDialog"));
            EXPECT_EQ(parent, window.get());
            EXPECT_TRUE(dialogFlag);
            EXPECT_EQ(commands().substr(before), "");
        }
    }
}

TEST_F(AccountTest, PayFlow)
{
    enum Trigger { Button, PayRequest };
    enum Answer { Refuse, Accept };
    const QString limitMessage = QStringLiteral("会员有效期已达上限，暂时无法续费");
    const struct {
        const char* what;
        long long id;
        int level;
        QDate end;
        const char* limit;
        Trigger trigger;
        Answer answer;
        const char* dialog; // the modal dialog that comes, "" for none
        bool purchase; // command 220 sent
    } cases[] = {
        { "signed out", 0, 0, {}, "year+1", Button, Refuse, "LoginDialog", false },
        { "non-member", 7, 1, {}, "year+1", Button, Refuse, "", true },
        { "non-member, rights accepted", 7, 1, {}, "year+1", PayRequest, Accept, "VIPRightShowDialog", true },
        { "non-member, rights refused", 7, 1, {}, "year+1", PayRequest, Refuse, "VIPRightShowDialog", false },
        { "member, purchase request", 7, 2, QDate::currentDate().addYears(3), "year+1", PayRequest, Refuse,
            "", true },
        { "member exactly one year ahead", 7, 2, QDate::currentDate().addYears(1), "year+1", Button, Refuse,
            "", true },
        { "member beyond one year", 7, 2, QDate::currentDate().addYears(1).addDays(1), "year+1", Button,
            Refuse, "MessageBoxDialog", false },
        { "limit in months", 7, 2, QDate::currentDate().addYears(1).addDays(1), "month+13", Button, Refuse,
            "", true },
        { "limit in another unit counts days", 7, 2, QDate::currentDate().addDays(40), "week+31", Button,
            Refuse, "MessageBoxDialog", false },
        { "limit without '+'", 7, 2, QDate::currentDate().addDays(10), "year", Button, Refuse,
            "MessageBoxDialog", false },
        { "limit without a number", 7, 2, QDate::currentDate().addDays(10), "year+x", Button, Refuse,
            "MessageBoxDialog", false },
    };
    auto window = shownWindow();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        signIn(c.id, c.level, c.end.toString(QStringLiteral("yyyy-MM-dd")).toUtf8().constData());
        setData(kDataEndTimeLimit, bg::Value(c.limit));
        refresh(*window);
        const size_t before = commands().size();

        QString message;
        QString title;
        ModalCloser answer([&](QDialog* dialog) {
            if (auto* text = dialog->findChild<QLabel*>(QStringLiteral("label_messagebox_content")))
                message = text->text();
            if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("label_title")))
                title = label->text();
            if (c.answer == Accept)
                child<QPushButton>(*dialog, "pushButton_pay_now")->click();
            else if (auto* close = dialog->findChild<QPushButton*>(QStringLiteral("pushButton_close")))
                close->click();
        });
        if (c.trigger == Button) {
            QTest::mouseClick(child(*window, "pushButton_pay"), Qt::LeftButton);
        } else {
            EventDeliverer::instance()->deliver(new PayEvent);
            QCoreApplication::sendPostedEvents();
        }

        EXPECT_EQ(answer.seenClass, QByteArray(c.dialog));
        EXPECT_EQ(commands().substr(before), c.purchase ? command(220, window.get()) : "");
        if (answer.seenClass == "MessageBoxDialog") {
            EXPECT_EQ(title, QStringLiteral("提示"));
            EXPECT_EQ(message, limitMessage);
        }
    }
}

TEST_F(AccountTest, ShareLinkGoesToTheClipboard)
{
    const struct {
        const char* host;
        QString link;
    } cases[] = {
        { "https://h:4433/cmdApi", QStringLiteral("https://h:4433/?id=12345678") },
        { "https://h:4433", QStringLiteral("https://h:4433/?id=12345678") },
        // Only a host that ends in the path loses it.
        { "https://h/cmdApi/v2", QStringLiteral("https://h/cmdApi/v2/?id=12345678") },
    };
    CD->config->set(kCfgShowCopyTips, "0");
    auto window = shownWindow();
    window->slot_ShowMeetingKey(QStringLiteral("12345678"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        setData(kDataNetMeetingHost, bg::Value(c.host));
        ModalCloser unexpected;
        QTest::mouseClick(child(*window, "pushButton_copy_share"), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text(QClipboard::Clipboard), c.link);
        EXPECT_TRUE(unexpected.seenClass.isEmpty()) << "tips are switched off";
    }
}

TEST_F(AccountTest, CopyTipsAreRememberedAfterNotRemind)
{
    setData(kDataNetMeetingHost, bg::Value("https://h:4433/cmdApi"));
    auto window = shownWindow();
    window->slot_ShowMeetingKey(QStringLiteral("12345678"));

    QWidget* parent = nullptr;
    ModalCloser tick([&](QDialog* dialog) {
        parent = dialog->parentWidget();
        child<QCheckBox>(*dialog, "checkBox_not_reminder")->click();
        dialog->accept();
    });
    QTest::mouseClick(child(*window, "pushButton_copy_share"), Qt::LeftButton);
    EXPECT_EQ(tick.seenClass, QByteArray("CopyShareTipsDialog"));
    EXPECT_EQ(parent, window.get());
    EXPECT_EQ(CD->config->get(kCfgShowCopyTips), "0");
    // Saved, not only kept in memory.
    EXPECT_NE(read_text(CD->config->path()).find("show_copy_tips : 0"), std::string::npos);
    EXPECT_TRUE(waitUntil([&] { return window->findChild<CopyShareTipsDialog*>() == nullptr; }));

    ModalCloser none;
    QTest::mouseClick(child(*window, "pushButton_copy_share"), Qt::LeftButton);
    EXPECT_TRUE(none.seenClass.isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("https://h:4433/?id=12345678"));
}

TEST_F(AccountTest, CopyTipsStayOnWithoutNotRemind)
{
    auto window = shownWindow();
    window->slot_ShowMeetingKey(QStringLiteral("1"));
    ModalCloser ok([](QDialog* dialog) { dialog->accept(); });
    QTest::mouseClick(child(*window, "pushButton_copy_share"), Qt::LeftButton);
    EXPECT_EQ(ok.seenClass, QByteArray("CopyShareTipsDialog"));
    EXPECT_EQ(CD->config->get(kCfgShowCopyTips), "1");
}

TEST_F(AccountTest, LogoutEndsAHostedMeeting)
{
    const struct {
        const char* what;
        int isHost; // -1: unset
        QVector<int> delivered;
        const char* token;
    } cases[] = {
        { "host unset counts as host", -1, { UserEventType::CloseMeeting, UserEventType::V3Logout }, "" },
        { "viewer", 0, { UserEventType::V3Logout }, "token" },
    };
    auto window = shownWindow();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setData(kDataMeetingToken, bg::Value("token"));
        if (c.isHost >= 0)
            setData(kDataMeetingIsHost, bg::Value(c.isHost != 0));
        else
            CD->data->erease_data(kDataMeetingIsHost);
        EventRecorder recorder { UserEventType::CloseMeeting, UserEventType::V3Logout };
        refresh(*window);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(recorder.types, c.delivered);
        EXPECT_EQ(CD->data->get_data(kDataMeetingToken, bg::Value("<none>")).toStdString(), c.token);
    }
}

TEST_F(AccountTest, LoginCallbackMarksTheLoginWithoutLoggingTheToken)
{
    auto window = shownWindow();
    TempDir logDir;
    FILE* log = std::fopen(logDir.file("log.txt").c_str(), "w+");
    ASSERT_NE(log, nullptr);
    FILE* previousFile = CD->logger->file();
    const int previousLevel = CD->logger->level();
    CD->logger->set_file(log);
    CD->logger->set_level(5);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "slot_loginCallBack",
        Q_ARG(QString,
            QStringLiteral(R"({"result":{"name":"Alice","token":"s3cret","list":[{"accessToken":"x9"}]}})")),
        Q_ARG(QString, QString()), Q_ARG(int, 0)));
    CD->logger->set_level(previousLevel);
    // Taking the borrowed stream closed the logger's own file: only the console can be handed back, and
    // without it the logger opens its own file again at the next record.
    CD->logger->set_file(previousFile == stdout ? stdout : nullptr);
    std::fclose(log);
    EXPECT_TRUE(CD->data->get_data(kDataIsLogin, bg::Value(false)).toBool());
    const std::string logged = read_text(logDir.file("log.txt"));
    EXPECT_NE(logged.find("执行成功："), std::string::npos) << logged;
    EXPECT_NE(logged.find("Alice"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("s3cret"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("x9"), std::string::npos) << logged;

    CD->data->erease_data(kDataIsLogin);
    QString text;
    ModalCloser answer([&](QDialog* dialog) {
        text = dialog->windowTitle();
        dialog->accept();
    });
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "slot_loginCallBack", Q_ARG(QString, QString()),
        Q_ARG(QString, QStringLiteral("密码错误")), Q_ARG(int, 5)));
    EXPECT_EQ(answer.seenClass, QByteArray("QMessageBox"));
    EXPECT_EQ(text, QStringLiteral("失败提示"));
    EXPECT_FALSE(CD->data->get_data(kDataIsLogin, bg::Value(false)).toBool());
}

// The avatar comes from the local service into a temporary folder of this test.
class AvatarTest : public AccountTest {
protected:
    void SetUp() override
    {
        AccountTest::SetUp();
        ASSERT_TRUE(tempDir.isValid());
        tmpdir = std::make_unique<ScopedEnv>("TMPDIR", tempDir.path().toStdString());
        ASSERT_EQ(QDir::tempPath(), tempDir.path());

        devservice::Service::Options options;
        options.https = false;
        service = std::make_unique<devservice::Service>(options);
        devservice::Route image;
        image.signedBody = false;
        image.handler = [](const devservice::RecordedRequest&) {
            devservice::ScriptedReply reply;
            reply.rawBody = kPicture;
            return reply;
        };
        service->addRoute(kAvatarPath, image);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;

        // Only the low 32 bits name the file, as a signed number.
        signIn((1LL << 32) | 0xffffffffLL, 1);
        avatarFile = tempDir.filePath(QStringLiteral("-1.jpg"));
    }

    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone(30000);
        service.reset();
        tmpdir.reset();
        AccountTest::TearDown();
    }

    void useAvatar(const std::string& path)
    {
        setData(kDataUserAvatar, bg::Value(service->baseUrl() + path));
    }

    QStringList leftInTemp() const
    {
        return QDir(tempDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    static std::string contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<unreadable>";
    }

    static constexpr char kAvatarPath[] = "/avatar/7.jpg";
    static inline const std::string kPicture = "new picture";

    QTemporaryDir tempDir;
    std::unique_ptr<ScopedEnv> tmpdir;
    std::unique_ptr<devservice::Service> service;
    QString avatarFile;
};

TEST_F(AvatarTest, DownloadReplacesTheOldPictureOrKeepsIt)
{
    const struct {
        const char* what;
        int status; // 0: the route's picture; 2xx: the picture with that status
        bool renameFails;
        bool replaced;
    } cases[] = {
        { "200 replaces the file", 0, false, true },
        { "206 replaces the file", 206, false, true },
        { "404 leaves the old one", 404, false, false },
        { "500 leaves the old one", 500, false, false },
        { "a failed rename leaves the old one", 0, true, false },
    };
    auto window = shownWindow();
    auto* avatar = child<QLabel>(*window, "label_title_pic");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(avatarFile).removeRecursively();
        QFile::remove(avatarFile);
        if (c.renameFails) {
            // A folder in the avatar's place cannot be replaced by a file.
            ASSERT_TRUE(QDir().mkpath(avatarFile + QStringLiteral("/inside")));
        } else {
            QFile old(avatarFile);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old picture");
        }
        CD->data->erease_data(kDataUserAvatar);
        refresh(*window);
        const QString defaultStyle = avatar->styleSheet();
        if (c.status) {
            devservice::ScriptedReply reply;
            reply.status = c.status;
            reply.rawBody = c.replaced ? kPicture : "no such picture";
            service->script(kAvatarPath, reply);
        }
        useAvatar(kAvatarPath);
        refresh(*window);

        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(30000));
        if (c.replaced) {
            EXPECT_TRUE(waitUntil([&] { return avatar->styleSheet() != defaultStyle; }));
            EXPECT_TRUE(
                avatar->styleSheet().contains(QStringLiteral("border-image:url(%1)").arg(avatarFile)));
            EXPECT_EQ(contents(avatarFile), kPicture);
        } else {
            QCoreApplication::processEvents();
            EXPECT_EQ(avatar->styleSheet(), defaultStyle);
            if (c.renameFails)
                EXPECT_TRUE(QFileInfo(avatarFile).isDir());
            else
                EXPECT_EQ(contents(avatarFile), "old picture");
        }
        EXPECT_EQ(leftInTemp(), QStringList { QStringLiteral("-1.jpg") }) << "no temporary file is left";
    }
}

TEST_F(AvatarTest, DownloadOutlivingTheWindowTouchesNothing)
{
    devservice::ScriptedReply slow;
    slow.rawBody = kPicture;
    slow.delayMs = 300;
    service->script(kAvatarPath, slow);
    useAvatar(kAvatarPath);
    {
        auto window = shownWindow();
        refresh(*window);
    }
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(30000));
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(service->requests().size(), 1u);
    EXPECT_EQ(contents(avatarFile), kPicture);
}

// Quitting abandons a stalled download: the exit (which waits for the thread pool) does not wait for it.
// The application quits once per process; ctest runs every case in a process of its own.
TEST_F(AvatarTest, QuittingAbandonsAStalledDownload)
{
    devservice::ScriptedReply stalled;
    stalled.rawBody = kPicture;
    stalled.delayMs = 8000;
    service->script(kAvatarPath, stalled);
    useAvatar(kAvatarPath);
    auto window = shownWindow();
    refresh(*window);
    QTimer::singleShot(300, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(4000)) << "the download still holds the exit";
    EXPECT_LT(waited.elapsed(), 4000);
    EXPECT_EQ(contents(avatarFile), "<unreadable>") << "an abandoned download stores nothing";
}

class MembershipEnvironment : public BridgeEnvironment {
public:
    void SetUp() override
    {
        BridgeEnvironment::SetUp();
        const char* names[] = { kRecorderModule };
        ASSERT_EQ(bg::LoadModules(names, 1, true), 1);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new MembershipEnvironment);
    return RUN_ALL_TESTS();
}
