#pragma once

#include "base/base.h"

#include <QString>

#include <atomic>

#include <functional>
#include <string>

// Completion of one request: (errcode, errmsg, result). errcode 0 is success.
using RequestCallback = std::function<void(int errcode, std::string errmsg, std::string result)>;

// The outcome of one request; each request has its own.
struct RequestResult {
    int errcode = -1;
    std::string errmsg;
    std::string result;

    bool ok() const { return errcode == 0; }
};

// The membership service's request engine: signs a parameter object, wraps it in the AES envelope, posts it
// and reduces the reply to (errcode, errmsg, result).
//
// errcode: 0 success; the reply's "errcode" (-1 when missing); minus the HTTP status when it is not 200;
// minus the transfer's failure code (libcurl's numbering: -7 refused, -28 time-out, -60 untrusted
// certificate); -10 a reply that is not JSON; -11 a result that does not decipher; -1 a reply enciphered
// under another envelope version. errmsg: the reply's "errmsg", the response text, or this side's text.
//
// `postAsync` runs the exchange on Qt's global thread pool and calls the callback exactly once, on the
// thread of the application object, through the event loop; `postSync` blocks the calling thread. Every
// exchange is bounded by the time-out. TLS verification stays on for "https://"; the service's authority
// comes from the file named by TAVICAST_CA_FILE.
class BaseNet : public Base {
    Q_OBJECT
public:
    explicit BaseNet(QObject* parent = nullptr);

    // GUI thread. Returns at once.
    void postAsync(const std::string& url, const std::string& body, RequestCallback callback, bool encrypt,
        const std::string& token);
    // Any thread. Returns the errcode. The exchange ends early (libcurl's code 42, -42) once `*abort`, when
    // given, is true.
    int postSync(const std::string& url, const std::string& body, bool encrypt, const std::string& token,
        std::string& result, std::string& errmsg, const std::atomic<bool>* abort = nullptr);

    // The parameter object (an empty one when `params` is no JSON object) completed with the common members
    // and the signature, as styled JSON. `makeBody(params)` stamps the time now.
    static std::string makeBody(const std::string& params);
    static std::string makeBody(const std::string& params, int64_t reqTime);
    // The text the signature digests: each member sorted by name as "name=value&", then "&" and the salt.
    static std::string signText(const Json::Value& object);

    static RequestResult do_post(const std::string& url, const std::string& body, bool encrypt,
        const std::string& token, const std::atomic<bool>* abort = nullptr);
    // The reply rules over a response's status and body.
    static RequestResult readReply(int status, const std::string& body);

    // Waits until every exchange postAsync started has ended (each is bounded by the time-out below).
    static void waitForExchanges();
    // Ends the exchanges under way at once (each fails with -42) and waits for them: quitting does not wait
    // for a slow service. Later exchanges run as usual.
    static void abortExchanges();

    // Bound of a whole exchange; 30 s unless a test changes it.
    static void setTimeoutMs(long milliseconds);
    static long timeoutMs();

public slots:
    void slot_callBack(int id, int errcode, QString errmsg, QString result);

private:
    static void deliver(int id, int errcode, const std::string& errmsg, const std::string& result);
};
