// The membership plug-in's handling of the results of its requests. The first byte picks the request whose
// result the rest is: a login (the account check, the stored account and the user information the program
// receives), a product state, an order, an order check, a scan page read here. Each is handled as the
// plug-in does, without fault or exception, and the log mask runs over the text.
#include "fuzz_check.h"

#include "base/logmask.h"
#include "base/vip/ordermgr.h"
#include "base/vip/vipdata.h"
#include "wechat/webqrcodemgr.h"

#include <bridge/bridge_init.h>

#include <jsonread/jsonread.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/tavicast-fuzz-memvia-results-XXXXXX";
    bg::SetConfigLogDir(mkdtemp(folder));
    static char name[] = "fuzz_memvia_results";
    static char* argv[] = { name, nullptr };
    bg::InitBridge(1, argv);
    return 0;
}

namespace {

void login(const std::string& result)
{
    bool parsed = false;
    const Json::Value info = VipData::parseJson(result, &parsed);
    if (!parsed || !VipData::namesAccount(info))
        return;
    VipData* data = VipData::instance();
    data->parseLoginInfo(info);
    FUZZ_CHECK(data->userId() > 0);
    // What the program receives reads back with the same id, however wide.
    const std::optional<Json::Value> shown = jsonread::parseObject(data->userInfoJson());
    FUZZ_CHECK(shown && jsonread::int64Of(*shown, "user_id") == data->userId());
    FUZZ_CHECK(OrderMgr::orderKey(data->userId(), 1, 1).startsWith(QString::number(data->userId()) + "-"));
    data->displayName();
    data->clear();
}

void productState(const std::string& result)
{
    VipData* data = VipData::instance();
    const int level = data->productLevel();
    if (!data->parseProductStateResult(result))
        FUZZ_CHECK(data->productLevel() == level);
    data->clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 5) {
    case 0:
        login(text);
        break;
    case 1:
        productState(text);
        break;
    case 2: {
        OrderRecord order;
        OrderMgr::readOrderResult(text, order);
        break;
    }
    case 3:
        OrderMgr::isPaidResult(text);
        break;
    case 4: {
        // Pages the plug-in reads itself (a page it cannot read goes to the service, which is not here).
        std::string wxcode;
        const QString page = QString::fromStdString(text);
        if (page.contains(QLatin1String("wx_errcode"), Qt::CaseInsensitive))
            WebQRCodeMgr::parseScanBody(true, text, wxcode);
        break;
    }
    }
    const std::string masked = maskSecrets(text);
    FUZZ_CHECK(masked.size() <= text.size() + 3 * (text.size() / 4 + 1));
    return 0;
}
