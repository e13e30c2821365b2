// The application object at start-up against the local service over TLS: it asks for the application
// configuration through the request worker and keeps what the reply carries, without a message.
#include "app/zovmeetingapplication.h"
#include "global/servicehosts.h"
#include "net/netmanager.h"
#include "net/servicepaths.h"
#include "ui/Dialog/logindialog.h"
#include "ui/mainwindow.h"
#include "ui/part/viewerfullscreenshowform.h"

#include "Main/event_recorder.h"
#include "Main/shell_env.h"

#include <devservice/service.h>

#include <bridge/app.h>
#include <bridge/interface.h>

#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using Rights = QList<QPair<QString, QString>>;

devservice::Service* service = nullptr;
QStringList messages;

ZovMeetingApplication* app() { return static_cast<ZovMeetingApplication*>(QCoreApplication::instance()); }

bool configurationArrived()
{
    Rights rights;
    QString brief;
    app()->vipRights(rights, brief);
    return !brief.isEmpty() || !messages.isEmpty();
}

TEST(StartupConfig, TheApplicationKeepsTheServicesConfiguration)
{
    ASSERT_TRUE(waitUntil(configurationArrived, 30000));

    EXPECT_TRUE(messages.isEmpty()) << messages.join(" | ").toStdString();
    Rights rights;
    QString brief;
    app()->vipRights(rights, brief);
    EXPECT_EQ(brief, QStringLiteral("开通会员，畅享直播"));
    EXPECT_EQ(rights,
        (Rights { { QStringLiteral("直播时长"), QStringLiteral("不限时长") },
            { QStringLiteral("连麦人数"), QStringLiteral("最多4人") } }));
    EXPECT_EQ(app()->playHost(), QStringLiteral("https://play.example.com/meeting"));

    int configRequests = 0;
    for (const devservice::RecordedRequest& request : service->requests()) {
        const std::string suffix = servicepaths::kAppConfigs;
        if (request.path.size() < suffix.size()
            || request.path.compare(request.path.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        ++configRequests;
        EXPECT_TRUE(request.secure);
        EXPECT_TRUE(request.problem.empty()) << request.problem;
    }
    EXPECT_EQ(configRequests, 1);
}

} // namespace

int main(int argc, char** argv)
{
    // A private folder for the single-instance block and socket.
    QTemporaryDir runtime;
    qputenv("TMPDIR", runtime.path().toUtf8());
    testing::InitGoogleTest(&argc, argv);
    auto bridge = std::make_unique<BridgeEnvironment>();
    bridge->SetUp();
    int result = 1;
    {
        ZovMeetingApplication application(argc, argv);
        application.setMessageSink([](const QString& title, const QString& text, int) {
            messages.append(title + QLatin1Char(':') + text);
        });

        // The service and the addresses are in place before the first turn of the event loop, when the
        // application object sends its request.
        devservice::Service local;
        std::string error;
        if (!local.start(&error)) {
            std::fprintf(stderr, "the local service did not start: %s\n", error.c_str());
        } else if (!application.isSecondary()) {
            service = &local;
            qputenv("TAVICAST_SERVICE_URL", QByteArray::fromStdString(local.baseUrl()));
            qputenv("TAVICAST_CA_FILE", QByteArray::fromStdString(local.caFile()));
            // What main writes at start-up: the membership API base as the application-info "host".
            CD->app->set_property(
                "host", bg::Value(servicehosts::deploymentUrl(servicehosts::kMembershipApiBase)), false);
            result = RUN_ALL_TESTS();
        }
        QList<QPointer<QWidget>> windows;
        for (QWidget* widget : QApplication::topLevelWidgets())
            windows.append(widget);
        for (const QPointer<QWidget>& widget : windows) {
            if (qobject_cast<MainWindow*>(widget) || qobject_cast<ViewerFullScreenShowForm*>(widget)
                || qobject_cast<LoginDialog*>(widget))
                delete widget.data();
        }
        // The worker stops with the application object; the service must outlive any reply it sends.
        NetManager::instance()->stop();
    }
    bridge->TearDown();
    return result;
}
