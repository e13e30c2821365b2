#pragma once

#include <json/value.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace devservice {

class ChatRoomService;
class MediaForwarder;

// One request as the service received and understood it.
struct RecordedRequest {
    std::string method;
    std::string path;
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string body; // as received
    bool secure = false; // it came over TLS
    unsigned long long connection = 0; // the number of the connection it came on: equal for a kept connection

    bool enveloped = false; // the body was an AES envelope
    Json::Value envelopeVersion; // the envelope's version member, null when absent
    std::string plainBody; // the deciphered body, or the body itself
    Json::Value members; // the plain body parsed, with its JSON types; null when it is not JSON
    bool signatureValid = false;
    std::string problem; // why the envelope or the signature was refused; empty when both are sound
    ChatRoomService* chatRooms = nullptr; // the chat rooms of the service that received it
    MediaForwarder* forwarder = nullptr; // the WebRTC relay of the service that received it

    std::string header(const std::string& lowerCaseName) const;
};

// What the service answers. Unless `rawBody` is set, the body is the reply object
// {"errcode", "errmsg", "encrypt", "result"}.
struct ScriptedReply {
    int status = 200;
    std::optional<std::string> rawBody; // sent as it stands
    std::string contentType; // of a raw body; empty: "application/json"
    int errcode = 0;
    std::string errmsg;
    Json::Value result; // omitted when null
    bool encrypt = false; // "encrypt": 1 and the result AES-wrapped (a string's text, else its compact JSON)
    bool wrongKey = false; // wrap with a key the client does not have
    int delayMs = 0;
    bool drop = false; // close the connection without an answer

    static ScriptedReply success(Json::Value result = Json::Value());
    static ScriptedReply failure(int errcode, std::string errmsg);
};

// A path the service serves.
struct Route {
    // The request's AES key: it opens the envelope around request bodies and enciphers replies.
    std::string aesKey;
    // Whether request bodies arrive in the AES envelope.
    bool envelope = false;
    // Whether the body must carry a valid signature; an unsigned or badly signed body is answered with an
    // error.
    bool signedBody = true;
    // The answer when nothing is scripted for the path. Unset: an empty success.
    std::function<ScriptedReply(const RecordedRequest&)> handler;
    // Whether its requests are kept in the record. A page that reports the record is not, so that polling it
    // pushes nothing else out.
    bool recorded = true;
};

using RouteTable = std::map<std::string, Route>;

// The paths every run of the service serves. Grows with the requests the client makes.
RouteTable defaultRoutes();

} // namespace devservice
