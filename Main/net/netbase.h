#pragma once

#include <QObject>

#include <string>

namespace Zov_Client {
class ZovNet;
}

// Base of every request class: one signed JSON POST to the operator's services and the reading of the reply.
//
// A request object is made for one call on the calling thread, used once and destroyed; it is never shared.
// `post` blocks for the whole exchange. Nothing throws: the outcome is the boolean result plus `code` and
// `message`.
//
// `code`: 0 success; the reply's "errcode"; minus the HTTP status when it is not 200; minus libcurl's failure
// code for a failed transfer; or one of the local failures below. `message`: empty on success, else the
// reply's "errmsg" (or "unknow error !"), the response text, or the local failure's text.
class NetBase : public QObject {
    Q_OBJECT
public:
    // Failures found on this side of the wire.
    enum LocalFailure {
        UnparsableReply = -10, // the reply is not JSON
        ReplyNotObject = -11, // the reply is JSON but not an object
        UndecryptableData = -12, // "encrypt" is set but "result" is not cipher text under the request's key
        UnsignableBody = -13, // the body given to post is empty (sign refused it); nothing was sent
        UnencryptableBody = -14, // the body could not be AES-wrapped (a bad key); nothing was sent
    };

    explicit NetBase(QObject* parent = nullptr);
    ~NetBase() override;

    // Sends `body` to `baseUrl` + `path` (AES-wrapped under `aesKey` with `envelopeVersion` when `encrypt`),
    // with the token header when `token` is not empty. True exactly when `code` is 0 afterwards; `data`
    // receives the reply's "result" text only then. An empty `baseUrl` fails at once with code -3 and the
    // bad-address text; nothing is sent.
    bool post(const std::string& path, const std::string& body, std::string& data, const std::string& baseUrl,
        bool encrypt, const std::string& token, const std::string& aesKey, int envelopeVersion);

    // Adds the fixed header. TLS verification stays on for every base.
    void setupClient(Zov_Client::ZovNet& client, const std::string& baseUrl);

    // Replaces `message` by the user text of a known transfer failure and returns it; any other code leaves
    // `message` as it is.
    const std::string& errorText();
    void setMessage(const std::string& text) { message = text; }

    // The body with the context members and the signature added, as styled JSON; empty when `body` is not a
    // JSON object.
    static std::string sign(const std::string& body);

    // Seconds a transfer may take; 10 unless a test shortens it.
    void setTimeout(int seconds) { m_timeoutSeconds = seconds; }

    // Reads a service reply into `code`, `message` and (on success) `data`, deciphering under `aesKey`.
    // Public for the fuzz target of the reply reader; requests use it through post.
    void readReply(const std::string& reply, std::string& data, const std::string& aesKey);

    int code = 0;
    std::string message;

private:
    void fail(int failureCode, const std::string& text);

    int m_timeoutSeconds = 10;
};
