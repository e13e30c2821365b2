#pragma once

// The request layer's wire vocabulary: header names and values, the envelope around request bodies, the
// members of a service reply and of a request signature. The program's and the plug-in's clients and the
// local service all use these names, so they are fixed here once. No dependency beyond the language.

namespace wire {

// Sent with every request.
inline constexpr char kContentTypeHeader[] = "Content-Type";
inline constexpr char kContentTypeValue[] = "application/json";

// Sent when the request carries a token: the prefix immediately followed by the token.
inline constexpr char kTokenHeader[] = "Authorization";
inline constexpr char kTokenPrefix[] = "Bearer ";

// Envelope of an AES-wrapped request body: {"params": <cipher text>, "version": <envelope version>}.
inline constexpr char kEnvelopeCipher[] = "params";
inline constexpr char kEnvelopeVersion[] = "version";

// Service reply: {"errcode", "errmsg", "encrypt", "result"}; "encrypt" above 0 means "result" is cipher text.
inline constexpr char kReplyCode[] = "errcode";
inline constexpr char kReplyMessage[] = "errmsg";
inline constexpr char kReplyEncrypted[] = "encrypt";
inline constexpr char kReplyData[] = "result";

// Context members every signed body carries, in the order they are set, and the signature itself.
inline constexpr char kSignTime[] = "req_time"; // whole seconds since 1970-01-01 UTC
inline constexpr char kSignPlatform[] = "platform"; // 1
inline constexpr char kSignPlatformType[] = "platform_type"; // 1
inline constexpr char kSignClient[] = "client";
inline constexpr char kSignClientText[] = "desktop";
inline constexpr char kSignAppVersion[] = "app_version";
inline constexpr char kSignAppName[] = "app_name";
inline constexpr char kSignature[] = "sign"; // 32 lower-case hex digits

// Appended after the canonical member text before it is digested.
inline constexpr char kSignSalt[] = "norvo.zq@19971204";

} // namespace wire
