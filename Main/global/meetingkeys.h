#pragma once

// Run-time data keys of a running meeting that the side panel reads.

inline constexpr char kDataMeetingIsHost[] = "meeting.ishost"; // bool: this client hosts the meeting
inline constexpr char kDataMeetingSelfUserId[] = "meeting.self.userid"; // int64: own chat-room member id
// The meeting's chat room, for the kick request.
inline constexpr char kDataChatroomId[] = "chatroom_id"; // a number
inline constexpr char kDataChatroomPwd[] = "chatroom_pwd";
inline constexpr char kDataMeetingType[] = "meeting_type"; // int, the kick type
