#pragma once

// What this service answers to, written down once: the paths of the operator's services under the base paths
// a client reaches them at, the AES key and envelope version of each profile, and the members of the request
// envelope, the signature and the reply. Nothing here is shared with any client: a client that sends another
// path or member name is answered as a real service would answer it.
namespace devservice {

namespace wire {

    inline constexpr char kContentTypeHeader[] = "content-type";
    inline constexpr char kContentTypeValue[] = "application/json";
    inline constexpr char kTokenHeader[] = "authorization";
    inline constexpr char kTokenPrefix[] = "Bearer ";

    // {"params": <base64 AES text of the signed body>, "version": <profile version>}
    inline constexpr char kEnvelopeCipher[] = "params";
    inline constexpr char kEnvelopeVersion[] = "version";

    // {"errcode", "errmsg", "encrypt", "result"}
    inline constexpr char kReplyCode[] = "errcode";
    inline constexpr char kReplyMessage[] = "errmsg";
    inline constexpr char kReplyEncrypted[] = "encrypt";
    inline constexpr char kReplyData[] = "result";

    // Members every signed body carries, and the signature over the rest.
    inline constexpr char kSignTime[] = "req_time";
    inline constexpr char kSignPlatform[] = "platform";
    inline constexpr char kSignPlatformType[] = "platform_type";
    inline constexpr char kSignClient[] = "client";
    inline constexpr char kSignClientText[] = "desktop";
    inline constexpr char kSignAppVersion[] = "app_version";
    inline constexpr char kSignAppName[] = "app_name";
    inline constexpr char kSignature[] = "sign";
    inline constexpr char kSignSalt[] = "norvo.zq@19971204";

} // namespace wire

namespace keys {

    // AES keys and envelope versions of the request profiles.
    inline constexpr char kCommon[] = "q7#Lm!wz_r4Kp2$e";
    inline constexpr char kAppConfig[] = "norvo.zq_&^%*_84";
    inline constexpr char kVersionCheck[] = "norvo.zq_7&^%_51";
    inline constexpr int kCommonVersion = 200;
    inline constexpr int kMembershipVersion = 100;

} // namespace keys

namespace paths {

    // Base paths the services sit under on this one origin.
    inline constexpr char kCommandApiBase[] = "/cmdApi"; // the room service, also served at the root
    inline constexpr char kMeetingApiBase[] = "/meetingapi/";
    inline constexpr char kMembershipBase[] = "/vip/";
    inline constexpr char kMembershipApiBase[] = "/goapi";

    // Room service.
    inline constexpr char kCreateMeeting[] = "/room/createMeetting";
    inline constexpr char kJoinMeeting[] = "/room/joinMeetting";
    inline constexpr char kRoomRtcSdp[] = "/test/getRtcSdp";
    inline constexpr char kAddStreamer[] = "/room/addMeettingStreamer";
    inline constexpr char kDeleteMeeting[] = "/room/deleteMeetting";

    // Meeting API.
    inline constexpr char kCheckLogin[] = "/account/checkLogin";
    inline constexpr char kCreateMeetingId[] = "/account/createMeeting";
    inline constexpr char kDeleteMeetingId[] = "/account/deleteMeeting";
    inline constexpr char kRenameMeeting[] = "/account/renameMeeting";
    inline constexpr char kGetMeetings[] = "/account/getMeetings";
    inline constexpr char kStartMeeting[] = "/account/startMeeting";
    inline constexpr char kEndMeeting[] = "/account/endMeeting";
    inline constexpr char kLiveStudents[] = "/account/getMeetingLiveStudents";
    inline constexpr char kSignPlayRtcUrl[] = "/account/signPlayRtcUrl";
    inline constexpr char kMeetingHeartBeat[] = "/account/meetingHeartBeat";
    inline constexpr char kProductState[] = "/account/getProductState";
    inline constexpr char kClassHistory[] = "/account/meetingClassHistory";
    inline constexpr char kPublicConfig[] = "/public/getConfig";
    inline constexpr char kVideoSignUrl[] = "/account/videoSignUrl";
    inline constexpr char kDeleteClassHistory[] = "/account/deleteMeetingClassHistory";
    inline constexpr char kCheckLoginV2[] = "/account/checkLoginV2";
    inline constexpr char kStartMeetingV2[] = "/account/startMeetingV2";
    inline constexpr char kAddStudent[] = "/account/addStudent";
    inline constexpr char kListStudent[] = "/account/listStudent";
    inline constexpr char kClearStudent[] = "/account/clearStudent";

    // Membership service and application configuration.
    inline constexpr char kCheckAppVersion[] = "/product/checkAppVersion";
    inline constexpr char kAppConfigs[] = "/getAppConfigs";

    // Chat-room administration.
    inline constexpr char kKickout[] = "/zov/kickout2";
    inline constexpr char kKickoutList[] = "/zov/kickout2_list";
    inline constexpr char kKickoutCancel[] = "/zov/kickout2_cancel";

    // Signalling.
    inline constexpr char kGetInfo[] = "/info/getInfo";
    inline constexpr char kSignallingRtcSdp[] = "/zovpion/getRtcSdp";
    inline constexpr char kSignallingAddStreamer[] = "/info/addStreamer";
    inline constexpr char kInitServer[] = "/info/initServer";

} // namespace paths

} // namespace devservice
