#pragma once

// Keys that the program's start-up and its main window write for the rest of the program.

// Configuration store
inline constexpr char kCfgRecordEnable[] = "record.enable";
inline constexpr char kCfgRecordDir[] = "record.dir";

// Run-time data store
inline constexpr char kDataEndTimeLimit[] = "end_time_limit";
inline constexpr char kDataChatAesKey[] = "chat_aes_key";
inline constexpr char kDataChatAesVersion[] = "chat_aes_vesion"; // sic: the key readers use
inline constexpr char kDataUserMeetingHost[] = "user_meeting_host";

// Written by the meeting forms while a meeting runs; cleared when it closes.
inline constexpr char kDataMeetingKeyMain[] = "meeting_key_main";
inline constexpr char kDataMeetingKeyClient[] = "meeting_key_client";
inline constexpr char kDataChatHostMain[] = "chat_host_main";
inline constexpr char kDataChatWssMain[] = "chat_wss_main";
inline constexpr char kDataChatroomHost[] = "chatroom_host";
inline constexpr char kDataChatroomId[] = "chatroom_id";
inline constexpr char kDataChatroomPwd[] = "chatroom_pwd";

// Holders of the display-awake state (PowerInhibitor).
inline constexpr char kHoldProgram[] = "display";
inline constexpr char kHoldMeeting[] = "meeting";

// The file in the working folder that replaces the command-API host.
inline constexpr char kHostConfigFile[] = "hostConfig.conf";
