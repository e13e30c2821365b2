#pragma once

#include <chatroom/chatroom.h>

#include <devservice/service.h>

#include "support/scoped_env.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace chattest {

constexpr int kDeadlineMs = 60000;

// Runs the test thread's events until `condition` holds; false when the deadline passes first.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = kDeadlineMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// One callback as it arrived: its slot's name and its arguments as texts.
struct Event {
    std::string slot;
    std::vector<std::string> args;
    bool onCreatingThread = false;
};

// Keeps every callback; `hook` runs after each one is recorded (and may delete the room).
class Recorder : public cr::UICallback {
public:
    std::vector<Event> events;
    std::function<void(const Event&)> hook;
    QThread* creatingThread = QThread::currentThread();

    int count(const std::string& slot) const
    {
        int n = 0;
        for (const Event& e : events)
            n += e.slot == slot ? 1 : 0;
        return n;
    }
    std::vector<Event> named(const std::string& slot) const
    {
        std::vector<Event> out;
        for (const Event& e : events) {
            if (e.slot == slot)
                out.push_back(e);
        }
        return out;
    }

    void onConnected() override { note("connected", {}); }
    void onDisconnected() override { note("disconnected", {}); }
    void onChatDispose() override { note("dispose", {}); }
    void onSelfID(const std::string& chatId, const std::string& handle) override
    {
        note("self", { chatId, handle });
    }
    void onPeers(const std::string& peers) override { note("peers", { peers }); }
    void onPeerJoined(const std::string& chatId, const std::string& handle, const std::string& device,
        const std::string& peer) override
    {
        note("joined", { chatId, handle, device, peer });
    }
    void onPeerLeft(const std::string& chatId, const std::string& peer) override
    {
        note("left", { chatId, peer });
    }
    void onRoomError(const std::string& message) override { note("error", { message }); }
    void onRoomForbidden(int shutup) override { note("forbidden", { std::to_string(shutup) }); }
    void onRecordMessage(
        const std::string& chatId, const std::string& handle, const std::string& text, int64_t time) override
    {
        note("text", { chatId, handle, text, std::to_string(time) });
    }
    void onRecievedCommand(const std::string& chatId, const std::string& handle, const std::string& command,
        int64_t time) override
    {
        note("cmd", { chatId, handle, command, std::to_string(time) });
    }

private:
    void note(const char* slot, std::vector<std::string> args)
    {
        events.push_back({ slot, std::move(args), QThread::currentThread() == creatingThread });
        if (hook)
            hook(events.back());
    }
};

// A member of a room on the local service: its callback, its client and what joining gave it.
struct Member {
    Recorder callback;
    std::unique_ptr<cr::ChatRoom> room = std::make_unique<cr::ChatRoom>(&callback);
    std::string handle;
    cr::ChatRoom::RespJoinRoom joined;
    std::string chatId() const
    {
        const auto self = callback.named("self");
        return self.empty() ? std::string() : self[0].args[0];
    }
};

// The local service in-process (over HTTPS with its authority trusted when `https` is set before SetUp),
// and the clients' addresses pointing at it.
class ServiceFixture : public ::testing::Test {
protected:
    static constexpr char kPassword[] = "room-secret-pw";

    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = https;
        service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        if (https)
            trust.emplace("TAVICAST_CA_FILE", service->caFile());
        cr::setEndpointProvider([this] { return addresses(); });
    }

    void TearDown() override
    {
        members.clear();
        cr::setEndpointProvider(nullptr);
        service->stop();
        QCoreApplication::processEvents();
    }

    cr::Endpoints addresses() const
    {
        const std::string origin = "127.0.0.1:" + std::to_string(service->port());
        return { service->baseUrl(), std::string(https ? "wss://" : "ws://") + origin + "/chat" };
    }

    // The host makes the room, joins it as its owner and connects; returns the room id.
    std::string host()
    {
        std::string error;
        roomId = members.emplace_back(std::make_unique<Member>())
                     ->room->createRoom({ "ZovMeeting", "Teacher", kPassword, 10 }, error);
        EXPECT_FALSE(roomId.empty()) << error;
        connect(*members.back(), "主持人");
        return roomId;
    }

    Member& guest(const std::string& handle)
    {
        connect(*members.emplace_back(std::make_unique<Member>()), handle);
        return *members.back();
    }

    void connect(Member& member, const std::string& handle)
    {
        std::string error;
        member.handle = handle;
        ASSERT_TRUE(member.room->joinRoom(roomId, 0, kPassword, member.joined, error)) << error;
        ASSERT_TRUE(
            member.room->wsConnect(roomId, member.joined.token, handle, member.joined.memberId, "", true));
        ASSERT_TRUE(waitFor([&] { return member.callback.count("peers") == 1; }))
            << "connection of " << handle;
    }

    // Plain HTTP unless a test is about TLS: every process that opens a wss connection first reads the
    // system's certificate store, which is slow under the sanitizers.
    bool https = false;
    std::unique_ptr<devservice::Service> service;
    std::optional<ScopedEnv> trust;
    std::vector<std::unique_ptr<Member>> members;
    std::string roomId;
};

} // namespace chattest
