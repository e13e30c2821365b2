#pragma once

// Keys, commands and texts of the sign-in: the login dialog and its QR-code widget.

// Configuration store (the program's module configuration)
inline constexpr char kCfgKeyAuto[] = "keyauto";
inline constexpr char kCfgAccount[] = "account";
inline constexpr char kCfgPassword[] = "password";

// Run-time data store, written from "vipstate_sig" in this order
inline constexpr char kDataUserBusiType[] = "user.userBusiType";
inline constexpr char kDataUserToken[] = "user.token";
inline constexpr char kDataUserVipName[] = "user.userVipName";

// The membership plug-in's commands and signal used by the sign-in.
inline constexpr int kCmdLoginByAccount = 301;
inline constexpr int kCmdLoginByWechatCode = 302;
inline constexpr int kCmdWebQrLogin = 303;
inline constexpr char kSignalVipState[] = "vipstate_sig";
// The code of a reply whose account is bound to too many devices: the unbind help is offered.
inline constexpr int kErrDeviceBound = -10;

// Pages of the membership website, whose origin is that of the membership API base ("host").
inline constexpr char kPageRegister[] = "/newRegister";
inline constexpr char kPageFindPassword[] = "/forgetName";
inline constexpr char kPageUnbindHelp[] = "/help/unbindDevice";

inline constexpr char kLoginStyleSheet[] = ":/qss/dialog/login-dialog.css";
inline constexpr char kQrCodeStyleSheet[] = ":/qss/dialog/open-phone-cloud-meeting-dialog.css";
inline constexpr char kLoadingGif[] = ":/image/loading.gif";

// Error texts longer than this are cut: they come from the service.
inline constexpr int kErrorTextLimit = 200;
