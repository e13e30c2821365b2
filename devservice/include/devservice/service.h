#pragma once

#include <devservice/chatrooms.h>
#include <devservice/routes.h>

#include <QtGlobal>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QThread;
class QTemporaryDir;

namespace devservice {

class HttpServer;
class MediaForwarder;
struct HttpReply;
struct HttpRequest;

struct ServiceOptions {
    bool https = true;
    quint16 port = 0; // 0: any free port
    std::string caFile; // where to write the authority's certificate; empty: a private temporary folder
    RouteTable routes = defaultRoutes();
    int threads = 0; // threads that serve connections; 0: one per processor (2 to 16)
    size_t recordLimit = 1000; // requests kept for requests(), the newest
};

// The local stand-in for the operator's services on 127.0.0.1: one port for every route, HTTPS with a
// certificate made at start (its authority written to `caFile()`, which clients trust through
// TAVICAST_CA_FILE) or plain HTTP.
//
// It serves from threads of its own, so a test may block on a synchronous request while it answers; several
// requests are served at once, so route handlers must be thread-safe. All public functions are thread-safe.
// Each request is decoded and checked on its own terms (envelope key of the route, signature), recorded, and
// answered by the next reply scripted for its path, else by the route. The record keeps the newest
// `recordLimit` requests.
class Service {
public:
    using Options = ServiceOptions;

    explicit Service(Options options = Options());
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Makes the certificates, binds and starts serving. Returns false with a reason in `error`.
    bool start(std::string* error = nullptr);
    void stop();

    quint16 port() const;
    std::string baseUrl() const; // "https://127.0.0.1:<port>" or "http://…"
    std::string caFile() const; // empty over plain HTTP

    void addRoute(const std::string& path, Route route);
    // Queues a reply for the next request on `path`; each scripted reply is used once, in order.
    void script(const std::string& path, ScriptedReply reply);

    // The recorded requests, oldest first.
    std::vector<RecordedRequest> requests() const;
    void clearRequests();
    // Bounds the record to the newest `limit` requests (older ones are dropped now and from then on).
    void setRecordLimit(size_t limit);

    // The chat rooms as they stand; empty while the service is stopped.
    std::vector<ChatRoomSnapshot> chatRooms() const;

    // The WebRTC relay behind the SDP routes; null while the service is stopped.
    MediaForwarder* forwarder() const;

    // Answers `request` as a connection's thread does (scripted reply, route, decoding, record), without
    // sockets or a start; `chatRooms` and `forwarder` stand in for the running service's own. For drivers
    // that run the routes in-process.
    HttpReply serve(const HttpRequest& request, ChatRoomService* chatRooms, MediaForwarder* forwarder);

    // The reply a route gives to a request whose envelope or signature was refused.
    static constexpr int kRefusedCode = 400;

private:
    HttpReply handle(const HttpRequest& request);
    void record(RecordedRequest request); // with m_mutex held
    static void decode(const Route& route, RecordedRequest& record);
    static HttpReply render(const ScriptedReply& reply, const std::string& aesKey);

    Options m_options;
    std::unique_ptr<QTemporaryDir> m_temporaryDir;
    std::unique_ptr<QThread> m_thread;
    HttpServer* m_server = nullptr; // lives in m_thread, deleted there
    ChatRoomService* m_chatRooms = nullptr; // lives in m_thread, deleted there before m_server
    std::unique_ptr<MediaForwarder> m_forwarder; // ends after the server, so no request is still using it
    quint16 m_port = 0;
    std::string m_caFile;

    mutable std::mutex m_mutex; // guards everything below
    RouteTable m_routes;
    std::map<std::string, std::deque<ScriptedReply>> m_scripts;
    std::deque<RecordedRequest> m_requests;
    size_t m_recordLimit;
};

} // namespace devservice
