#pragma once

#include <devservice/roomservice.h>

#include <json/value.h>

#include <memory>
#include <string>

namespace devservice {

class Service;

// What a service holds, for tests and demos that run the service as a program of its own and look inside it
// from outside: {"meetings": [...], "chat_rooms": [...], "streams": [...], "requests": [...]}.
//
//  - meetings: the room service's, each {"meetting_key", "title", "room_id", "room_pwd", "started",
//    "streamers": [{"stream_id", "main"}]} (the meeting's own password left out);
//  - chat_rooms: each room standing (a disposed one is gone), {"room_id", "name", "members": [{"user_id",
//    "chat_id", "handle", "device", "owner", "shutup", "connected"}], "kicked_out": [user ids]};
//  - streams: the relay's held streams, each {"stream_id", "players"};
//  - requests: the record, oldest first, each {"method", "path", "query", "headers": [[name, value]...],
//    "plain_body", "problem"}; a JSON body is shown re-written compactly with its secrets (passwords, owner
//    keys, tokens, authorization codes: secrets.h) as "***".
//
// Meetings show their chat room's password, which the tests' phone stand-in joins with, and the recorded
// headers and queries keep the session tokens, which tests read to make sure no client log holds them: the
// service listens on 127.0.0.1 only and is for local tests and demos.
//
// `sections` names the parts wanted, comma-separated; empty: all of them. Returns false with a reason for an
// unknown name.
bool serviceState(const Service& service, const RoomService* rooms, const std::string& sections, Json::Value& out,
    std::string* error = nullptr);

inline constexpr char kStatePagePath[] = "/service/state";

// Serves serviceState() at kStatePagePath, read-only: any method, nothing enveloped or signed, and the page's
// own requests are not recorded. "?only=<sections>" picks parts; an unknown part is answered with errcode
// 400. `rooms` may be null (then "meetings" is empty). The service must outlive its routes, as it does.
void addStatePage(Service& service, std::shared_ptr<const RoomService> rooms);

} // namespace devservice
