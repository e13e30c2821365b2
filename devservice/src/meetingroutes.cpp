#include <devservice/meetingroutes.h>

#include <devservice/chatrooms.h>
#include <devservice/jsonfields.h>
#include <devservice/mediaforwarder.h>
#include <devservice/requestverifier.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>

#include <QByteArray>
#include <QUrl>
#include <QUrlQuery>

#include <string>

namespace devservice {

namespace {

    // The service's own origin as the client reached it.
    std::string origin(const RecordedRequest& request, const char* scheme)
    {
        return std::string(scheme) + (request.secure ? "s" : "") + "://" + request.header("host");
    }

    Json::Value meeting(const RecordedRequest& request)
    {
        Json::Value room(Json::objectValue);
        room["meetting_key"] = jsonfields::stringOf(request.members, "meetting_key").value_or("00000000");
        room["chat_host"] = origin(request, "http");
        room["chat_wss"] = origin(request, "ws") + "/chat";
        room["duration"] = Json::Int64(2 * 60 * 60);
        room["viewer"] = 100;
        return room;
    }

    ScriptedReply createMeeting(const RecordedRequest& request)
    {
        Json::Value result(Json::objectValue);
        result["meetting"] = meeting(request);
        result["meetting"]["pusher"] = 4;
        return ScriptedReply::success(result);
    }

    ScriptedReply joinMeeting(const RecordedRequest& request)
    {
        Json::Value result(Json::objectValue);
        result["meetting"] = meeting(request);
        result["meetting"]["room_id"] = "demo-room";
        result["meetting"]["room_pwd"] = "";
        result["meetting"]["title"] = "演示直播";
        // The meeting's main stream when one is published, else a stand-in id.
        long long main = 0;
        const std::optional<std::string> key = jsonfields::stringOf(request.members, "meetting_key");
        if (request.forwarder && key)
            main = request.forwarder->mainStream(*key);
        Json::Value streamer(Json::objectValue);
        streamer["stream_id"] = Json::Int64(main ? main : 1000);
        streamer["main"] = 1;
        result["streamers"].append(streamer);
        return ScriptedReply::success(result);
    }

    // An SDP offer (base64 in "sdp"): "stream_id" 0 publishes a stream, a held id plays it. The answer is the
    // forwarder's, complete, in base64. Bodies come unsigned from the studio's push; a signed one must verify.
    ScriptedReply rtcSdp(const RecordedRequest& request)
    {
        const Json::Value& members = request.members;
        if (jsonfields::has(members, wire::kSignature) && !request.signatureValid)
            return ScriptedReply::failure(Service::kRefusedCode, verifySignature(members).problem);
        if (!request.forwarder)
            return ScriptedReply::failure(rtc::kNoAnswer, "the service forwards no media");
        const std::string encoded = jsonfields::stringOf(members, "sdp").value_or("");
        if (encoded.empty())
            return ScriptedReply::failure(rtc::kBadOffer, "no SDP offer");
        if (encoded.size() > (rtc::kMaxOfferBytes + 2) / 3 * 4 + 4)
            return ScriptedReply::failure(rtc::kBadOffer, "the SDP offer is over 64 KiB");
        const auto decoded = QByteArray::fromBase64Encoding(
            QByteArray::fromStdString(encoded), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty())
            return ScriptedReply::failure(rtc::kBadOffer, "the SDP offer is not base64");
        if (size_t(decoded.decoded.size()) > rtc::kMaxOfferBytes)
            return ScriptedReply::failure(rtc::kBadOffer, "the SDP offer is over 64 KiB");
        const Json::Value& streamId = jsonfields::member(members, "stream_id");
        const std::optional<int64_t> held = jsonfields::toInt64(streamId);
        if (!streamId.isNull() && !held)
            return ScriptedReply::failure(rtc::kBadOffer, "\"stream_id\" is not an integer");
        const long long id = held.value_or(0);

        const std::string offer = decoded.decoded.toStdString();
        ForwarderAnswer answer;
        if (id == 0) {
            answer = request.forwarder->publish(offer);
        } else {
            if (!request.forwarder->holds(id))
                return ScriptedReply::failure(rtc::kNoSuchStream, "no stream " + std::to_string(id) + " is published");
            answer = request.forwarder->play(id, offer);
        }
        if (!answer.ok) {
            const int code = answer.refusal == ForwarderAnswer::Refusal::NoCarriedCodec ? rtc::kNoCarriedCodec
                : answer.refusal == ForwarderAnswer::Refusal::Full                  ? rtc::kFull
                                                                                    : rtc::kNoAnswer;
            return ScriptedReply::failure(code, answer.error);
        }

        if (id == 0) {
            const QUrlQuery query(QString::fromStdString(request.query));
            if (query.queryItemValue("main") == "1" && query.hasQueryItem("meetting_key")) {
                const std::string key = query.queryItemValue("meetting_key", QUrl::FullyDecoded).toStdString();
                request.forwarder->setMainStream(key, answer.id);
            }
        }
        Json::Value result(Json::objectValue);
        result["sdp"] = QByteArray::fromStdString(answer.sdp).toBase64().toStdString();
        result["id"] = Json::Int64(answer.id);
        return ScriptedReply::success(result);
    }

