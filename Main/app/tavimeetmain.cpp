#include "app/tavimeetmain.h"

#include "app/zovmeetingapplication.h"
#include "global/appkeys.h"
#include "global/chatroomendpoints.h"
#include "global/globaldefaults.h"
#include "global/servicehosts.h"
#include "media/capture/capturelog.h"
#include "media/framekitlog.h"
#include "media/i420frame.h"
#include "win/powerinhibitor.h"
#include "win/sharedmemory.h"
#include "win/terminationsignals.h"

#include <bridge/app.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <korvex/zovnet.h>

#include <QApplication>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The whiteboard finds the block as "<base>_<user id>": one per user, so that another user's instance
// neither blocks nor reads this one (the block has mode 0600). A test's program adds its instance's suffix.
constexpr char kWhiteboardMarker[] = "ZovMeeting_Whiteboard_Key";
constexpr uint32_t kWhiteboardMarkerSize = 1024;
constexpr char kWhiteboardReady[] = "okay";

void writeAppInfo()
{
    if (!CD || !CD->app)
        return;
    bg::App* app = CD->app;
    app->set_version("1.0.0");
    app->set_property("channel_id", bg::Value(0), false);
    app->set_name("Tavimeet");
    app->set_release("2023.08.07");
    app->set_organization(servicehosts::kServiceDomain);
    const std::string membership = servicehosts::deploymentUrl(servicehosts::kMembershipApiBase);
    app->set_property("host", bg::Value(membership.c_str()), false);
    app->set_property("product_type", bg::Value(23000), false);
    app->set_property("release", bg::Value(true), false);
    app->set_property("user_version_check", bg::Value(true), false);
}

// The session asks the program to end: close the windows as the user would (a running meeting is ended
// first) and leave the loop once none is left.
void endSession()
{
    QApplication::closeAllWindows();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            return;
    }
    QCoreApplication::quit();
}

} // namespace

int runTavimeet(int argc, char** argv, const TavimeetHooks& hooks)
{
    TerminationSignals::holdBack();
    bg::InitBridge(argc, argv);
    Zov_Client::Init(servicehosts::kServiceDomain);
    std::atexit(bg::UninitBridge);
    routeFramekitLogToProgramLog();

    writeAppInfo();
    DShow::SetLogCallback(DShow::LogToProgramLog, nullptr);
    if (CD && CD->data)
        CD->data->set_data(kDataEndTimeLimit, bg::Value("year+1"));
    initGlobalDefaults();
    installChatRoomEndpoints();

    SharedMemory marker;
    const std::string markerName = std::string(kWhiteboardMarker) + "_" + std::to_string(getuid())
        + SingleApplication::testInstanceSuffix().toStdString();
    if (hooks.announceToWhiteboard
        && marker.create(std::wstring(markerName.begin(), markerName.end()), kWhiteboardMarkerSize, true))
        marker.write(kWhiteboardReady, sizeof kWhiteboardReady);

    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<I420FramePtr>("I420FramePtr");

    int result = 0;
    {
        ZovMeetingApplication app(argc, argv);
        // The display is kept awake from here: the session bus behind the inhibitor needs the application.
        PowerInhibitor::instance().hold(QString::fromLatin1(kHoldProgram), PowerInhibitor::Display);
        TerminationSignals sessionEnd(endSession);
        if (hooks.applicationReady && !app.isSecondary())
            hooks.applicationReady(app);
        result = app.exec();
        if (hooks.applicationEnding)
            hooks.applicationEnding(app);
        PowerInhibitor::instance().release(QString::fromLatin1(kHoldMeeting));
        PowerInhibitor::instance().release(QString::fromLatin1(kHoldProgram));
    }
    return result;
}
