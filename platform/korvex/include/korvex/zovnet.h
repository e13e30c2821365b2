#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace Zov_Client {

// Outcome of one exchange. `status` is the HTTP status when a response arrived, otherwise the transfer's
// failure code (libcurl's CURLcode numbering); it is never 0 or negative. `body` is the response text, or a
// short description of the failure.
struct ZovResponse {
    int status = 0;
    std::string body;
};

// Process-wide set-up of the HTTP stack. Idempotent and thread-safe; ZovNet calls it itself, so calling it
// early only moves the cost to start-up. `domain` is the service domain the program works with (kept for
// diagnostics only).
void Init(const std::string& domain = std::string());

// Upper bound of a response body, in memory or downloaded; a longer body fails the transfer (code 23, write
// error).
constexpr long long kMaxBodyBytes = 32LL * 1024 * 1024;

// A client for one base URL. Requests are synchronous and run on a transfer handle of the calling thread,
// which keeps connections and TLS sessions alive between requests, whichever object makes them: a thread's
// next request to the same host reuses its connection. One object may be used from one thread at a time and
// separate objects from any threads.
//
// TLS peer and host verification are on unless switched off. Besides the system's trusted certificates, the
// PEM file named by the environment variable TAVICAST_CA_FILE (read at each request) is trusted.
class ZovNet {
public:
    explicit ZovNet(std::string baseUrl);

    const std::string& baseUrl() const { return m_baseUrl; }

    void appendHeader(const std::string& name, const std::string& value);
    void setVerifyPeer(bool on) { m_verifyPeer = on; }
    void setVerifyHost(bool on) { m_verifyHost = on; }
    // Bounds each whole transfer, connection included. 0 means no bound.
    void setTimeout(int seconds) { m_timeoutMs = seconds > 0 ? seconds * 1000L : 0; }
    void setTimeoutMs(long milliseconds) { m_timeoutMs = milliseconds > 0 ? milliseconds : 0; }
    // Ends a transfer (code 42, aborted) within about a second once `*flag` is true; the flag must outlive
    // the requests. Null (the default) lets transfers run.
    void setAbortFlag(const std::atomic<bool>* flag) { m_abort = flag; }

    // The base URL and the path are joined as they stand.
    ZovResponse post(const std::string& path, const std::string& body);
    ZovResponse get(const std::string& path);
    // Stores the body of a 200 or 206 response in `filePath` (written to a temporary file and renamed); any
    // other outcome leaves `filePath` untouched. The response's body text is empty on success.
    ZovResponse download(const std::string& path, const std::string& filePath);

    // Where a download's body goes, chunk by chunk: `receive` gets each chunk with the record and returns
    // the bytes it took (fewer ends the transfer with code 23); `user` is the caller's own.
    struct DownCb {
        size_t (*receive)(const char* data, size_t size, size_t count, DownCb* record) = nullptr;
        void* reserved = nullptr;
        void* user = nullptr;
    };
    // GETs `url` with a fresh client (verification on, no extra headers) and hands every body byte of an
    // HTTP response to the record, in order; returns when the transfer has ended. A body above `maxBytes`
    // (0: kMaxBodyBytes) fails with code 23 before any byte is handed over; `timeoutMs` bounds the whole
    // transfer (0: no bound). The status is that of get(); 200 is a complete download.
    static ZovResponse downLoad(const std::string& url, DownCb* record, long long maxBytes, long long timeoutMs);

private:
    enum class Method { Get, Post };
    struct Sink;
    ZovResponse perform(Method method, const std::string& path, const std::string* body, Sink& sink);

    std::string m_baseUrl;
    std::vector<std::pair<std::string, std::string>> m_headers;
    bool m_verifyPeer = true;
    bool m_verifyHost = true;
    long m_timeoutMs = 0;
    const std::atomic<bool>* m_abort = nullptr;
};

} // namespace Zov_Client
