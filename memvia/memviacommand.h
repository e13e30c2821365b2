#pragma once

// The numbered commands the program sends the plug-in through the framework's module call. The numbers are
// the protocol between the program and the plug-in; any other number is ignored and never answered.
enum MemviaCommand {
    MakeFrameless = 100,
    ShowNotice = 200,
    AskQuestion = 201,
    ShowUserInfo = 210,
    ShowPurchase = 220,
    NetRequest = 300,
    LoginByAccount = 301,
    LoginByWechatCode = 302,
    WebQrLogin = 303,
    LoginByAutoToken = 304,
    Logout = 310,
    VersionCheck = 311,
};

// The reply of the request commands: {"errcode", "errmsg", "result"}.
namespace memviareply {

inline constexpr char kCode[] = "errcode";
inline constexpr char kMessage[] = "errmsg";
inline constexpr char kResult[] = "result";

// A login whose result carries no usable account.
inline constexpr int kInvalidLogin = -11;

} // namespace memviareply

// The framework signal that announces every change of the account, with the user-information JSON.
inline constexpr char kVipStateSignal[] = "vipstate_sig";
