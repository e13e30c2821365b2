#include <devservice/membershiproutes.h>

#include <devservice/jsonfields.h>

#include <devservice/qrpicture.h>

#include <QByteArray>
#include <QDateTime>
#include <QUrl>
#include <QUrlQuery>

#include <json/writer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace devservice {

namespace {

    // The service's own words: where it lives, its keys and the members it reads.
    constexpr char kApiBase[] = "/goapi";
    constexpr char kEnvelopeKey[] = "norvo.zq_&^%*_84";
    constexpr int kEnvelopeVersion = 100;
    constexpr char kSignSalt[] = "norvo.zq@19971204";
    constexpr char kSignMember[] = "sign";
    constexpr int kRefused = 400;
    constexpr char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";
    constexpr char kLifetimeEnd[] = "2199-12-31 23:59:59";

    enum class Kind { Int, String };
    struct Member {
        const char* name;
        Kind kind;
    };

    const std::vector<Member> kDevice
        = { { "mac_addr", Kind::String }, { "device_name", Kind::String }, { "machine_code", Kind::String } };

    struct Account {
        std::string account;
        std::string password;
        int userId = 0;
        std::string nickName;
        std::string email;
        std::string telphone;
        int level = 1;
        std::string endTime;
        int busiType = 0;
        int maxDevice = 1;
        int clientDevice = 1;
        int refusal = 0; // a login error the account always gets
        // Whether the account is configured with a live-start address (the service's own base URL), which a
        // host must then type into the client's settings before a meeting starts.
        bool liveStartAddress = false;
    };

    struct Product {
        int id;
        bool business;
        const char* name;
        int days;
        double primePrice;
        double realPrice;
    };

    const Product kProducts[] = {
        { 1, false, "月度会员", 30, 30, 25 },
        { 2, false, "季度会员", 90, 90, 68 },
        { 3, false, "年度会员", 365, 360, 188 },
        { 4, false, "两年会员", 730, 720, 328 },
        { 11, true, "商业年度授权", 365, 2000, 1688 },
        { 12, true, "商业两年授权", 730, 4000, 2988 },
    };

    const Product* findProduct(int id)
    {
        for (const Product& product : kProducts) {
            if (product.id == id)
                return &product;
        }
        return nullptr;
    }

    struct Order {
        int id = 0;
        std::string account;
        int productId = 0;
        int payStatus = 0;
        int dealStatus = 0;
        qint64 createdMs = 0;
    };

    struct WebQr {
        bool confirmed = false;
        bool cancelled = false;
        bool scanReported = false; // the one 404 between the scan and the confirmed code
        qint64 createdMs = 0;
    };

    std::string timeText(const QDateTime& time) { return time.toString(kTimeFormat).toStdString(); }

    class State {
    public:
        State()
        {
            add({ "demo", "demo1234", 10001, "演示用户", "demo@example.com", "13800000001", 1, "", 0, 1, 1,
                0 });
            add({ "member", "member1234", 10002, "会员用户", "member@example.com", "13800000002", 2,
                timeText(QDateTime::currentDateTime().addDays(60)), 0, 2, 1, 0 });
            add({ "lifetime", "lifetime1234", 10003, "终身会员", "lifetime@example.com", "13800000003", 3,
                kLifetimeEnd, 1, 5, 1, 0 });
            add({ "bound", "bound1234", 10004, "已绑定", "bound@example.com", "13800000004", 1, "", 0, 1, 1,
                -10 });
            add({ "hostcheck", "hostcheck1234", 10005, "地址核对", "hostcheck@example.com", "13800000005", 2,
                timeText(QDateTime::currentDateTime().addDays(60)), 0, 2, 1, 0, true });
        }

        std::mutex mutex;
        std::map<std::string, Account> accounts;
        std::map<std::string, std::string> tokens; // bearer token → account
        std::map<std::string, std::string> autoTokens; // auto-login token → account
        std::map<int, Order> orders;
        std::map<std::string, WebQr> webQrs; // by uuid
        std::map<std::string, std::string> wechatCodes; // confirmed code → account
        int nextOrder = 5001;
        int nextSerial = 1;

