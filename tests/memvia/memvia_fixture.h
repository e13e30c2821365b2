#pragma once

#include "base/memviamodule.h"

#include <devservice/membershiproutes.h>
#include <devservice/service.h>

#include "memvia/memvia_component.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest/QTest>

#include <json/reader.h>
#include <json/writer.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

inline Json::Value parseJsonText(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

// One request's completion as the callback saw it.
struct Completion {
    int calls = 0;
    int errcode = 0;
    std::string errmsg;
    std::string result;
    QThread* thread = nullptr;

    // A callback that records into this object.
    auto callback()
    {
        return [this](int code, std::string message, std::string data) {
            ++calls;
            errcode = code;
            errmsg = std::move(message);
            result = std::move(data);
            thread = QThread::currentThread();
        };
    }

    // Runs the event loop until the callback has run, for at most `deadlineMs`.
    bool wait(int deadlineMs = 20000)
    {
        return QTest::qWaitFor([this] { return calls > 0; }, deadlineMs);
    }
};

// The plug-in's component and a local service (plain HTTP) whose membership API is the application's
// "host".
class MembershipFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = false;
        service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        component.app->set_property("host", bg::Value(service->baseUrl() + "/goapi"), false);
    }

    // The last request the service received on `path`, or an empty record.
    devservice::RecordedRequest lastRequest(const std::string& path) const
    {
        const auto requests = service->requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if (it->path == path)
                return *it;
        }
        return devservice::RecordedRequest();
    }

    MemviaComponent component;
    std::unique_ptr<devservice::Service> service;
};