    ScriptedReply checkLogin(const RecordedRequest&)
    {
        Json::Value result(Json::objectValue);
        result["token"] = "demo-meeting-token";
        return ScriptedReply::success(result);
    }

    ScriptedReply checkLoginV2(const RecordedRequest&)
    {
        Json::Value product(Json::objectValue);
        product["product_type"] = 9000;
        product["total_count"] = Json::Int64(36000);
        product["used_count"] = Json::Int64(-1200);
        Json::Value result(Json::objectValue);
        result["meeting_token"] = "demo-meeting-token";
        result["products"].append(product);
        return ScriptedReply::success(result);
    }

    ScriptedReply appConfigs(const RecordedRequest&)
    {
        Json::Value right(Json::objectValue);
        right["Key"] = "直播时长";
        right["Val"] = "不限时长";
        Json::Value rights(Json::arrayValue);
        rights.append(right);
        right["Key"] = "连麦人数";
        right["Val"] = "最多4人";
        rights.append(right);
        Json::Value configs(Json::objectValue);
        configs["play_host"] = "https://play.example.com/meeting";
        configs["vip_rights"]["brief"] = "开通会员，畅享直播";
        configs["vip_rights"]["rights"] = rights;
        Json::Value result(Json::objectValue);
        result["configs"] = configs;
        return ScriptedReply::success(result);
    }

    ScriptedReply versionCheck(const RecordedRequest&)
    {
        Json::Value result(Json::objectValue);
        result["version"] = "1.0.0";
        result["update"] = 0;
        return ScriptedReply::success(result);
    }

    ScriptedReply signPlayUrl(const RecordedRequest& request)
    {
        Json::Value result(Json::objectValue);
        const std::optional<std::string> url = jsonfields::stringOf(request.members, "play_url");
        if (!url)
            return ScriptedReply::failure(Service::kRefusedCode, "\"play_url\" is missing or not a text");
        result["url"] = *url + "?sign=demo";
        return ScriptedReply::success(result);
    }

    ScriptedReply emptyList(const RecordedRequest&)
    {
        Json::Value result(Json::objectValue);
        result["list"] = Json::Value(Json::arrayValue);
        return ScriptedReply::success(result);
    }

