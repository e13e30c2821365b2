#include <bridge/admin.h>
#include <bridge/bg_log.h>
#include <bridge/instance.h>
#include <bridge/utils.h>

#include <cstdio>

namespace bg {

// Only the admin's own components are listed: other objects in the registry have no state word.
void showAllInstance(const char* tag)
{
    auto* admin = dynamic_cast<Admin*>(CD);
    if (admin) {
        BG_LOGD("=========== allInstance [%s]==========", tag ? tag : "-");
        travellInstance(
            [](const char* key, void* obj, void* ctx) {
                if (!static_cast<Admin*>(ctx)->is_component(obj))
                    return;
                const uint32_t state = static_cast<Interface*>(obj)->state;
                BG_LOGD("Instance: %s,  inited=%d, started=%d", key,
                    (state & Interface::STATE_INITED) ? 1 : 0, (state & Interface::STATE_STARTED) ? 1 : 0);
            },
            admin);
        BG_LOGD("======================================");
    }
    fflush(stderr);
}

} // namespace bg
