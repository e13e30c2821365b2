#pragma once

// Paths, AES keys and envelope versions of the operator's services, and the data-store keys the requests
// read and write. The request classes and the local service both use these names.
namespace servicepaths {

// AES keys of the request profiles.
inline constexpr char kCommonKey[] = "q7#Lm!wz_r4Kp2$e";
inline constexpr char kAppConfigKey[] = "norvo.zq_&^%*_84";
inline constexpr char kVersionCheckKey[] = "norvo.zq_7&^%_51";
inline constexpr int kCommonVersion = 200;
inline constexpr int kMembershipVersion = 100;

// Room service (base: the room-service host).
inline constexpr char kCreateMeeting[] = "/room/createMeetting";
inline constexpr char kJoinMeeting[] = "/room/joinMeetting";
inline constexpr char kRoomRtcSdp[] = "/test/getRtcSdp"; // the meeting key follows as "?meetting_key="
inline constexpr char kAddStreamer[] = "/room/addMeettingStreamer";
inline constexpr char kDeleteMeeting[] = "/room/deleteMeetting";

// Meeting API (base: servicehosts::kMeetingApiBase).
inline constexpr char kCheckLogin[] = "/account/checkLogin";
inline constexpr char kAccountCreateMeeting[] = "/account/createMeeting";
inline constexpr char kAccountDeleteMeeting[] = "/account/deleteMeeting";
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

// Membership service (base: servicehosts::kMembershipBase) and application configuration (base: the
// application-info property "host").
inline constexpr char kCheckAppVersion[] = "/product/checkAppVersion";
inline constexpr char kAppConfigs[] = "/getAppConfigs";

// Chat-room administration (base: the data-store text "chatroom_host").
inline constexpr char kKickout[] = "/zov/kickout2";
inline constexpr char kKickoutList[] = "/zov/kickout2_list";
inline constexpr char kKickoutCancel[] = "/zov/kickout2_cancel";

// Signalling (base: the host given with the task, or the streaming service on the machine itself).
inline constexpr char kGetInfo[] = "/info/getInfo";
inline constexpr char kSignallingRtcSdp[] = "/zovpion/getRtcSdp";
inline constexpr char kSignallingAddStreamer[] = "/info/addStreamer";
inline constexpr char kInitServer[] = "/info/initServer";

} // namespace servicepaths

// Data-store keys and application-info properties the requests use.
namespace netkeys {

inline constexpr char kUserToken[] = "user.token";
inline constexpr char kMeetingToken[] = "meeting_token";
inline constexpr char kMeetingFlowTotal[] = "meeting_flow_total";
inline constexpr char kMeetingFlowUsed[] = "meeting_flow_used";
inline constexpr char kNetMeetingHost[] = "NET_MEETING_HOST";
inline constexpr char kPreConfigHost[] = "PRE_CONFIG_HOST";
inline constexpr char kChatroomHost[] = "chatroom_host";

// Application-info properties.
inline constexpr char kAppHost[] = "host";
inline constexpr char kAppProductType[] = "product_type";

} // namespace netkeys

namespace nettexts {

// The data of a sign-in reply lacks what the client reads from it (the leading blank is the service's).
inline constexpr char kUnrecognisedReply[] = " 接口参数变动，无法识别！";

} // namespace nettexts
