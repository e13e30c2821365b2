#pragma once

// The log statements of the framework, the program and the plug-in. Each writes one line:
//   <time %m%d-%H:%M:%S>[E][bg] <source base name> <line, left in 4 columns>: "<message>"
// through the logger of BG_LOG_COMPONENT (the root component CD unless a file defines it first, as the
// plug-in does for its own module). A statement does nothing while CD is null (before start-up, after
// tear-down). The message format is checked against its arguments at compile time.

#include <bridge/abstract_logger.h>
#include <bridge/bridge_init.h>
#include <bridge/interface.h>
#include <bridge/utils.h>

namespace bg::log {

// The local time now as "%m%d-%H:%M:%S", in a buffer of the calling thread.
BG_API const char* time_text();

// The text after the last '/' or '\'.
constexpr const char* base_name(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

// The component's logger; null while CD is null or when the component has none. A template, so that any
// component type with `logger` and `utils` members works.
template <typename Component> Abstract_Logger* logger_of(Component* component)
{
    return CD && component ? component->logger : nullptr;
}

template <typename Component> const char* time_of(Component* component)
{
    return component->utils ? component->utils->time_str("%m%d-%H:%M:%S") : time_text();
}

} // namespace bg::log

#ifndef BG_LOG_COMPONENT
#define BG_LOG_COMPONENT CD
#endif

#define BG_LOG_LINE(level, letter, format, ...)                                                              \
    do {                                                                                                     \
        auto* bg_log_component_ = (BG_LOG_COMPONENT);                                                        \
        if (::bg::Abstract_Logger* bg_log_logger_ = ::bg::log::logger_of(bg_log_component_))                 \
            bg_log_logger_->log(level, "bg", "%s[" letter "][bg] %s %-4d: \"" format "\"\n",                 \
                ::bg::log::time_of(bg_log_component_), ::bg::log::base_name(__FILE__), __LINE__,             \
                ##__VA_ARGS__);                                                                              \
    } while (0)

#define BG_LOGE(format, ...) BG_LOG_LINE(2, "E", format, ##__VA_ARGS__)
#define BG_LOGW(format, ...) BG_LOG_LINE(3, "W", format, ##__VA_ARGS__)
#define BG_LOGI(format, ...) BG_LOG_LINE(4, "I", format, ##__VA_ARGS__)
#define BG_LOGD(format, ...) BG_LOG_LINE(5, "D", format, ##__VA_ARGS__)
