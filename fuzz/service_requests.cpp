#include "service_requests.h"

#include "fuzz_check.h"

#include <devservice/chatrooms.h>
#include <devservice/httpserver.h>
#include <devservice/jsonfields.h>
#include <devservice/mediaforwarder.h>
#include <devservice/membershiproutes.h>
#include <devservice/requestverifier.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>

#include <json/writer.h>

#include <QByteArray>
#include <QCoreApplication>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fuzzservice {

namespace {

    constexpr size_t kMaxRequests = 32;

    struct Request {
        std::string line;
        std::string attachment;
    };

    std::string compact(const Json::Value& value)
    {
        Json::FastWriter writer;
        writer.omitEndingLineFeed();
        return writer.write(value);
    }

    std::vector<Request> requestsOf(const std::string& input)
    {
        std::vector<Request> requests;
        size_t start = 0;
        while (start <= input.size() && requests.size() <= kMaxRequests) {
            size_t end = input.find('\n', start);
            if (end == std::string::npos)
                end = input.size();
            const std::string line = input.substr(start, end - start);
            if (!line.empty() && line[0] == '>') {
                if (!requests.empty()) {
                    std::string& attachment = requests.back().attachment;
                    attachment += (attachment.empty() ? "" : "\r\n") + line.substr(1);
                }
            } else if (!line.empty()) {
                requests.push_back({ line, std::string() });
            }
            start = end + 1;
        }
        if (requests.size() > kMaxRequests)
            requests.resize(kMaxRequests);
        return requests;
    }

    void replaceAll(std::string& text, const std::string& from, const std::string& to)
    {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }

    // Adds the members a signed body carries when it lacks them, then its signature.
    std::string sign(const std::string& body, bool membership)
    {
        Json::Value object;
        if (!devservice::jsonfields::parse(body, object) || !object.isObject())
            return body;
        const auto ensure = [&](const char* name, const Json::Value& value) {
            if (!object.isMember(name))
                object[name] = value;
        };
        ensure("req_time", 1700000000);
        ensure("platform", 1);
        ensure("platform_type", 1);
        ensure("app_version", "1.0.0");
        ensure("app_name", "Tavimeet");
        if (membership) {
            ensure("channel_id", 1);
            object.removeMember("sign");
            object["sign"] = devservice::md5Hex(devservice::membershipSignatureText(object));
        } else {
            ensure("client", "desktop");
            object.removeMember("sign");
            object["sign"] = devservice::md5Hex(devservice::signatureText(object));
        }
        return compact(object);
    }

    // Keeps what a result names for the placeholders of later requests.
    void remember(const std::string& replyBody, const std::string& aesKey, std::map<std::string, std::string>& values)
    {
        Json::Value reply;
        if (!devservice::jsonfields::parse(replyBody, reply))
            return;
        Json::Value result = devservice::jsonfields::member(reply, "result");
        if (const std::optional<std::string> cipher = devservice::jsonfields::toString(result)) {
            const std::optional<std::string> plain = devservice::aesDecrypt(*cipher, aesKey);
            if (!plain || !devservice::jsonfields::parse(*plain, result))
                return;
        }
        for (const char* name : { "room_id", "owner_key", "token", "id", "user_id", "order_id", "auto_login_token" }) {
            const Json::Value& value = devservice::jsonfields::member(result, name);
            if (const std::optional<std::string> text = devservice::jsonfields::toString(value))
                values[name] = *text;
            else if (const std::optional<int64_t> number = devservice::jsonfields::toInt64(value))
                values[name] = std::to_string(*number);
        }
    }

} // namespace

void initialize()
{
    static int argc = 1;
    static char name[] = "fuzz_service";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

void run(const Setup& setup, const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    devservice::RouteTable routes;
    setup.routes(routes);
    // Options made once: their default routes are the whole table, built anew on every construction.
    static const devservice::Service::Options base = [] {
        devservice::Service::Options made;
        made.routes.clear();
        made.https = false;
        made.recordLimit = 16;
        return made;
    }();
    devservice::Service::Options options = base;
    options.routes = routes;
    devservice::Service service(options);
    if (setup.afterStart)
        setup.afterStart(service);
    std::unique_ptr<devservice::ChatRoomService> rooms
        = setup.chatRooms ? std::make_unique<devservice::ChatRoomService>() : nullptr;

    std::map<std::string, std::string> values;
    for (const Request& request : requestsOf(input)) {
        if (setup.frames && request.line.rfind("frame ", 0) == 0) {
            const auto read = devservice::ChatRoomService::readFrame(request.line.substr(6));
            FUZZ_CHECK((read.kind == devservice::ChatRoomService::Frame::Refused) != read.refusal.empty());
            continue;
        }
        const size_t space1 = request.line.find(' ');
        if (space1 == std::string::npos)
            continue;
        const std::string how = request.line.substr(0, space1);
        const size_t space2 = request.line.find(' ', space1 + 1);
        const std::string target = request.line.substr(
            space1 + 1, space2 == std::string::npos ? std::string::npos : space2 - space1 - 1);
        std::string body = space2 == std::string::npos ? std::string() : request.line.substr(space2 + 1);

        for (const auto& [name, value] : values) {
            const std::string placeholder = "$" + std::string(name == "room_id" ? "room"
                    : name == "owner_key"                                      ? "key"
                                                                               : name);
            replaceAll(body, placeholder, value);
        }
        replaceAll(body, "$offer", QByteArray::fromStdString(request.attachment).toBase64().toStdString());

        devservice::HttpRequest http;
        http.method = "POST";
        http.version = "HTTP/1.1";
        const size_t question = target.find('?');
        http.path = target.substr(0, question);
        http.query = question == std::string::npos ? std::string() : target.substr(question + 1);
        const auto route = routes.find(http.path);
        const std::string aesKey = route != routes.end() ? route->second.aesKey : std::string();

        const size_t envelopeAt = how.find('e');
        const std::string signing = how.substr(0, envelopeAt);
        if (signing.find('s') != std::string::npos)
            body = sign(body, false);
        else if (signing.find('m') != std::string::npos)
            body = sign(body, true);
        if (envelopeAt != std::string::npos) {
            body = "{\"params\":\"" + devservice::aesEncrypt(body, aesKey)
                + "\",\"version\":" + how.substr(envelopeAt + 1) + "}";
        }
        http.body = body;
        http.headers.emplace_back("host", "127.0.0.1:1");
        http.headers.emplace_back("content-type", "application/json");
        if (values.count("token"))
            http.headers.emplace_back("authorization", "Bearer " + values["token"]);

        const devservice::HttpReply reply = service.serve(http, rooms.get(), setup.forwarder);
        // A route that throws is answered 500: a fault of the route, whatever the input.
        FUZZ_CHECK(reply.status != 500);
        remember(reply.body, aesKey, values);
    }
    if (setup.forwarder) {
        for (const long long id : setup.forwarder->streams())
            setup.forwarder->close(id);
    }
}

} // namespace fuzzservice