        std::string serial() { return std::to_string(nextSerial++); }

    private:
        void add(Account account) { accounts[account.account] = std::move(account); }
    };

    std::string compact(const Json::Value& value)
    {
        Json::FastWriter writer;
        writer.omitEndingLineFeed();
        return writer.write(value);
    }

    std::string numberText(const Json::Value& value)
    {
        if (const std::optional<int> whole = jsonfields::toInt(value))
            return std::to_string(*whole);
        // "%g" in the C locale, whatever the locale of the process.
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << std::setprecision(6) << jsonfields::toDouble(value).value_or(0);
        return out.str();
    }

    std::string valueText(const Json::Value& value)
    {
        if (const std::optional<std::string> text = jsonfields::toString(value))
            return *text;
        if (const std::optional<bool> flag = jsonfields::toBool(value))
            return *flag ? "1" : "0";
        if (value.isNumeric())
            return numberText(value);
        if (value.isArray()) {
            std::string text;
            for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
                if (i > 0)
                    text += ',';
                const Json::Value& element = value[i];
                if (const std::optional<std::string> item = jsonfields::toString(element))
                    text += *item;
                else if (element.isNumeric() && !element.isBool())
                    text += numberText(element);
            }
            return text;
        }
        return std::string(); // null, object
    }

    ScriptedReply answer(const MembershipOptions& options, int errcode, const std::string& errmsg,
        const Json::Value& result = Json::Value())
    {
        Json::Value reply(Json::objectValue);
        reply["errcode"] = errcode;
        reply["errmsg"] = errmsg;
        reply["encrypt"] = options.encrypt ? 1 : 0;
        reply["version"] = kEnvelopeVersion;
        if (errcode == 0) {
            const std::string text = compact(result.isNull() ? Json::Value(Json::objectValue) : result);
            reply["result"] = options.encrypt ? aesEncrypt(text, kEnvelopeKey) : text;
        }
        ScriptedReply scripted;
        scripted.rawBody = compact(reply);
        return scripted;
    }

    ScriptedReply page(const std::string& title, const std::string& text)
    {
        ScriptedReply scripted;
        scripted.rawBody = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title
            + "</title></head><body><p>" + text + "</p></body></html>\n";
        return scripted;
    }

    ScriptedReply plainText(const std::string& text)
    {
        ScriptedReply scripted;
        scripted.rawBody = text;
        return scripted;
    }

    std::string origin(const RecordedRequest& request)
    {
        return std::string(request.secure ? "https" : "http") + "://" + request.header("host");
    }

    // Every demo account's avatar: a 48 x 48 PNG of a white figure on blue.
    constexpr char kAvatarPath[] = "/images/avatar.png";
    const std::string& avatarPicture()
    {
        static const std::string picture(
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x30\x00\x00\x00\x30"
        "\x08\x02\x00\x00\x00\xd8\x60\x6e\xd0\x00\x00\x00\x95\x49\x44\x41\x54\x78\xda\xed\xd8\xcb\x0d\x80"
        "\x30\x0c\x03\xd0\x2c\xc5\xac\x8c\x0b\x03\x20\x95\xfc\x6b\x88\x2d\xce\xd1\x43\x42\x71\x8b\x1c\xe7"
        "\x05\xf5\x08\x41\x04\x11\x44\x10\x41\x04\x11\x84\x05\x7a\x66\x1b\x68\x9d\x56\x90\x3e\x1d\x20\x6b"
        "\x86\x81\x7c\x19\x03\x8a\x84\x20\x82\x20\x41\x6c\x7b\x34\x50\x45\x75\xeb\xbf\x42\x1b\x28\xc5\xa4"
        "\x9c\x0f\x0c\x2a\x35\xe9\x27\x8b\x69\xd3\x54\x68\x56\xa0\x0a\x93\x75\xa0\xf8\xd6\x71\xe2\x66\x7f"
        "\xdf\x43\xf1\x42\x88\x4c\x90\xf4\xda\x0a\xbe\xcf\x47\x40\x0d\x26\x4f\x97\xf5\x6b\x54\xe5\xda\x46"
        "\x31\xb4\x7d\x9b\xe6\x17\x27\x46\xb8\xab\x34\xe2\xdf\x8f\x59\x47\xd8\x1b\x08\x92\xf1\x3f\xd9\xee"
        "\x2b\x2f\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
            206);
        return picture;
    }

    std::string bearerAccount(State& state, const RecordedRequest& request)
    {
        const std::string header = request.header("authorization");
        const std::string prefix = "Bearer ";
        if (header.compare(0, prefix.size(), prefix) != 0)
            return std::string();
        const auto found = state.tokens.find(header.substr(prefix.size()));
        return found == state.tokens.end() ? std::string() : found->second;
    }

    std::string queryItem(const RecordedRequest& request, const char* name)
    {
        return QUrlQuery(QString::fromStdString(request.query)).queryItemValue(name).toStdString();
    }

    Json::Value productState(const Account& account, int productType)
    {
        Json::Value state(Json::objectValue);
        state["product_type"] = productType;
        state["product_level"] = account.level;
        state["end_time"] = account.endTime;
        state["busi_type"] = account.busiType;
        state["max_device"] = account.maxDevice;
        state["client_device"] = account.clientDevice;
        Json::Value states(Json::arrayValue);
        states.append(state);
        return states;
    }

    // A login: new tokens for the account and everything the client keeps of it.
    Json::Value loginResult(
        State& state, const Account& account, int productType, const RecordedRequest& request)
    {
        const std::string token = "tok-" + account.account + "-" + state.serial();
        const std::string autoToken = "auto-" + account.account + "-" + state.serial();
        state.tokens[token] = account.account;
        state.autoTokens[autoToken] = account.account;
        Json::Value result(Json::objectValue);
        result["user_id"] = account.userId;
        result["user_name"] = account.account;
        result["nick_name"] = account.nickName;
        result["email"] = account.email;
        result["telphone"] = account.telphone;
        result["avatar"] = origin(request) + kAvatarPath;
        result["token"] = token;
        result["auto_login_token"] = autoToken;
        Json::Value config(Json::objectValue);
        config["show_delay"] = 0;
        config["meetting_host"] = account.liveStartAddress ? origin(request) : std::string();
        result["config"] = config;
        result["product_state"] = productState(account, productType);
        return result;
    }

    // A paid order moves the account's end date on by the product's days from today or from its current
    // end, whichever is later.
    void applyPayment(Account& account, const Product& product)
    {
        if (account.endTime == kLifetimeEnd)
            return;
        const QDateTime now = QDateTime::currentDateTime();
        QDateTime end = QDateTime::fromString(QString::fromStdString(account.endTime), kTimeFormat);
        if (!end.isValid() || end < now)
            end = now;
        account.endTime = timeText(end.addDays(product.days));
        account.level = std::max(account.level, 2);
        if (product.business)
            account.busiType = 1;
    }

    // Orders old enough pay themselves when the service is told to (--auto-pay). Every order of an account
    // buys the same membership, and one the user switched past (another plan, another pay way) is left
    // unpaid by a real buyer: only each account's newest order pays itself, once.
    void settleAutoPay(State& state, const MembershipOptions& options)
    {
        if (options.autoPayMs <= 0)
            return;
        std::map<std::string, Order*> newest;
        for (auto& [id, order] : state.orders) {
            Order*& latest = newest[order.account];
            if (!latest || order.id > latest->id)
                latest = &order;
        }
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (auto& [account, order] : newest) {
            if (order->payStatus != 0 || now - order->createdMs < options.autoPayMs)
                continue;
            order->payStatus = 1;
            order->dealStatus = 1;
            if (const Product* product = findProduct(order->productId))
                applyPayment(state.accounts[account], *product);
        }
    }

    // Scan-page codes of the WeChat web login, read as the client reads them: "name=value" parts split at
    // ";".
    bool readScanPage(const std::string& page, int& errcode, std::string& code)
    {
        bool found = false;
        const QStringList parts = QString::fromStdString(page).split(';');
        for (const QString& part : parts) {
            const QStringList pair = part.trimmed().split('=');
            if (pair.size() != 2)
                continue;
            const QString name = pair[0].trimmed().toLower();
            if (name == "window.wx_errcode") {
                errcode = pair[1].trimmed().toInt();
                found = true;
            } else if (name == "window.wx_code") {
                code = pair[1].trimmed().remove('\'').remove('"').toStdString();
            }
        }
        return found;
    }

    using Handler = std::function<ScriptedReply(State&, const RecordedRequest&, const Json::Value&)>;

    struct ApiPath {
        const char* path;
        std::vector<Member> members;
        bool withDevice;
        Handler handler;
    };

    std::string checkMembers(const Json::Value& members, const ApiPath& api)
    {
        std::vector<Member> wanted = api.members;
        if (api.withDevice)
            wanted.insert(wanted.end(), kDevice.begin(), kDevice.end());
        for (const Member& member : wanted) {
            const Json::Value& value = jsonfields::member(members, member.name);
            const bool typed = member.kind == Kind::Int ? value.isInt() : value.isString();
            if (!typed)
                return std::string("missing or mistyped member \"") + member.name + "\"";
        }
        return std::string();
    }

    Route apiRoute(std::shared_ptr<State> state, MembershipOptions options, ApiPath api)
    {
        Route route;
        route.aesKey = kEnvelopeKey;
        route.envelope = true;
        route.signedBody = false; // the membership signature is checked here, not the program's
        route.handler = [state, options, api](const RecordedRequest& request) {
            if (jsonfields::toInt(request.envelopeVersion) != kEnvelopeVersion)
                return answer(options, kRefused, "unknown envelope version");
            if (!request.members.isObject())
                return answer(options, kRefused, "the body is not a JSON object");
            const SignatureCheck check = verifyMembershipSignature(request.members);
            if (!check.valid)
                return answer(options, kRefused, check.problem);
            const std::string problem = checkMembers(request.members, api);
            if (!problem.empty())
                return answer(options, kRefused, problem);
            std::lock_guard<std::mutex> lock(state->mutex);
            return api.handler(*state, request, request.members);
        };
        return route;
    }

    Route pageRoute(
        std::shared_ptr<State> state, std::function<ScriptedReply(State&, const RecordedRequest&)> handler)
    {
        Route route;
        route.signedBody = false;
        route.handler = [state, handler](const RecordedRequest& request) {
            std::lock_guard<std::mutex> lock(state->mutex);
            return handler(*state, request);
        };
        return route;
    }

} // namespace

