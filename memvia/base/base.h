#pragma once

#include <QObject>

#include <json/value.h>

#include <cstdint>
#include <string>

// Root of the plug-in's service classes: the bearer token, the application facts every request carries,
// the membership service's keys and lenient JSON member readers.
//
// The static helpers read the plug-in's component (application info, crypt service, clock) at each call and
// may be used from any thread; without a component they give the defaults. Nothing throws.
class Base : public QObject {
    Q_OBJECT
public:
    explicit Base(QObject* parent = nullptr);

    // The bearer token of the signed-in account; empty here.
    virtual std::string token();

    // The application-info "host" followed directly by `path`.
    static std::string url(const std::string& path);
    static std::string appName();
    static std::string appVersion();
    static int channelId();
    static int productType();
    static int platform() { return 1; }
    static int envelopeVersion() { return 100; }
    static std::string signKey();
    // The AES key of an envelope version; empty for a version this client does not know.
    static std::string cryptKey(int version);

    // The parsed text, or a null value (logged) when it is not JSON or nests too deep; `ok` tells a parsed
    // "null" from a failure.
    static Json::Value parseJson(const std::string& text, bool* ok = nullptr);
    // Readers that never fail: -1, "", null and 0 stand for a missing member, one of another type, or an
    // `object` that is no object.
    static int intMember(const Json::Value& object, const char* name);
    // The same for an integer member that may not fit an int (ids are 64-bit).
    static int64_t int64Member(const Json::Value& object, const char* name);
    static std::string stringMember(const Json::Value& object, const char* name);
    static Json::Value memberValue(const Json::Value& object, const char* name);
    static double doubleMember(const Json::Value& object, const char* name);

    // The membership website: the origin (scheme, host and port) of the API base "host", followed by
    // `path`; empty when the host is no web address.
    static std::string websiteUrl(const std::string& path);

    // The primary screen's logical DPI over 96, computed once (1 without a screen). GUI thread.
    static double dpiScale();
    // Test seam: a scale above 0 replaces the screen's; 0 restores it.
    static void setDpiScaleOverride(double scale);

    // The framework's services as the requests use them.
    static int64_t nowMicroseconds();
    static std::string aesEncrypt(const std::string& text, const std::string& key, bool* ok);
    static std::string aesDecrypt(const std::string& cipher, const std::string& key, bool* ok);
    // The MD5 digest of the text as 32 lower-case hex digits.
    static std::string md5(const std::string& text);
};
