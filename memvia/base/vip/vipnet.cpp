#include "base/vip/vipnet.h"

#include "base/deviceid.h"
#include "base/logmask.h"
#include "base/memvialog.h"
#include "base/vip/vipdata.h"
#include "base/vip/vippaths.h"
#include "base/wirenames.h"

namespace {

void addDevice(Json::Value& request)
{
    request["mac_addr"] = getMacAddress();
    request["device_name"] = getDeviceName();
    request["machine_code"] = getMachineCode();
}

std::string finish(Json::Value& request, const char* path)
{
    request[vipwire::kNetUrl] = Base::url(path);
    return request.toStyledString();
}

} // namespace

VipNet::VipNet(QObject* parent)
    : BaseNet(parent)
{
}

VipNet* VipNet::instance()
{
    static VipNet* net = new VipNet;
    return net;
}

std::string VipNet::token() { return VipData::instance()->token(); }

bool VipNet::requestUrl(const std::string& request, std::string& url, std::string& errmsg)
{
    bool parsed = false;
    const Json::Value object = parseJson(request, &parsed);
    if (!parsed || object.isNull())
        errmsg = "invalid net params";
    else if ((url = stringMember(object, vipwire::kNetUrl)).empty())
        errmsg = "net_url field is empty!";
    if (errmsg.empty())
        return true;
    BG_LOGE("%s:%s", errmsg.c_str(), maskSecrets(request).c_str());
    return false;
}

void VipNet::post(const std::string& request, RequestCallback callback)
{
    std::string url;
    std::string errmsg;
    if (!requestUrl(request, url, errmsg)) {
        if (callback)
            callback(-1, errmsg, std::string());
        return;
    }
    postAsync(url, makeBody(request), std::move(callback), true, token());
}

int VipNet::postSync(
    const std::string& request, std::string& errmsg, std::string& result, const std::atomic<bool>* abort)
{
    std::string url;
    if (!requestUrl(request, url, errmsg)) {
        result.clear();
        return -1;
    }
    return BaseNet::postSync(url, makeBody(request), true, token(), result, errmsg, abort);
}

void VipNet::checkLoginByAccount(
    const std::string& account, const std::string& password, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["product_type"] = productType();
    request["account"] = account;
    request["password"] = password;
    addDevice(request);
    post(finish(request, vippaths::kCheckLoginByAccount), std::move(callback));
}

void VipNet::checkLoginByWechatCode(const std::string& code, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["product_type"] = productType();
    request["code"] = code;
    addDevice(request);
    post(finish(request, vippaths::kCheckLoginByWechatCode), std::move(callback));
}

void VipNet::checkByAutoLoginToken(const std::string& token, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["product_type"] = productType();
    request["auto_login_token"] = token;
    addDevice(request);
    post(finish(request, vippaths::kCheckByAutoLoginToken), std::move(callback));
}

void VipNet::versionCheck(RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["app_name"] = appName();
    addDevice(request);
    post(finish(request, vippaths::kVersionCheck), std::move(callback));
}

void VipNet::getProductState(RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["product_type"] = productType();
    post(finish(request, vippaths::kGetProductState), std::move(callback));
}

void VipNet::getProductList(int kind, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["product_type"] = productType() + (kind == 1 ? 100 : 0);
    request["type"] = kind + 1;
    post(finish(request, vippaths::kGetProductList), std::move(callback));
}

void VipNet::createPcOrder(
    int productId, int payKind, const std::string& description, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["product_id"] = productId;
    if (payKind == 1) {
        request["pay_way"] = "c";
        request["wechat_type"] = "NATIVE";
    } else if (payKind == 2) {
        request["pay_way"] = "f";
    }
    request["describle"] = description;
    post(finish(request, vippaths::kCreatePcOrder), std::move(callback));
}

void VipNet::checkOrder(int orderId, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["order_id"] = orderId;
    post(finish(request, vippaths::kCheckOrder), std::move(callback));
}

void VipNet::getJumpJsWebUrl(const std::string& jumpTarget, RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    request["jump_target"] = jumpTarget;
    request["product_type"] = productType();
    request["token"] = token();
    post(finish(request, vippaths::kGetJumpJsWebUrl), std::move(callback));
}

void VipNet::getWechatWebQRCode(RequestCallback callback)
{
    Json::Value request(Json::objectValue);
    post(finish(request, vippaths::kGetWechatWebQRCode), std::move(callback));
}

int VipNet::checkWechatScanBody(const std::string& bodyText, std::string& errmsg, std::string& result,
    const std::atomic<bool>* abort)
{
    Json::Value request(Json::objectValue);
    request["body_text"] = bodyText;
    return postSync(finish(request, vippaths::kCheckWechatScanBody), errmsg, result, abort);
}
