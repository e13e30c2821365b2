#include <bridge/bridge_init.h>

bg::Interface* CD = nullptr;
bool Bg_Is_Aborted = false;
