#pragma once

#include "base/base.h"

#include <mutex>
#include <string>

// The signed-in account and its membership state: filled from a login reply, refreshed from product-state
// replies, cleared at log-out, and rendered as the user-information JSON the program receives.
//
// One process-wide instance, created on first use and never destroyed. Used on the GUI thread; `token` may
// also be read from request threads.
class VipData : public Base {
    Q_OBJECT
public:
    static VipData* instance();

    // Whether a login result names an account: a JSON object with a positive 64-bit "user_id" (1e19 is none).
    static bool namesAccount(const Json::Value& result);
    // Stores the account of a login result; always true.
    bool parseLoginInfo(const Json::Value& result);
    // Stores the state of the first element whose "product_type" is the application's.
    void parseProductState(const Json::Value& states);
    // The same for the result text of a successful product-state request. A result that is no list of states
    // (missing, not JSON, another type) is a failed request: false, and the state stays as it was.
    bool parseProductStateResult(const std::string& result);
    // Forgets the account; the auto-login token and the display delay stay.
    void clear();

    std::string userInfoJson();
    // The end date (its first 10 characters), or "终身会员" past 2100-01-01, which also renames the level.
    std::string endTimeText();
    // An empty kind: user name, else phone, else e-mail, else the id; "telphone", "email", "nickname": that
    // field, else the id.
    std::string displayName(const std::string& kind = std::string());

    std::string token() override;
    std::string avatar() const { return m_avatar; }
    std::string vipName() const { return m_vipName; }
    std::string userIdText() const { return std::to_string(m_userId); }
    int64_t userId() const { return m_userId; }
    bool isMember() const { return m_productLevel > 1; }
    bool isExpired() const { return m_productLevel < 0; }
    int productLevel() const { return m_productLevel; }
    std::string endTime() const { return m_endTime; }
    int busiType() const { return m_busiType; }
    int maxDevice() const { return m_maxDevice; }
    int clientDevice() const { return m_clientDevice; }
    std::string autoLoginToken() const { return m_autoLoginToken; }

    // Opens the service page of a kind (0 user centre, 1 business, 2 package, 3 buy centre, 4 buy) in the
    // desktop's browser once the service has named it; only http and https addresses are opened.
    void jumpTarget(int kind);

    // The level names; a level outside -3..3 has none (empty).
    static QString levelName(int level);

private:
    explicit VipData(QObject* parent = nullptr);

    int64_t m_userId = 0;
    std::string m_userName;
    std::string m_email;
    std::string m_telphone;
    std::string m_nickName;
    std::string m_avatar;
    std::string m_vipName;
    std::string m_endTime;
    std::string m_token; // guarded by m_tokenMutex
    std::string m_autoLoginToken;
    int m_productLevel = 0;
    int m_busiType = 0;
    int m_maxDevice = 0;
    int m_clientDevice = 0;
    int m_showDelay = 0;
    std::string m_meetingHost;

    mutable std::mutex m_tokenMutex;
};
