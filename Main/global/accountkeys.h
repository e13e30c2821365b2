#pragma once

// Keys, texts and pictures of the main window's account area and membership actions.

// Run-time data store
inline constexpr char kDataUserName[] = "user.userName";
inline constexpr char kDataUserEndTime[] = "user.userEndtime";
inline constexpr char kDataUserAvatar[] = "user.userAvatar";
inline constexpr char kDataMeetingIsHost[] = "meeting.ishost";
inline constexpr char kDataMeetingToken[] = "meeting_token";
inline constexpr char kDataIsLogin[] = "isLogin";
inline constexpr char kDataNetMeetingHost[] = "NET_MEETING_HOST";

// Configuration store
inline constexpr char kCfgShowCopyTips[] = "show_copy_tips";

// The membership plug-in and the commands the main window sends it.
inline constexpr char kMembershipModule[] = "Memvia";
inline constexpr int kCmdUserInfoDialog = 210;
inline constexpr int kCmdPurchaseDialog = 220;

inline constexpr char kEndDateFormat[] = "yyyy-MM-dd";
inline constexpr char kDefaultAvatar[] = ":/image/member_default_guestCover.png";
inline constexpr char kVipBorder[] = ":/image/login_VIPborder.png";
