#pragma once

#include <json/value.h>

#include <functional>
#include <string>

class NetBase;

// Where and how a request class posts: base URL, envelope and AES key. The functions read the data store,
// the application info and the environment anew at each call; they may be called from any thread.
struct RequestProfile {
    std::string baseUrl;
    bool encrypt = false;
    std::string aesKey;
    int envelopeVersion = 0;

    // The room service: "NET_MEETING_HOST" when it is set, else the preset "PRE_CONFIG_HOST" (so a viewer
    // who never created a meeting reaches the service too); unwrapped.
    static RequestProfile roomService();
    // The meeting API, the version check and the application configuration: AES-wrapped.
    static RequestProfile meetingApi();
    static RequestProfile versionCheck();
    static RequestProfile appConfig();
    // Chat-room administration: "chatroom_host", AES-wrapped.
    static RequestProfile chatroom();
    // Signalling on the host given with the task; unwrapped.
    static RequestProfile signalling(const std::string& host);
    // Signalling on the streaming service of the machine itself ("http://<own IPv4>:8070"); unwrapped.
    static RequestProfile localSignalling();

    // Test seam: the base of localSignalling() (an empty function restores the machine's own address).
    static void setLocalServerSource(std::function<std::string()> source);
};

// Signs `body` (a JSON object), posts it to `path` with `profile` and `token`, and returns what
// NetBase::post returns; `data` as NetBase::post leaves it.
bool postSigned(NetBase& request, const std::string& path, const Json::Value& body, std::string& data,
    const RequestProfile& profile, const std::string& token = std::string());
