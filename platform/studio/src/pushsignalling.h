#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// The push's SDP exchange with the service: the offer goes out as {"stream_id": 0, "type": 1, "sdp": base64},
// the answer comes back in the reply's "sdp" (base64) with the stream's "id".
namespace pushsignalling {

// "webrtc://…" → "http://…", "webrtcs://…" → "https://…"; empty for any other address.
std::string httpAddress(const std::string& pushUrl);

struct Outcome {
    bool ok = false;
    std::string answer; // the SDP text
    int64_t id = 0;
    std::string error; // what failed, for the log
};

// Posts the offer (TLS verified; "Authorization: Bearer <token>" only when there is a token) and reads the
// answer. Blocks for at most `timeoutMs`, less once `*abort` turns true. Any failure (address, transfer,
// HTTP status, service error, a reply without a decodable "sdp" or an integral "id") is an outcome with
// ok false.
Outcome exchange(const std::string& pushUrl, const std::string& token, const std::string& offer,
    const std::atomic<bool>* abort, long timeoutMs);

// Reads the body of the service's HTTP 200 reply, as exchange() does: {"errcode", "errmsg", "encrypt",
// "result": {"sdp", "id"}} or the result's members at the top. Never throws.
Outcome readAnswer(std::string_view body);

} // namespace pushsignalling
