#pragma once

#include <json/value.h>

#include <QMap>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The JSON commands that host and viewers exchange through the chat room: their texts, how each is built,
// how the fields a receiver reads are interpreted, and a table per role from "type" to handler.
// Ids are the chat-room member ids, 64-bit throughout. Pure logic, no widget; any thread.
namespace chatcommand {

inline constexpr char kInviteLianmai[] = "Invite.Lianmai";
inline constexpr char kEndLianmai[] = "End.Lianmai";
inline constexpr char kReceiveInvitation[] = "Receive.invitation";
inline constexpr char kStreamUrl[] = "stream_url";
inline constexpr char kLianmaiList[] = "Lianmai_list";
inline constexpr char kStreamEnd[] = "stream_end";
inline constexpr char kHostUrl[] = "host_url";
inline constexpr char kReceiveTouping[] = "Receive.Touping";
inline constexpr char kEndTouping[] = "End.Touping";

Json::Value inviteLianmai(int64_t studentId, int orderType);
Json::Value endLianmai(int64_t studentId);
Json::Value receiveInvitation(int64_t ownId, bool accept);
// The announcement of a registered co-broadcast stream.
Json::Value streamUrl(int64_t ownId, int64_t streamerId, bool audio, bool video);
// The end of the own co-broadcast: empty "url" and "stream_id", no audio, no video.
Json::Value streamUrlEnded(int64_t ownId);
Json::Value streamEnd();
Json::Value receiveTouping(int64_t studentId, bool accept);
Json::Value endTouping(int64_t studentId);

// What the host knows of one co-broadcasting member's stream.
struct MemberStream {
    int64_t streamId = 0;
    QString name;
    bool audio = false;
    bool video = false;
};

struct LianmaiListInput {
    int64_t hostVideoStreamId = 0; // the studio's room id, taken when streaming started
    int64_t hostAudioStreamerId = 0;
    QSize outputSize; // the host's output picture
    std::map<int64_t, QString> members; // co-broadcasting members, id to display name
    QMap<int64_t, MemberStream> streams; // what each member announced
};

// "horiz" for a picture wider than tall, else "verti" (a square counts as "verti").
const char* direction(const QSize& output);
// Members in ascending id; one without stream information or with stream id 0 is left out.
Json::Value lianmaiList(const LianmaiListInput& input);

// The styled text a command is sent as (UTF-8).
std::string text(const Json::Value& command);

// A "host_url" stream id: an integer, or the decimal value of a non-empty string. Nothing for a missing,
// empty, malformed or non-positive id, which the viewer ignores.
std::optional<int64_t> hostUrlStreamId(const Json::Value& command);
// A "stream_url" url as the host reads it: empty for integer 0, the decimal text of any other integer,
// else the string's text.
QString hostStreamUrlText(const Json::Value& url);
// A "stream_url" url as a viewer reads it: the decimal text of any integer (0 gives "0"), else the text.
QString viewerStreamUrlText(const Json::Value& url);
// An id member read as 64-bit: integers by value, decimal strings by their value; 0 otherwise.
int64_t idOf(const Json::Value& value);
// The members a "Lianmai_list" names: the "user_id" of each element of "members" that is an object, in
// order. Elements of another kind name nobody.
std::vector<int64_t> lianmaiMemberIds(const Json::Value& command);

// One received command as the handlers see it.
struct Received {
    QString senderChatId; // the sender's chat-room id text
    Json::Value command;
    std::string type;
};

// Dispatches received commands by "type", one table for the host and one for the viewers. A viewer entry
// marked host-only runs only when the sender is the meeting's host, as the caller's predicate says.
class Dispatcher {
public:
    using Handler = std::function<void(const Received&)>;
    enum class Sender { Anyone, HostOnly };
    struct Entry {
        const char* type;
        Sender sender;
        Handler handler;
    };

    void setHostTable(std::vector<Entry> entries) { m_host = std::move(entries); }
    void setViewerTable(std::vector<Entry> entries) { m_viewer = std::move(entries); }
    void setSenderIsHost(std::function<bool(const QString& senderChatId)> isHost) { m_senderIsHost = std::move(isHost); }

    enum class Outcome { Unparsable, Unknown, FromOtherSender, Handled, Failed };
    // Parses the (already cleaned) text and runs the entry for its type in the role's table. Text that is
    // no JSON object or nests too deep is Unparsable; a handler that throws gives Failed.
    Outcome dispatch(bool isHost, const QString& senderChatId, const std::string& cleanedText) const;

private:
    std::vector<Entry> m_host;
    std::vector<Entry> m_viewer;
    std::function<bool(const QString&)> m_senderIsHost;
};

} // namespace chatcommand
