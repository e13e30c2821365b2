// The task handlers of NetManager: each reads its task's parameters and runs one request class.

#include "net/netmanager.h"

#include "net/addnewmeetingid.h"
#include "net/addstudentitem.h"
#include "net/chatroomkickout.h"
#include "net/chatroomkickoutcancel.h"
#include "net/chatroomkickoutlist.h"
#include "net/checkloginv2.h"
#include "net/clearstudentlist.h"
#include "net/deletemeetinghistory.h"
#include "net/deletemeetingid.h"
#include "net/getconfig.h"
#include "net/getmeetinghistory.h"
#include "net/getmeetinglivestudents.h"
#include "net/getmeetingteamlist.h"
#include "net/getproductstate.h"
#include "net/getstudentlist.h"
#include "net/getvideodownloadurl.h"
#include "net/meetingheartbeat.h"
#include "net/meetinglogin.h"
#include "net/renamemeeting.h"
#include "net/signrtcplayurl.h"
#include "net/srvaddmeettingstreamer.h"
#include "net/srvcreatemeeting.h"
#include "net/srvdeletemeetting.h"
#include "net/srvgetappconfig.h"
#include "net/srvgetrtcsdp.h"
#include "net/srvjoinmeeting.h"
#include "net/startmeeting.h"
#include "net/startmeetingv2.h"
#include "net/stopmeeting.h"
#include "net/taskparams.h"
#include "net/v3addstreamer.h"
#include "net/v3getmeetinginfo.h"
#include "net/v3getrtcsdp.h"
#include "net/v3initserver.h"
#include "net/v3pushrtcsdp.h"
#include "net/versioncheck.h"

#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>

#include <QByteArray>
#include <QDebug>

namespace {

using taskparams::int32;
using taskparams::int64;
using taskparams::text;

// Hands the request's code and message back and passes its result on.
bool finish(NetBase& request, bool result, int& code, std::string& message)
{
    code = request.code;
    message = request.errorText();
    return result;
}

// The SDP text in base64, through the framework's crypt service while it is up; an empty SDP stays empty.
std::string encodedSdp(const std::string& sdp, const char* trace)
{
    if (sdp.empty())
        return sdp;
    qDebug().noquote() << trace;
    if (CD && CD->crypt)
        return CD->crypt->base64_encode(sdp);
    return QByteArray::fromStdString(sdp).toBase64().toStdString();
}

} // namespace

bool NetManager::runCheckVersion(std::string&, const bg::ValueMap&, int& code, std::string& message)
{
    ::VersionCheck request;
    return finish(request, request.exec(), code, message);
}

bool NetManager::runMeetingLogin(std::string& data, const bg::ValueMap&, int& code, std::string& message)
{
    ::MeetingLogin request;
    return finish(request, request.exec(data), code, message);
}

bool NetManager::runAddNewMeetingId(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::AddNewMeetingID request;
    return finish(request, request.exec(data, text(params, "title")), code, message);
}

bool NetManager::runDeleteMeetingId(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::DeleteMeetingID request;
    return finish(request, request.exec(data, int32(params, "id")), code, message);
}

bool NetManager::runRenameMeetingId(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::RenameMeeting request;
    return finish(request, request.exec(data, int32(params, "id"), text(params, "title")), code, message);
}

bool NetManager::runGetMeetings(std::string& data, const bg::ValueMap&, int& code, std::string& message)
{
    ::GetMeetingTeamList request;
    return finish(request, request.exec(data), code, message);
}

bool NetManager::runStartMeeting(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::StartMeeting request;
    const bg::Value member = params.isContains("member") ? params["member"] : bg::Value(bg::ValueMap());
    qDebug().noquote() << "member" << QString::fromStdString(member.toMap().write());
    const bool ok = request.exec(data, int32(params, "id"), text(params, "title"),
        int32(params, "allow_viewer"), taskparams::textMap(params, "member"));
    return finish(request, ok, code, message);
}

bool NetManager::runStopMeeting(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::StopMeeting request;
    const bool ok = request.exec(data, int32(params, "meeting_id"), int32(params, "class_id"));
    return finish(request, ok, code, message);
}

bool NetManager::runGetMeetingLiveStudents(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::GetMeetingLiveStudents request;
    return finish(request, request.exec(data, int32(params, "class_id")), code, message);
}

bool NetManager::runSignRtcPlayUrl(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::SignRtcPlayUrl request;
    const bool ok = request.exec(data, int32(params, "room_id"), text(params, "play_url"));
    return finish(request, ok, code, message);
}

bool NetManager::runMeetingHeartBeat(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::MeetingHeartbeat request;
    const bool ok = request.exec(data, int32(params, "class_id"), int32(params, "viewer_num"));
    return finish(request, ok, code, message);
}

bool NetManager::runGetProductState(std::string& data, const bg::ValueMap&, int& code, std::string& message)
{
    ::GetProductState request;
    return finish(request, request.exec(data), code, message);
}

bool NetManager::runGetMeetingHistory(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::GetMeetingHistory request;
    const bool ok = request.exec(data, int32(params, "meeting_id"), int32(params, "page"),
        int32(params, "page_size"), text(params, "start_time"), text(params, "end_time"));
    return finish(request, ok, code, message);
}

