#include <chatroom/fakebackend.h>

#include <algorithm>

namespace cr {

class FakeChatService::Room final : public Backend {
public:
    Room(FakeChatService& service, UICallback* callback)
        : m_service(service)
        , m_callback(callback)
    {
        m_service.m_rooms.push_back(this);
    }

    ~Room() override
    {
        auto& rooms = m_service.m_rooms;
        rooms.erase(std::remove(rooms.begin(), rooms.end(), this), rooms.end());
    }

    UICallback* callback() const { return m_callback; }

    std::string createRoom(const ChatRoom::ReqCreateRoom& r, std::string& error) override
    {
        record("createRoom", { r.name, r.role, r.password, std::to_string(r.maxMembers) });
        return answer(error) ? m_service.roomId : std::string();
    }
    bool joinRoom(const std::string& roomId, int64_t userId, const std::string& password,
        ChatRoom::RespJoinRoom& response, std::string& error) override
    {
        record("joinRoom", { roomId, std::to_string(userId), password });
        if (!answer(error))
            return false;
        response = m_service.join;
        return true;
    }
    bool wsConnect(const std::string& roomId, const std::string& token, const std::string& handle,
        int64_t memberId, const std::string& deviceType, bool reportLoss) override
    {
        record("wsConnect",
            { roomId, token, handle, std::to_string(memberId), deviceType, reportLoss ? "true" : "false" });
        return m_service.succeed;
    }
    bool sendText(const std::string& text) override
    {
        record("sendText", { text });
        return m_service.succeed;
    }
    bool sendCommand(const std::string& command) override
    {
        record("sendCommand", { command });
        return m_service.succeed;
    }
    bool kickout(const ChatRoom::ReqKickOut& r, std::string& error) override
    {
        record("kickout",
            { r.roomId, r.password, r.chatId, std::to_string(r.memberId), std::to_string(r.kickType) });
        return answer(error);
    }
    bool forbiddenWords(const ChatRoom::ReqForbiddenWords& r, std::string& error) override
    {
        record("forbiddenWords",
            { r.roomId, r.password, r.chatId, std::to_string(r.memberId), r.forbid ? "true" : "false",
                std::to_string(r.seconds) });
        return answer(error);
    }
    bool disposeRoom(const std::string& roomId, const std::string& password, const std::string& token,
        std::string& error) override
    {
        record("disposeRoom", { roomId, password, token });
        return answer(error);
    }

private:
    void record(const char* name, std::vector<std::string> args)
    {
        m_service.m_calls.push_back({ name, std::move(args) });
    }
    bool answer(std::string& error)
    {
        if (!m_service.succeed)
            error = m_service.failure;
        return m_service.succeed;
    }

    FakeChatService& m_service;
    UICallback* m_callback;
};

FakeChatService::FakeChatService()
{
    setBackendFactory([this](UICallback* callback) { return std::make_unique<Room>(*this, callback); });
}

FakeChatService::~FakeChatService() { setBackendFactory(nullptr); }

std::vector<FakeChatService::Call> FakeChatService::callsNamed(const std::string& name) const
{
    std::vector<Call> out;
    std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(out),
        [&](const Call& c) { return c.name == name; });
    return out;
}

bool FakeChatService::fire(const std::function<void(UICallback&)>& slot)
{
    if (m_rooms.empty() || !m_rooms.back()->callback())
        return false;
    UICallback* callback = m_rooms.back()->callback();
    slot(*callback); // nothing of the room is touched after this: it may be gone
    return true;
}

} // namespace cr
