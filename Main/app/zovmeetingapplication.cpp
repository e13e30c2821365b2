#include "app/zovmeetingapplication.h"

#include "global/eventdeliverer.h"
#include "global/userevent.h"
#include "net/netmanager.h"
#include "ui/Dialog/settingdialog.h"
#include "ui/mainwindow.h"
#include "ui/part/viewerfullscreenshowform.h"
#include "win/fontfallback.h"

#include <bridge/bg_log.h>
#include <bridge/valuemap.h>

#include <json/json.h>
#include <jsonread/jsonread.h>

namespace {

constexpr char kShowMessage[] = "show";
constexpr int kShowMessageTimeoutMs = 100;
// How long queued server calls (the end of a meeting) may still run when the program ends.
constexpr int kRequestDrainMs = 3000;

const int kReceivedEvents[] = {
    UserEventType::V3ShowFullScreen,
    UserEventType::V3ReadyToAddMeeting,
    UserEventType::CloseMeeting,
};

// A member's text; empty when it is no text.
QString text(const Json::Value& object, const char* key)
{
    return QString::fromStdString(jsonread::stringOf(object, key).value_or(std::string()));
}

} // namespace

ZovMeetingApplication::ZovMeetingApplication(int& argc, char** argv)
    : BaseSingleApplication(argc, argv)
{
    NetManager::instance()->start(QThread::InheritPriority);

    if (isSecondary()) {
        sendMessage(QByteArray(kShowMessage), kShowMessageTimeoutMs);
        // quit() before the loop runs would be lost; queued, it ends the loop as soon as main enters it.
        QMetaObject::invokeMethod(this, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
    }

    QMetaObject::invokeMethod(this, &ZovMeetingApplication::initialize, Qt::QueuedConnection);
    for (int type : kReceivedEvents)
        EventDeliverer::instance()->registerReceiver(type, this);
    connect(this, &SingleApplication::receivedMessage, this, [this] { showPrimaryWindow(); });
    installFontFallbacks();
    setStyleSheet(QStringLiteral("QPushButton {outline: none;}"));
}

ZovMeetingApplication::~ZovMeetingApplication()
{
    NetManager* net = NetManager::instance();
    net->waitIdle(kRequestDrainMs);
    net->stop();
}

void ZovMeetingApplication::showPrimaryWindow()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    m_mainWindow->show();
    m_mainWindow->activateWindow();
}

void ZovMeetingApplication::initialize()
{
    m_mainWindow = new MainWindow;
    m_mainWindow->show();

    NetManager* net = NetManager::instance();
    connect(net, &NetManager::SRVGetAppConfigResult, this, &ZovMeetingApplication::onAppConfigResult);
    bg::ValueMap params;
    net->addTask(NetManager::SRVGetAppConfig, params);
}

// Made when a meeting first needs it: its renderer asks the display for OpenGL, which a start that never
// joins a meeting need not wait for.
ViewerFullScreenShowForm* ZovMeetingApplication::ensureViewerFullScreen()
{
    if (m_viewerFullScreen)
        return m_viewerFullScreen;
    m_viewerFullScreen = new ViewerFullScreenShowForm;
    connect(m_viewerFullScreen, &ViewerFullScreenShowForm::cancelFullScreen, this, [this] {
        if (m_viewerFullScreen)
            m_viewerFullScreen->hide();
        if (m_mainWindow)
            m_mainWindow->show();
    });
    return m_viewerFullScreen;
}

void ZovMeetingApplication::onAppConfigResult(bool result, QString jsonResult, int errorCode, QString error)
{
    disconnect(NetManager::instance(), &NetManager::SRVGetAppConfigResult, this, nullptr);

    const QString title = QString::fromUtf8("提示");
    if (!result) {
        BG_LOGE("application configuration request failed: %d %s", errorCode, error.toUtf8().constData());
        showMessageBox(title, QString::fromUtf8("获取软件配置失败\n %1 %2").arg(errorCode).arg(error), 1);
        return;
    }
    Json::Value root;
    const QByteArray json = jsonResult.toUtf8();
    if (!jsonread::parse(json.constData(), json.constData() + json.size(), root)) {
        BG_LOGW("application configuration ignored: the reply is not JSON");
        return;
    }
    if (!readAppConfig(root)) {
        BG_LOGE("application configuration incomplete: a member is missing or of the wrong type");
        showMessageBox(title, QString::fromUtf8("获取软件配置失败"), 1);
        return;
    }
    BG_LOGI("application configuration read: %d rights", int(m_rights.size()));
}

