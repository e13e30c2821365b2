#include <chatroom/chatroom.h>

#include "wsbackend.h"

#include <cstdio>
#include <mutex>

namespace cr {

namespace {

    std::mutex settingsMutex;
    std::function<Endpoints()> endpointProvider;
    BackendFactory backendFactory;

    BackendFactory currentFactory()
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        return backendFactory;
    }

} // namespace

void setEndpointProvider(std::function<Endpoints()> provider)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    endpointProvider = std::move(provider);
}

Endpoints endpoints()
{
    std::function<Endpoints()> provider;
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        provider = endpointProvider;
    }
    return provider ? provider() : Endpoints();
}

void setBackendFactory(BackendFactory factory)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    backendFactory = std::move(factory);
}

std::string quoted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

ChatRoom::ChatRoom(UICallback* callback)
{
    const BackendFactory factory = currentFactory();
    if (factory)
        m_backend = factory(callback);
    if (!m_backend)
        m_backend = std::make_unique<WsBackend>(callback);
}

ChatRoom::~ChatRoom() = default;

std::string ChatRoom::createRoom(const ReqCreateRoom& request, std::string& error)
{
    return m_backend->createRoom(request, error);
}

bool ChatRoom::joinRoom(const std::string& roomId, int64_t userId, const std::string& password,
    RespJoinRoom& response, std::string& error)
{
    return m_backend->joinRoom(roomId, userId, password, response, error);
}

bool ChatRoom::wsConnect(const std::string& roomId, const std::string& token, const std::string& handle,
    int64_t memberId, const std::string& deviceType, bool reportLoss)
{
    return m_backend->wsConnect(roomId, token, handle, memberId, deviceType, reportLoss);
}

bool ChatRoom::sendText(const std::string& text)
{
    return text.size() <= kMaxTextBytes && m_backend->sendText(text);
}

bool ChatRoom::sendCommand(const std::string& command)
{
    return command.size() <= kMaxCommandBytes && m_backend->sendCommand(command);
}

bool ChatRoom::kickout(const ReqKickOut& request, std::string& error)
{
    return m_backend->kickout(request, error);
}

bool ChatRoom::forbiddenWords(const ReqForbiddenWords& request, std::string& error)
{
    return m_backend->forbiddenWords(request, error);
}

bool ChatRoom::disposeRoom(
    const std::string& roomId, const std::string& password, const std::string& token, std::string& error)
{
    return m_backend->disposeRoom(roomId, password, token, error);
}

} // namespace cr
