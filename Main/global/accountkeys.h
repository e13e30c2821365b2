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

// Texts of the account area and its messages.
inline constexpr char kTextLogin[] = "登录";
inline constexpr char kTextDefaultUserName[] = "Vendrel用户";
inline constexpr char kTextBecomeMember[] = "开通会员";
inline constexpr char kTextRenewMember[] = "续费会员";
inline constexpr char kTextNotice[] = "提示";
inline constexpr char kTextRenewalLimit[] = "会员有效期已达上限，暂时无法续费";
inline constexpr char kTextLoginFailed[] = "失败提示";
inline constexpr char kTextOk[] = "确定";
inline constexpr char kTextRoomLabelPrefix[] = "房间号：";
