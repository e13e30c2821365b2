#pragma once

// Run-time data and configuration keys of creating, joining and hosting a meeting.

// Data written by the new-meeting form from the room service's replies.
inline constexpr char kRoomMeetingKeyMain[] = "meeting_key_main"; // the hosted meeting's room number
inline constexpr char kRoomMeetingKeyClient[] = "meeting_key_client"; // the joined meeting's room number
inline constexpr char kRoomChatHostMain[] = "chat_host_main";
inline constexpr char kRoomChatWssMain[] = "chat_wss_main";
inline constexpr char kRoomIsHost[] = "meeting.ishost";
inline constexpr char kRoomPusherNum[] = "meeting.pusher.num";
inline constexpr char kRoomServiceHost[] = "NET_MEETING_HOST";
inline constexpr char kRoomPresetHost[] = "PRE_CONFIG_HOST";
inline constexpr char kRoomUserToken[] = "user.token";

// Data written by the hosting meeting form once its chat room is made.
inline constexpr char kRoomChatroomHost[] = "chatroom_host";
inline constexpr char kRoomChatroomId[] = "chatroom_id"; // a number
inline constexpr char kRoomChatroomPwd[] = "chatroom_pwd";
inline constexpr char kRoomChatHost[] = "chatHost";
inline constexpr char kRoomChatHostWs[] = "chatHostWS";
inline constexpr char kRoomSelfUserId[] = "meeting.self.userid";
inline constexpr char kRoomHostUserId[] = "meeting.host.userid";

// Configuration.
inline constexpr char kCfgVideoSize[] = "video.size";
inline constexpr char kCfgVideoFps[] = "video.fps";
inline constexpr char kCfgVideoKeyFrameSec[] = "video.keyframe.sec";
inline constexpr char kCfgVideoEncoder[] = "video.encoder";
inline constexpr char kCfgLastMeetingSize[] = "LastMeetingSize";
inline constexpr char kCfgRecordDir[] = "record.dir";
inline constexpr char kCfgLastMeetingTitle[] = "LastMeetingTitle";
inline constexpr char kCfgLastMeetingPwdUse[] = "LastMeetingPwdUse";
inline constexpr char kCfgLastMeetingAudioType[] = "LastMeetingAudioType";
inline constexpr char kCfgLastMeetingAddName[] = "LastMeetingAddName";
inline constexpr char kCfgMeetingKeyHead[] = "meeting.key.head";
inline constexpr char kCfgMeetingKeyBody[] = "meeting.key.body";