    Route route(const char* key, bool envelope, std::function<ScriptedReply(const RecordedRequest&)> handler)
    {
        Route r;
        r.aesKey = key;
        r.envelope = envelope;
        r.handler = std::move(handler);
        return r;
    }

} // namespace

void addMeetingRoutes(RouteTable& routes)
{
    // The room service answers under the built-in command-API path and at the root, since a host typed by
    // the user in the settings may leave the path out.
    const std::string room = paths::kCommandApiBase;
    const auto roomRoute
        = [&](const char* path, std::function<ScriptedReply(const RecordedRequest&)> handler) {
              routes[room + path] = route(keys::kCommon, false, handler);
              routes[path] = route(keys::kCommon, false, std::move(handler));
          };
    roomRoute(paths::kCreateMeeting, createMeeting);
    roomRoute(paths::kJoinMeeting, joinMeeting);
    const auto sdpRoute = [] {
        Route r = route(keys::kCommon, false, rtcSdp);
        r.signedBody = false; // checked by the handler when signed
        return r;
    };
    routes[room + paths::kRoomRtcSdp] = sdpRoute();
    routes[paths::kRoomRtcSdp] = sdpRoute();
    roomRoute(paths::kAddStreamer, nullptr);
    roomRoute(paths::kDeleteMeeting, nullptr);

    const std::string api = paths::kMeetingApiBase;
    const auto apiRoute
        = [&](const char* path, std::function<ScriptedReply(const RecordedRequest&)> handler) {
              routes[api + path] = route(keys::kCommon, true, std::move(handler));
          };
    apiRoute(paths::kCheckLogin, checkLogin);
    apiRoute(paths::kCreateMeetingId, [](const RecordedRequest&) {
        Json::Value result(Json::objectValue);
        result["id"] = 1;
        return ScriptedReply::success(result);
    });
    apiRoute(paths::kGetMeetings, emptyList);
    apiRoute(paths::kLiveStudents, emptyList);
    apiRoute(paths::kClassHistory, emptyList);
    apiRoute(paths::kListStudent, emptyList);
    apiRoute(paths::kSignPlayRtcUrl, signPlayUrl);
    apiRoute(paths::kVideoSignUrl, [](const RecordedRequest& request) {
        Json::Value result(Json::objectValue);
        const std::optional<std::string> url = jsonfields::stringOf(request.members, "url");
        if (!url)
            return ScriptedReply::failure(Service::kRefusedCode, "\"url\" is missing or not a text");
        result["url"] = *url + "?sign=demo";
        return ScriptedReply::success(result);
    });
    apiRoute(paths::kCheckLoginV2, checkLoginV2);
    apiRoute(paths::kPublicConfig, [](const RecordedRequest& request) {
        Json::Value result(Json::objectValue);
        result["key"] = jsonfields::member(request.members, "key");
        result["value"] = "";
        return ScriptedReply::success(result);
    });
    for (const char* path : { paths::kDeleteMeetingId, paths::kRenameMeeting, paths::kStartMeeting,
             paths::kEndMeeting, paths::kMeetingHeartBeat, paths::kProductState, paths::kDeleteClassHistory,
             paths::kStartMeetingV2, paths::kAddStudent, paths::kClearStudent })
        apiRoute(path, nullptr);

    routes[std::string(paths::kMembershipBase) + paths::kCheckAppVersion]
        = route(keys::kVersionCheck, true, versionCheck);
    routes[std::string(paths::kMembershipApiBase) + paths::kAppConfigs]
        = route(keys::kAppConfig, true, appConfigs);

    // The operator's calls on the service's chat rooms.
    const auto onChatRooms = [](const char* action) {
        return [action](const RecordedRequest& request) {
            if (!request.chatRooms)
                return ScriptedReply::failure(ChatRoomService::kNoSuchRoom, "this service holds no chat rooms");
            const ChatReply reply = request.chatRooms->operatorCall(action, request.members);
            ScriptedReply scripted = ScriptedReply::failure(reply.errcode, reply.errmsg);
            scripted.result = reply.result;
            return scripted;
        };
    };
    routes[paths::kKickout] = route(keys::kCommon, true, onChatRooms("kickout"));
    routes[paths::kKickoutList] = route(keys::kCommon, true, onChatRooms("list"));
    routes[paths::kKickoutCancel] = route(keys::kCommon, true, onChatRooms("cancel"));

    routes[paths::kGetInfo] = route(keys::kCommon, false, [](const RecordedRequest&) {
        Json::Value result(Json::objectValue);
        result["status"] = 1;
        return ScriptedReply::success(result);
    });
    routes[paths::kSignallingRtcSdp] = sdpRoute();
    routes[paths::kSignallingAddStreamer] = route(keys::kCommon, false, nullptr);
    routes[paths::kInitServer] = route(keys::kCommon, false, nullptr);
}

} // namespace devservice
