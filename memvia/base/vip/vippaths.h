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

// Pages of the membership website (the origin of the API base), opened in the desktop's browser.
namespace vippages {

inline constexpr char kForgetName[] = "/forgetName";
inline constexpr char kServiceAgreement[] = "/membership_service_greemen";
inline constexpr char kRights[] = "/vip_rights";
inline constexpr char kCustomerService[] = "/contact_service";

} // namespace vippages
