#include "app/basesingleapplication.h"

#include <bridge/bg_log.h>
#include <bridge/bridge_init.h>

namespace {

constexpr char kPluginFile[] = "libMemvia.so";
constexpr int kInstanceTimeoutMs = 1000;

} // namespace

BaseSingleApplication::BaseSingleApplication(int& argc, char** argv)
    : SingleApplication(argc, argv, true, SingleApplication::PerUser, kInstanceTimeoutMs)
{
    const char* const modules[] = { kPluginFile };
    const int loaded = bg::LoadModules(modules, 1, true);
    BG_LOGE("BaseSingleApplication loaded modules count = %d", loaded);
}
