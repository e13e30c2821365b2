#pragma once

// What the hosting tests share: the local service with its room service, the chat rooms pointed at it,
// the request worker running, the meeting notices recorded and the events of the hub kept.
#include "Main/ui/part/sidepanel_support.h"

#include "app/meetingnotice.h"
#include "global/meetingprompt.h"
#include "global/processlauncher.h"
#include "net/netmanager.h"

#include <chatroom/chatroom.h>
#include <devservice/roomservice.h>
#include <devservice/service.h>

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace hosting {

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devservice::ServiceOptions options;
        options.https = false;
        rooms = devservice::addRoomServiceRoutes(options.routes);
        service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        base = service->baseUrl();
        wss = "ws://127.0.0.1:" + std::to_string(service->port()) + "/chat";
        cr::setEndpointProvider([this] { return cr::Endpoints { base, wss }; });
        if (!NetManager::instance()->isRunning())
            NetManager::instance()->start();
        setMeetingNoticeSink([this](const QString&, const QString& text, int) { notices << text; });
        setProcessLauncher([this](const QString& program, const QStringList& args, qint64* pid) {
            launched << program + " " + args.join(' ');
            *pid = 0;
            return true;
        });
    }

    void TearDown() override
    {
        NetManager::instance()->waitIdle(5000);
        sidepanel::settle();
        setMeetingNoticeSink({});
        setProcessLauncher({});
        cr::setEndpointProvider(nullptr);
        service.reset();
    }

    // The recorded requests whose path ends with `path`.
    int requestsTo(const std::string& path) const
    {
        int n = 0;
        for (const auto& request : service->requests())
            n += request.path.size() >= path.size()
                    && request.path.compare(request.path.size() - path.size(), path.size(), path) == 0
                ? 1
                : 0;
        return n;
    }

    const devservice::RecordedRequest* lastRequestTo(const std::string& path) const
    {
        static devservice::RecordedRequest last;
        bool found = false;
        for (const auto& request : service->requests()) {
            if (request.path.size() >= path.size()
                && request.path.compare(request.path.size() - path.size(), path.size(), path) == 0) {
                last = request;
                found = true;
            }
        }
        return found ? &last : nullptr;
    }

    std::shared_ptr<devservice::RoomService> rooms;
    std::unique_ptr<devservice::Service> service;
    std::string base;
    std::string wss;
    QStringList notices;
    QStringList launched;
};

} // namespace hosting