bool NetManager::runGetConfig(std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::GetConfig request;
    return finish(request, request.exec(data, text(params, "key")), code, message);
}

bool NetManager::runGetVideoDownLoadUrl(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::getVideoDownloadUrl request;
    const bool ok = request.exec(data, int32(params, "class_id"), text(params, "url"));
    return finish(request, ok, code, message);
}

bool NetManager::runDeleteHistory(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::DeleteMeetingHistory request;
    return finish(request, request.exec(data, int32(params, "class_id")), code, message);
}

bool NetManager::runCheckLoginV2(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::CheckLoginV2 request;
    const bool ok = request.exec(data, text(params, "user_name"), text(params, "user_pwd"));
    return finish(request, ok, code, message);
}

bool NetManager::runStartMeetingV2(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::StartMeetingV2 request;
    const bool ok = request.exec(data, int32(params, "meeting_id"), text(params, "title"),
        int32(params, "type"), text(params, "password"), std::string());
    return finish(request, ok, code, message);
}

bool NetManager::runAddStudentItem(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::AddStudentItem request;
    const bool ok = request.exec(
        data, int32(params, "meeting_id"), text(params, "user_name"), text(params, "user_pwd"));
    return finish(request, ok, code, message);
}

bool NetManager::runGetStudentList(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::GetStudentList request;
    return finish(request, request.exec(data, int32(params, "meeting_id")), code, message);
}

bool NetManager::runClearStudentList(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::ClearStudentList request;
    return finish(request, request.exec(data, int32(params, "meeting_id")), code, message);
}

bool NetManager::runChatroomKickout(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::ChatroomKickout request;
    const bool ok = request.exec(data, text(params, "room_id"), text(params, "password"),
        text(params, "chat_id"), int32(params, "kick_type"), int64(params, "user_id"));
    return finish(request, ok, code, message);
}

bool NetManager::runChatroomKickoutList(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::ChatroomKickoutList request;
    const bool ok = request.exec(data, text(params, "room_id"), text(params, "password"));
    return finish(request, ok, code, message);
}

bool NetManager::runChatroomKickoutCancel(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::ChatroomKickoutCancel request;
    const bool ok = request.exec(data, text(params, "room_id"), text(params, "password"),
        int64(params, "user_id"), int32(params, "kick_type"), text(params, "ip"));
    return finish(request, ok, code, message);
}

bool NetManager::runV3GetMeetingInfo(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::V3GetMeetingInfo request;
    return finish(request, request.exec(data, text(params, "host")), code, message);
}

bool NetManager::runV3PushRtcSdp(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::V3PushRtcSdp request;
    const std::string sdp = encodedSdp(text(params, "sdp"), "[V3PushRtcSdpRequest]Base64_Encode.");
    const bool ok = request.exec(data, text(params, "host"), sdp, text(params, "token"));
    return finish(request, ok, code, message);
}

bool NetManager::runV3AddStreamer(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::V3AddStreamer request;
    const bool ok = request.exec(data, int64(params, "streamId"), text(params, "title"),
        text(params, "roomId"), text(params, "roomPwd"));
    return finish(request, ok, code, message);
}

bool NetManager::runV3GetRtcSdp(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::V3GetRtcSdp request;
    const std::string sdp = encodedSdp(text(params, "sdp"), "[V3GetRtcSdpRequest]Base64_Encode.");
    const bool ok
        = request.exec(data, text(params, "host"), int64(params, "streamId"), sdp, text(params, "token"));
    return finish(request, ok, code, message);
}

bool NetManager::runV3InitServer(std::string& data, const bg::ValueMap&, int& code, std::string& message)
{
    ::V3InitServer request;
    return finish(request, request.exec(data), code, message);
}

bool NetManager::runSRVCreateMeeting(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::SRVCreateMeeting request;
    const bool ok
        = request.exec(data, text(params, "title"), text(params, "meeting_key"), text(params, "meeting_pwd"));
    return finish(request, ok, code, message);
}

bool NetManager::runSRVGetRtcSdp(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::SRVGetRtcSdp request;
    const bool ok = request.exec(data, text(params, "meeting_key"), int64(params, "stream_id"),
        int32(params, "type"), text(params, "sdp"));
    return finish(request, ok, code, message);
}

bool NetManager::runSRVAddMeetingStreamer(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::SRVAddMeettingStreamer request;
    const bool ok
        = request.exec(data, text(params, "meeting_key"), text(params, "title"), text(params, "room_id"),
            text(params, "room_pwd"), int64(params, "streamer_id"), taskparams::boolean(params, "main"));
    return finish(request, ok, code, message);
}

bool NetManager::runSRVDeleteMeeting(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::SRVDeleteMeetting request;
    return finish(request, request.exec(data, text(params, "meeting_key")), code, message);
}

bool NetManager::runSRVJoinMeeting(
    std::string& data, const bg::ValueMap& params, int& code, std::string& message)
{
    ::SRVJoinMeeting request;
    const bool ok = request.exec(data, text(params, "meeting_key"), text(params, "user_name"),
        text(params, "meeting_pwd"));
    return finish(request, ok, code, message);
}

bool NetManager::runSRVGetAppConfig(std::string& data, const bg::ValueMap&, int& code, std::string& message)
{
    ::SRVGetAppConfig request;
    return finish(request, request.exec(data), code, message);
}
