#pragma once

#include <bridge/bg_export.h>

namespace bg {
class Interface;
}

// The process's root component (the admin); null before bg::InitBridge and after bg::UninitBridge.
extern BG_API bg::Interface* CD;
// Set by bg::UninitBridge, so that running code can notice that tear-down has begun.
extern BG_API bool Bg_Is_Aborted;