std::string membershipSignatureText(const Json::Value& object)
{
    std::vector<std::string> names = object.getMemberNames();
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) {
        if (name != kSignMember)
            text += name + "=" + valueText(jsonfields::member(object, name)) + "&";
    }
    return text + "&" + kSignSalt;
}

SignatureCheck verifyMembershipSignature(const Json::Value& object)
{
    if (!object.isObject())
        return { false, "the body is not a JSON object" };
    const Member context[] = { { "req_time", Kind::Int }, { "platform", Kind::Int },
        { "platform_type", Kind::Int }, { "app_version", Kind::String }, { "channel_id", Kind::Int },
        { "app_name", Kind::String }, { kSignMember, Kind::String } };
    for (const Member& member : context) {
        const Json::Value& value = jsonfields::member(object, member.name);
        const bool typed
            = member.kind == Kind::Int ? value.isIntegral() && !value.isBool() : value.isString();
        if (!typed)
            return { false, std::string("missing or mistyped member \"") + member.name + "\"" };
    }
    if (object.isMember("client"))
        return { false, "unexpected member \"client\"" };
    const std::string expected = md5Hex(membershipSignatureText(object));
    if (jsonfields::stringOf(object, kSignMember) != expected)
        return { false, "signature mismatch: expected " + expected };
    return { true, std::string() };
}

