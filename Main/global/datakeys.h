#pragma once

// Keys of the configuration store and the run-time data store that several parts of the program share.

// Configuration store
inline constexpr char kCfgAppFirstOpen[] = "meeting.app.first.open";
inline constexpr char kCfgNormalCancel[] = "meeting.normal.cancel";

// Run-time data store
inline constexpr char kDataUserId[] = "user.id";
inline constexpr char kDataUserLevel[] = "user.level";
inline constexpr char kDataMeetingPusherNum[] = "meeting.pusher.num";
inline constexpr char kDataChatMicroNum[] = "chat_micro_num";

// Where the chat-room client finds the chat host and its WebSocket address (written by the meeting forms).
inline constexpr char kDataChatHost[] = "chatHost";
inline constexpr char kDataChatHostWs[] = "chatHostWS";
