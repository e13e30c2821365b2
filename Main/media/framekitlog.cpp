#include "media/framekitlog.h"

#include <bridge/bg_log.h>
#include <framekit/framekit.h>

#include <cstdio>

namespace {

void toProgramLog(int level, const char* format, va_list args, void*)
{
    char text[2048];
    std::vsnprintf(text, sizeof text, format, args);
    if (level <= FK_LOG_ERROR)
        BG_LOGE("%s", text);
    else if (level <= FK_LOG_WARNING)
        BG_LOGW("%s", text);
    else if (level <= FK_LOG_INFO)
        BG_LOGI("%s", text);
    else
        BG_LOGD("%s", text);
}

} // namespace

void routeFramekitLogToProgramLog() { fk_log_set_handler(toProgramLog, nullptr); }
