#pragma once

// The membership service's wire vocabulary as the plug-in writes it: header names and values, the envelope
// around request bodies, the reply members and the members the signature adds. The same words as the
// program's request layer, kept here so that the plug-in stands on its own.

namespace vipwire {

inline constexpr char kContentTypeHeader[] = "Content-Type";
inline constexpr char kContentTypeValue[] = "application/json";

// Sent when a token is at hand: the prefix immediately followed by the token.
inline constexpr char kTokenHeader[] = "Authorization";
inline constexpr char kTokenPrefix[] = "Bearer ";

// {"params": <cipher text>, "version": <envelope version>}
inline constexpr char kEnvelopeCipher[] = "params";
inline constexpr char kEnvelopeVersion[] = "version";

// {"errcode", "errmsg", "encrypt", "version", "result"}
inline constexpr char kReplyCode[] = "errcode";
inline constexpr char kReplyMessage[] = "errmsg";
inline constexpr char kReplyEncrypted[] = "encrypt";
inline constexpr char kReplyVersion[] = "version";
inline constexpr char kReplyData[] = "result";

// The members the signature adds to every request, and the signature itself.
inline constexpr char kSignTime[] = "req_time";
inline constexpr char kSignPlatform[] = "platform";
inline constexpr char kSignPlatformType[] = "platform_type";
inline constexpr char kSignAppVersion[] = "app_version";
inline constexpr char kSignChannel[] = "channel_id";
inline constexpr char kSignAppName[] = "app_name";
inline constexpr char kSignature[] = "sign";

// The request member that carries the full URL.
inline constexpr char kNetUrl[] = "net_url";

} // namespace vipwire