std::string membershipDemoText()
{
    const State state;
    std::string text;
    for (const auto& [name, account] : state.accounts) {
        text += "membership account: " + name + " / " + account.password + " (level "
            + std::to_string(account.level);
        if (!account.endTime.empty())
            text += ", ends " + account.endTime;
        if (account.refusal)
            text += ", login answers errcode " + std::to_string(account.refusal);
        if (account.liveStartAddress)
            text += ", live-start address: the base URL above";
        text += ")\n";
    }
    return text;
}

void addMembershipRoutes(RouteTable& routes, MembershipOptions options)
{
    auto state = std::make_shared<State>();
    const std::string base = kApiBase;

    Route avatar;
    avatar.signedBody = false;
    avatar.handler = [](const RecordedRequest&) {
        ScriptedReply reply;
        reply.rawBody = avatarPicture();
        reply.contentType = "image/png";
        return reply;
    };
    routes[kAvatarPath] = avatar;
    const auto failure
        = [options](int errcode, const char* errmsg) { return answer(options, errcode, errmsg); };
    const auto success = [options](const Json::Value& result) { return answer(options, 0, "", result); };

    const auto login = [success, failure](State& s, const RecordedRequest& request, const std::string& name) {
        const auto account = s.accounts.find(name);
        if (account == s.accounts.end())
            return failure(1001, "账号或密码错误");
        if (account->second.refusal)
            return failure(account->second.refusal, "该账号已在其他设备绑定，请先解绑");
        return success(loginResult(s, account->second, jsonfields::intOf(request.members, "product_type").value_or(0), request));
    };

    const ApiPath apis[] = {
        { "/user/checkLoginByAccount",
            { { "product_type", Kind::Int }, { "account", Kind::String }, { "password", Kind::String } },
            true,
            [login, failure](State& s, const RecordedRequest& request, const Json::Value& m) {
                const auto account = s.accounts.find(jsonfields::stringOf(m, "account").value_or(""));
                const std::string password = jsonfields::stringOf(m, "password").value_or("");
                // The login dialog sends the password's MD5 digest; a plain password is taken too.
                if (account == s.accounts.end()
                    || (password != account->second.password && password != md5Hex(account->second.password)))
                    return failure(1001, "账号或密码错误");
                return login(s, request, account->first);
            } },
        { "/user/checkLoginByWechatCode", { { "product_type", Kind::Int }, { "code", Kind::String } }, true,
            [login, failure](State& s, const RecordedRequest& request, const Json::Value& m) {
                const auto code = s.wechatCodes.find(jsonfields::stringOf(m, "code").value_or(""));
                if (code == s.wechatCodes.end())
                    return failure(1002, "微信授权码无效");
                const std::string name = code->second;
                s.wechatCodes.erase(code);
                return login(s, request, name);
            } },
        { "/user/checkByAutoLoginToken",
            { { "product_type", Kind::Int }, { "auto_login_token", Kind::String } }, true,
            [login, failure](State& s, const RecordedRequest& request, const Json::Value& m) {
                const auto found = s.autoTokens.find(jsonfields::stringOf(m, "auto_login_token").value_or(""));
                if (found == s.autoTokens.end())
                    return failure(1003, "自动登录已失效，请重新登录");
                return login(s, request, found->second);
            } },
        { "/versionCheck", { { "app_name", Kind::String } }, true,
            [success](State&, const RecordedRequest&, const Json::Value&) {
                Json::Value result(Json::objectValue);
                result["version"] = "1.0.0";
                return success(result);
            } },
        { "/user/getProductState", { { "product_type", Kind::Int } }, false,
            [success, failure, options](State& s, const RecordedRequest& request, const Json::Value& m) {
                const std::string name = bearerAccount(s, request);
                if (name.empty())
                    return failure(401, "请先登录");
                settleAutoPay(s, options);
                return success(productState(s.accounts[name], jsonfields::intOf(m, "product_type").value_or(0)));
            } },
        { "/user/getProductList", { { "product_type", Kind::Int }, { "type", Kind::Int } }, false,
            [success](State&, const RecordedRequest&, const Json::Value& m) {
                const bool business = jsonfields::intOf(m, "type") == 2;
                Json::Value list(Json::arrayValue);
                for (const Product& product : kProducts) {
                    if (product.business != business)
                        continue;
                    Json::Value item(Json::objectValue);
                    item["id"] = product.id;
                    item["product_type"] = jsonfields::intOf(m, "product_type").value_or(0);
                    item["name"] = product.name;
                    item["sum"] = 1;
                    item["discrible"]
                        = std::string(product.name) + "，" + std::to_string(product.days) + "天";
                    item["product_url"] = "";
                    item["prime_price"] = product.primePrice;
                    item["real_price"] = product.realPrice;
                    item["valid_day"] = product.days;
                    list.append(item);
                }
                Json::Value result(Json::objectValue);
                result["productList"] = list;
                return success(result);
            } },
        { "/user/createPcOrder", { { "product_id", Kind::Int }, { "describle", Kind::String } }, false,
            [success, failure, base](State& s, const RecordedRequest& request, const Json::Value& m) {
                const std::string name = bearerAccount(s, request);
                if (name.empty())
                    return failure(401, "请先登录");
                if (!findProduct(jsonfields::intOf(m, "product_id").value_or(0)))
                    return failure(1004, "商品不存在");
                const std::string payWay = jsonfields::stringOf(m, "pay_way").value_or("");
                if (payWay != "c" && payWay != "f")
                    return failure(1005, "不支持的支付方式");
                Order order;
                order.id = s.nextOrder++;
                order.account = name;
                order.productId = jsonfields::intOf(m, "product_id").value_or(0);
                order.createdMs = QDateTime::currentMSecsSinceEpoch();
                s.orders[order.id] = order;
                Json::Value result(Json::objectValue);
                result["order_id"] = order.id;
                result["qr_code"] = origin(request) + base + "/pay?order_id=" + std::to_string(order.id);
                return success(result);
            } },
        { "/user/checkOrder", { { "order_id", Kind::Int } }, false,
            [success, failure, options](State& s, const RecordedRequest& request, const Json::Value& m) {
                settleAutoPay(s, options);
                const auto order = s.orders.find(jsonfields::intOf(m, "order_id").value_or(0));
                if (order == s.orders.end() || order->second.account != bearerAccount(s, request))
                    return failure(1006, "订单不存在");
                Json::Value result(Json::objectValue);
                result["order_id"] = order->second.id;
                result["pay_status"] = order->second.payStatus;
                result["deal_status"] = order->second.dealStatus;
                return success(result);
            } },
        { "/user/getJumpJsWebUrl",
            { { "jump_target", Kind::String }, { "product_type", Kind::Int }, { "token", Kind::String } },
            false,
            [success, base](State&, const RecordedRequest& request, const Json::Value& m) {
                const QString target = QString::fromStdString(jsonfields::stringOf(m, "jump_target").value_or(""));
                Json::Value result(Json::objectValue);
                result["jump_url"] = origin(request) + base
                    + "/page?target=" + QUrl::toPercentEncoding(target).toStdString();
                return success(result);
            } },
        { "/wechat/getWechatWebQRCode", {}, false,
            [success, base, options](State& s, const RecordedRequest& request, const Json::Value&) {
                const std::string uuid = "qr" + s.serial();
                WebQr qr;
                qr.createdMs = QDateTime::currentMSecsSinceEpoch();
                s.webQrs[uuid] = qr;
                Json::Value result(Json::objectValue);
                result["wechat_net"] = origin(request) + base + "/wechat/poll?uuid=" + uuid + "&last=$1&_=$2";
                result["local"] = options.webQrLocal ? 1 : 0;
                result["wechat_qrcode"] = origin(request) + base + "/wechat/qrcode.png?uuid=" + uuid;
                return success(result);
            } },
        { "/user/checkWechatScanBody", { { "body_text", Kind::String } }, false,
            [success, failure](State&, const RecordedRequest&, const Json::Value& m) {
                const QByteArray page
                    = QByteArray::fromBase64(QByteArray::fromStdString(jsonfields::stringOf(m, "body_text").value_or("")));
                int errcode = 0;
                std::string code;
                if (!readScanPage(page.toStdString(), errcode, code))
                    return failure(1007, "无法解析扫码页面");
                Json::Value result(Json::objectValue);
                result["wx_errcode"] = errcode;
                result["wx_code"] = code;
                return success(result);
            } },
    };
    for (const ApiPath& api : apis)
        routes[base + api.path] = apiRoute(state, options, api);

    routes[base + "/pay"] = pageRoute(state, [](State& s, const RecordedRequest& request) {
        const auto order = s.orders.find(std::atoi(queryItem(request, "order_id").c_str()));
        if (order == s.orders.end())
            return page("订单不存在", "订单不存在");
        if (order->second.payStatus == 0) {
            order->second.payStatus = 1;
            order->second.dealStatus = queryItem(request, "deal") == "0" ? 0 : 1;
            if (order->second.dealStatus == 1)
                applyPayment(s.accounts[order->second.account], *findProduct(order->second.productId));
        }
        return page("支付成功", "订单 " + std::to_string(order->second.id) + " 已支付");
    });
    routes[base + "/page"] = pageRoute(state, [](State&, const RecordedRequest& request) {
        const std::string target = queryItem(request, "target");
        return page(target, "会员中心页面：" + target);
    });
    routes[base + "/wechat/scan"] = pageRoute(state, [](State& s, const RecordedRequest& request) {
        const auto qr = s.webQrs.find(queryItem(request, "uuid"));
        if (qr == s.webQrs.end())
            return page("二维码已失效", "二维码已失效");
        if (queryItem(request, "cancel") == "1") {
            qr->second.cancelled = true;
            return page("已取消", "已取消登录");
        }
        qr->second.confirmed = true;
        return page("已确认", "已确认登录");
    });
    // The attempt's code as a picture: its confirm page's address, as a phone would read it.
    routes[base + "/wechat/qrcode.png"] = pageRoute(state, [base](State& s, const RecordedRequest& request) {
        const std::string uuid = queryItem(request, "uuid");
        if (s.webQrs.find(uuid) == s.webQrs.end())
            return page("二维码已失效", "二维码已失效");
        ScriptedReply picture;
        picture.rawBody = qrPicturePng(origin(request) + base + "/wechat/scan?uuid=" + uuid);
        picture.contentType = "image/png";
        return picture;
    });
    // What the client polls: 408 while nobody has scanned, 404 once the scan is confirmed, then 405 with a
    // code; 403 when cancelled and 402 for an expired or unknown attempt.
    routes[base + "/wechat/poll"] = pageRoute(state, [options](State& s, const RecordedRequest& request) {
        const std::string uuid = queryItem(request, "uuid");
        const auto qr = s.webQrs.find(uuid);
        const qint64 age
            = qr == s.webQrs.end() ? 0 : QDateTime::currentMSecsSinceEpoch() - qr->second.createdMs;
        if (qr == s.webQrs.end() || age > options.webQrLifetimeMs)
            return plainText("window.wx_errcode=402;window.wx_code='';");
        if (qr->second.cancelled)
            return plainText("window.wx_errcode=403;window.wx_code='';");
        if (options.webQrAutoScanMs > 0 && age >= options.webQrAutoScanMs)
            qr->second.confirmed = true;
        if (!qr->second.confirmed)
            return plainText("window.wx_errcode=408;window.wx_code='';");
        if (!qr->second.scanReported) {
            qr->second.scanReported = true;
            return plainText("window.wx_errcode=404;window.wx_code='';");
        }
        const std::string code = "wx-" + uuid + "-" + s.serial();
        s.wechatCodes[code] = "demo";
        s.webQrs.erase(qr);
        return plainText("window.wx_errcode=405;window.wx_code='" + code + "';");
    });
}

} // namespace devservice
