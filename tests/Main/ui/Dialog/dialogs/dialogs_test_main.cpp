// The dialogs run inside the program's application object (its message sink stands in for the main
// window's message box) over a framework with a private configuration folder.
#include "app/zovmeetingapplication.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/filepicker.h"
#include "global/urlopener.h"
#include "net/netmanager.h"
#include "ui/Dialog/logindialog.h"
#include "ui/mainwindow.h"
#include "ui/part/viewerfullscreenshowform.h"

#include "Main/event_recorder.h"
#include "Main/shell_env.h"

#include <bridge/abstract_config.h>
#include <bridge/app.h>
#include <bridge/interface.h>

#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // A private folder for the single-instance block and socket, and no way to the operator's services.
    QTemporaryDir runtime;
    qputenv("TMPDIR", runtime.path().toUtf8());
    qputenv("TAVICAST_SERVICE_URL", "http://127.0.0.1:9");
    testing::InitGoogleTest(&argc, argv);
    auto* bridge = new BridgeEnvironment;
    bridge->SetUp();
    CD->app->set_version("1.0.0");
    // Nothing a test forgets to answer may reach the desktop.
    setUrlOpener([](const QUrl&) { return false; });
    setFilePicker([](QWidget*, const QString&, const QString&, const QString&) { return QString(); });
    int result = 0;
    {
        ZovMeetingApplication application(argc, argv);
        application.setMessageSink([](const QString&, const QString&, int) {});
        if (!application.isSecondary()) {
            // The main window answers sign-in and purchase events with dialogs of its own; here the tests'
            // recorders are their only receivers.
            CD->config->set("meeting.app.first.open", "0");
            if (!waitUntil([&] { return application.mainWindow() != nullptr; }))
                return 1;
            // The start-up configuration request has failed (into the silent sink) before a test listens.
            NetManager::instance()->waitIdle(5000);
            QCoreApplication::sendPostedEvents();
            for (int type : { int(UserEventType::Login), int(UserEventType::Pay) })
                EventDeliverer::instance()->unregisterReceiver(type, application.mainWindow());
            result = RUN_ALL_TESTS();
        }
        // The windows live until the process ends; deleting them here keeps the leak check quiet.
        QList<QPointer<QWidget>> windows;
        for (QWidget* widget : QApplication::topLevelWidgets())
            windows.append(widget);
        for (const QPointer<QWidget>& widget : windows) {
            if (qobject_cast<MainWindow*>(widget) || qobject_cast<ViewerFullScreenShowForm*>(widget)
                || qobject_cast<LoginDialog*>(widget))
                delete widget.data();
        }
    }
    setUrlOpener({});
    setFilePicker({});
    bridge->TearDown();
    delete bridge;
    return result;
}
