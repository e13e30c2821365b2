#include "global/shelllog.h"

#include <bridge/bridge_init.h>

#include <cstdarg>

void shellLog(ShellLogLevel, const char*, int, const char* format, ...)
{
    if (!CD)
        return;
    va_list args;
    va_start(args, format);
    va_end(args);
}
