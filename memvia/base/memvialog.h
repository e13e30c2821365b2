#pragma once

// The framework's log statements, written through the plug-in's own component.

#include "base/memviamodule.h"

#include <bridge/bg_log.h>

#undef BG_LOG_COMPONENT
#define BG_LOG_COMPONENT (::memvia::module())
