#pragma once

#include "base/basenet.h"

#include <string>

// The membership service's requests: one operation per path. Each builds its members, adds "net_url" and
// hands the text to `post`, which adds the common members, signs, enciphers and posts.
//
// One process-wide instance, created on first use on the GUI thread and never destroyed. The operations run
// on the GUI thread and complete through their callback there, except `checkWechatScanBody` and `postSync`,
// which block the calling thread. Failures arrive in the callback as (errcode, errmsg, result) of BaseNet.
class VipNet : public BaseNet {
    Q_OBJECT
public:
    static VipNet* instance();

    // The signed-in account's token; empty when signed out. Any thread.
    std::string token() override;

    // `request` is a JSON object whose "net_url" holds the full URL. A request that is no JSON or has no
    // URL fails at once, inside the call, with -1.
    void post(const std::string& request, RequestCallback callback);
    int postSync(const std::string& request, std::string& errmsg, std::string& result,
        const std::atomic<bool>* abort = nullptr);

    void checkLoginByAccount(
        const std::string& account, const std::string& password, RequestCallback callback);
    void checkLoginByWechatCode(const std::string& code, RequestCallback callback);
    void checkByAutoLoginToken(const std::string& token, RequestCallback callback);
    void versionCheck(RequestCallback callback);
    void getProductState(RequestCallback callback);
    // kind 0 personal, 1 business.
    void getProductList(int kind, RequestCallback callback);
    // payKind 1 WeChat, 2 Alipay.
    void createPcOrder(int productId, int payKind, const std::string& description, RequestCallback callback);
    void checkOrder(int orderId, RequestCallback callback);
    void getJumpJsWebUrl(const std::string& jumpTarget, RequestCallback callback);
    void getWechatWebQRCode(RequestCallback callback);
    // Ends early once `*abort`, when given, is true.
    int checkWechatScanBody(const std::string& bodyText, std::string& errmsg, std::string& result,
        const std::atomic<bool>* abort = nullptr);

private:
    explicit VipNet(QObject* parent = nullptr);

    // Checks the request text; false with errmsg (logged) when it cannot be sent.
    static bool requestUrl(const std::string& request, std::string& url, std::string& errmsg);
};
