#pragma once

// The membership service's paths, appended to the application-info "host".
namespace vippaths {

inline constexpr char kCheckLoginByAccount[] = "/user/checkLoginByAccount";
inline constexpr char kCheckLoginByWechatCode[] = "/user/checkLoginByWechatCode";
inline constexpr char kCheckByAutoLoginToken[] = "/user/checkByAutoLoginToken";
inline constexpr char kVersionCheck[] = "/versionCheck";
inline constexpr char kGetProductState[] = "/user/getProductState";
inline constexpr char kGetProductList[] = "/user/getProductList";
inline constexpr char kCreatePcOrder[] = "/user/createPcOrder";
inline constexpr char kCheckOrder[] = "/user/checkOrder";
inline constexpr char kGetJumpJsWebUrl[] = "/user/getJumpJsWebUrl";
inline constexpr char kGetWechatWebQRCode[] = "/wechat/getWechatWebQRCode";
inline constexpr char kCheckWechatScanBody[] = "/user/checkWechatScanBody";

} // namespace vippaths