// Reads the members in order and stops at the first that is missing or of the wrong type; what was read
// before it stays.
bool ZovMeetingApplication::readAppConfig(const Json::Value& root)
{
    if (!root.isObject())
        return false;
    const Json::Value* configs = jsonread::objectOf(root, "configs");
    if (!configs || !jsonread::stringOf(*configs, "play_host"))
        return false;
    m_playHost = text(*configs, "play_host");

    const Json::Value* vipRights = jsonread::objectOf(*configs, "vip_rights");
    if (!vipRights || !jsonread::stringOf(*vipRights, "brief"))
        return false;
    m_rightsBrief = text(*vipRights, "brief");

    m_rights.clear();
    // A null list is an empty one.
    const Json::Value& rights = jsonread::member(*vipRights, "rights");
    if (rights.isNull())
        return true;
    if (!rights.isArray())
        return false;
    for (const Json::Value& right : rights) {
        if (!jsonread::stringOf(right, "Key") || !jsonread::stringOf(right, "Val"))
            return false;
        m_rights.append({ text(right, "Key"), text(right, "Val") });
    }
    return true;
}

bool ZovMeetingApplication::event(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::CloseMeeting:
        if (m_viewerFullScreen)
            m_viewerFullScreen->hide();
        if (m_mainWindow)
            m_mainWindow->show();
        return true;
    case UserEventType::V3ReadyToAddMeeting:
        return true;
    case UserEventType::V3ShowFullScreen:
        ensureViewerFullScreen()->showFullScreen();
        if (m_mainWindow)
            m_mainWindow->hide();
        return true;
    default:
        return BaseSingleApplication::event(event);
    }
}

void ZovMeetingApplication::vipRights(QList<QPair<QString, QString>>& rights, QString& brief) const
{
    rights = m_rights;
    brief = m_rightsBrief;
}

void ZovMeetingApplication::showMeetingKey(const QString& key)
{
    if (m_mainWindow)
        m_mainWindow->slot_ShowMeetingKey(key);
}

void ZovMeetingApplication::showMessageBox(const QString& title, const QString& msg, int btn_type)
{
    if (m_messageSink) {
        m_messageSink(title, msg, btn_type);
        return;
    }
    // Reading the guarded pointer off the GUI thread races with the window's destruction only at process
    // end, after every worker has stopped.
    if (MainWindow* window = m_mainWindow.data())
        QMetaObject::invokeMethod(window, "slot_ShowMessageBox", Qt::AutoConnection, Q_ARG(QString, title),
            Q_ARG(QString, msg), Q_ARG(int, btn_type));
}

void ZovMeetingApplication::showFullScreenFrame(I420FramePtr frame)
{
    // Clearing a form that was never made has nothing to clear.
    if (frame || m_viewerFullScreen)
        ensureViewerFullScreen()->showFrame(std::move(frame));
}

// Made on first use, like the full-screen form: a start that never opens the settings does not build them. Its
// stored values are read when it is made, and nothing else writes them meanwhile.
SettingDialog* ZovMeetingApplication::settingDialog()
{
    if (!m_settingDialog && m_mainWindow)
        m_settingDialog = new SettingDialog(m_mainWindow);
    return m_settingDialog.data();
}

MainWindow* ZovMeetingApplication::mainWindow() const { return m_mainWindow.data(); }

ViewerFullScreenShowForm* ZovMeetingApplication::viewerFullScreen() const
{
    return m_viewerFullScreen.data();
}
