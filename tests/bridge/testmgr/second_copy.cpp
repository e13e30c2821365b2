#include <bridge/testmanager.h>

extern "C" __attribute__((visibility("default"))) bg::TestManager* second_copy_instance()
{
    return bg::TestManager::instance();
}
