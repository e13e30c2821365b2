#pragma once

// Runs one fuzz input against the local service's routes in-process, as a sequence of requests, each
// answered as a connection's thread answers it (Service::serve), with fresh routes and rooms per input.
//
// One request per line: "<how> <path>[?query] <body>".
//   <how>: "-" for a body sent as it stands, else letters: "s" signs the body (an object) as the program
//   does, "m" as the membership client does (adding the context members it lacks); "e<version>" last
//   wraps the (signed) body in the AES envelope of the path's route with the version text given
//   ("e200", "e4294967296").
//   Lines that follow a request and start with '>' are its attachment, joined with "\r\n": "$offer" in the
//   body becomes the attachment in base64 (an SDP offer).
//   "$room", "$key", "$token", "$id", "$user_id", "$order_id" in the body become the last such member a
//   result held ("room_id", "owner_key", ...); the last "token" also goes in "Authorization: Bearer".
// A line "frame <text>" hands <text> to the chat rooms' frame reader instead.
#include <devservice/routes.h>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace devservice {
class Service;
class ChatRoomService;
class MediaForwarder;
} // namespace devservice

namespace fuzzservice {

struct Setup {
    // Adds the routes of the group under test; `service` is the one that will answer (for pages that
    // report on it).
    std::function<void(devservice::RouteTable& routes)> routes;
    std::function<void(devservice::Service& service)> afterStart; // optional: routes that need the service
    bool chatRooms = false; // give the requests a room service of their own
    devservice::MediaForwarder* forwarder = nullptr; // the SDP routes' relay, shared across inputs
    bool frames = false; // lines "frame <text>" are read
};

void run(const Setup& setup, const uint8_t* data, size_t size);

// Once per process: the Qt application the chat rooms' objects want.
void initialize();

} // namespace fuzzservice
