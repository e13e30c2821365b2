// The chat-room client's reading of what its service sends: the same bytes as a frame of the room, as the
// reply of an administration call and, when that reads, as a join's result. Nothing throws or faults; what
// is read holds its shape.
#include "fuzz_check.h"

#include "wsbackend.h"

#include <json/value.h>

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    cr::RoomFrame frame;
    if (cr::readRoomFrame(text, frame)) {
        if (frame.event == "cmd")
            FUZZ_CHECK(frame.text.size() >= 2 && frame.text.front() == '"' && frame.text.back() == '"');
        if (frame.event == "peers")
            FUZZ_CHECK(!frame.peers.empty() && frame.peers.front() == '[');
    } else {
        FUZZ_CHECK(frame.event.empty() && frame.time == 0 && frame.shutup == 0);
    }

    Json::Value result;
    std::string error;
    if (cr::readCallReply("/chat/room/join", text, result, error)) {
        FUZZ_CHECK(result.isObject() && error.empty());
        cr::ChatRoom::RespJoinRoom joined;
        if (!cr::readJoinResult(result, joined))
            FUZZ_CHECK(joined.token.empty() && joined.memberId == 0);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
