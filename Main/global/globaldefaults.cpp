#include "global/globaldefaults.h"

#include "global/appkeys.h"
#include "global/settings.h"

#include <bridge/abstract_config.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QDir>

namespace {

constexpr char kChatAesKey[] = "q7#Lm!wz_r4Kp2$e";
constexpr int kChatAesVersion = 200;

} // namespace

void initGlobalDefaults()
{
    if (!CD || !CD->config || !CD->data)
        return;
    cfgGetBool(CD->config, kCfgRecordEnable, true, true);

    const std::string home = QDir::homePath().toStdString();
    bool found = false;
    CD->config->get(kCfgRecordDir, &found);
    if (!found)
        cfgSetStdString(CD->config, kCfgRecordDir, home.c_str());

    CD->data->set_data(kDataChatAesKey, bg::Value(kChatAesKey));
    CD->data->set_data(kDataChatAesVersion, bg::Value(kChatAesVersion));
}
