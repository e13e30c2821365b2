#pragma once

#include "net/requestprofile.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include <devservice/service.h>

#include "support/scoped_env.h"
#include "support/service_component.h"

#include <json/reader.h>
#include <json/writer.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

inline Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

inline std::string compact(const Json::Value& value)
{
    Json::FastWriter writer;
    writer.omitEndingLineFeed();
    return writer.write(value);
}

// Every request class against one local service: the built-in bases point at it through
// TAVICAST_SERVICE_URL, the data store and the application info are maps of the test, and the streaming
// service of "this machine" is the local service too.
class RequestFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        devservice::Service::Options options;
        options.https = false;
        service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
        base = service->baseUrl();
        serviceUrl.emplace("TAVICAST_SERVICE_URL", base);
        RequestProfile::setLocalServerSource([this] { return base; });
        requeststore::setStores(requeststore::Stores { [this](const char* key, const bg::Value& fallback) {
                                                          const auto found = data.find(key);
                                                          return found == data.end() ? fallback
                                                                                     : found->second;
                                                      },
            [this](const char* key, const bg::Value& value) { data[key] = value; },
            [this](const char* key, const bg::Value& fallback) {
                const auto found = app.find(key);
                return found == app.end() ? fallback : found->second;
            } });
    }

    void TearDown() override
    {
        requeststore::setStores(std::nullopt);
        RequestProfile::setLocalServerSource(nullptr);
    }

    // The stores of a signed-in user whose services all live on the local service.
    void signIn()
    {
        data[netkeys::kUserToken] = bg::Value("user-tok");
        data[netkeys::kMeetingToken] = bg::Value("meet-tok");
        data[netkeys::kNetMeetingHost] = bg::Value(base);
        data[netkeys::kChatroomHost] = bg::Value(base);
        app[netkeys::kAppHost] = bg::Value(base + "/goapi");
    }

    ServiceComponent component;
    std::unique_ptr<devservice::Service> service;
    std::string base;
    std::optional<ScopedEnv> serviceUrl;
    std::map<std::string, bg::Value> data;
    std::map<std::string, bg::Value> app;
};
