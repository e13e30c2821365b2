#pragma once

#include <cstdint>
#include <string>

namespace cr {

// What a chat room tells its user. Every slot runs on the thread that made the `ChatRoom`; texts are UTF-8.
// A receiver may delete its `ChatRoom` from inside any slot (a modal loop it opens there included): the room
// then calls nothing further. Slots 2, 3 and 12 to 14 do nothing unless overridden.
class UICallback {
public:
    virtual ~UICallback() = default;

    // 0: the room's connection is open.
    virtual void onConnected() = 0;
    // 1: the connection is closed or could not be opened (once per `wsConnect`).
    virtual void onDisconnected() = 0;
    // 2: the owner disposed of the room; the connection closes next.
    virtual void onChatDispose() { }
    // 3: reserved for a prompt to connect again; never called by this library.
    virtual void onChatReconnectPrompt() { }
    // 4: this client's chat id and handle, once after connecting.
    virtual void onSelfID(const std::string& chatId, const std::string& handle) = 0;
    // 5: every member present (this client included) as a JSON array of peers, once after connecting.
    virtual void onPeers(const std::string& peers) = 0;
    // 6: a member came in: its chat id, handle, device type and its peer object as JSON.
    virtual void onPeerJoined(const std::string& chatId, const std::string& handle,
        const std::string& deviceType, const std::string& peer)
        = 0;
    // 7: a member went away: its chat id and its peer object as JSON.
    virtual void onPeerLeft(const std::string& chatId, const std::string& peer) = 0;
    // 8: the room refused something this client sent; the text says what.
    virtual void onRoomError(const std::string& message) = 0;
    // 9: this client's silence changed: 1 silenced, 0 free to speak.
    virtual void onRoomForbidden(int shutup) = 0;
    // 10: a chat text, from any member (this client's own included).
    virtual void onRecordMessage(
        const std::string& chatId, const std::string& handle, const std::string& text, int64_t timeMs)
        = 0;
    // 11: another member's command, as a JSON string literal (quoted, with its quotes and line breaks
    // escaped).
    virtual void onRecievedCommand(
        const std::string& chatId, const std::string& handle, const std::string& command, int64_t timeMs)
        = 0;
    // 12 to 14: hooks of the library's own message view, which this client does not have.
    virtual void onRenderMessages() { }
    virtual void onFocusLatestMessage() { }
    virtual void onAlertUser(const std::string& text) { (void)text; }
};

} // namespace cr
