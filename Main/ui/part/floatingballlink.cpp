#include "ui/part/floatingballlink.h"

#include "app/localserver.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "ui/part/meetingmainctrlform.h"

#include <bridge/bg_log.h>

#include <json/json.h>
#include <jsonread/jsonread.h>

#include <QWidget>

#include <optional>
#include <string>

namespace {

QString styled(const Json::Value& value) { return QString::fromStdString(value.toStyledString()); }

} // namespace

FloatingBallLink::FloatingBallLink(QWidget* window, MeetingMainCtrlForm* bar, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_bar(bar)
{
}

void FloatingBallLink::setServer(LocalServer* server)
{
    if (m_server)
        disconnect(m_server, nullptr, this, nullptr);
    m_server = server;
    if (server)
        connect(server, &LocalServer::message, this, &FloatingBallLink::handleMessage);
}

void FloatingBallLink::handleMessage(const QString& text)
{
    // The ball is another process: its text is read with the guarded reader, and what escapes an action
    // fails that message alone.
    const std::optional<Json::Value> message = jsonread::parseObject(text.toStdString());
    if (!message)
        return;
    const std::optional<std::string> type = jsonread::stringOf(*message, "type");
    if (!type)
        return;
    const struct {
        const char* type;
        std::function<void()> action;
    } actions[] = {
        { "whiteboard", [this] { if (m_bar) m_bar->on_pushButton_board_clicked(); } },
        { "close", [this] { closeMeeting(); } },
        { "camera", [this] { if (m_bar) m_bar->toggleCamera(); } },
        { "show", [this] { showWindow(); } },
        { "chatroom", [this] { if (showChatRoom) showChatRoom(); } },
        { "memberlist", [this] { if (showMemberList) showMemberList(); } },
    };
    for (const auto& entry : actions) {
        if (*type == entry.type) {
            std::string error;
            if (!jsonread::guarded(entry.action, &error))
                BG_LOGE("floating ball message \"%s\" failed: %s", type->c_str(), error.c_str());
            return;
        }
    }
}

void FloatingBallLink::closeMeeting()
{
    if (m_window) {
        QWidget* top = m_window->window();
        if (top->isHidden())
            top->show();
        top->showNormal();
        top->activateWindow();
    }
    BG_LOGE("[CloseMeeting]:主持端点击悬浮球停止按钮退出直播");
    EventDeliverer::instance()->deliver(new CloseMeetingEvent());
}

void FloatingBallLink::showWindow()
{
    if (!m_window)
        return;
    QWidget* top = m_window->window();
    if (top->isMinimized())
        top->showNormal();
    top->show();
    top->activateWindow();
}

QString FloatingBallLink::cameraMessage(bool opened)
{
    Json::Value value(Json::objectValue);
    value["type"] = "camera";
    value["opened"] = opened;
    return styled(value);
}

QString FloatingBallLink::durationMessage(qint64 seconds)
{
    Json::Value value(Json::objectValue);
    value["type"] = "duration";
    value["duration"] = Json::Int64(seconds);
    return styled(value);
}

QString FloatingBallLink::hideMessage()
{
    Json::Value value(Json::objectValue);
    value["type"] = "hide";
    return styled(value);
}

void FloatingBallLink::sendCameraState(bool opened) { send(cameraMessage(opened)); }

void FloatingBallLink::sendDuration(qint64 seconds) { send(durationMessage(seconds)); }

void FloatingBallLink::sendHide() { send(hideMessage()); }

void FloatingBallLink::send(const QString& text)
{
    if (m_server)
        m_server->broadcast(text);
}
