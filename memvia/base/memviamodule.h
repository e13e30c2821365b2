#pragma once

#include <bridge/interface.h>

// The plug-in's own component: the module object once the framework has loaded the plug-in, or a component
// a test points it at. Everything in the plug-in reaches application info, crypt, clock and logger through
// it, never through the framework's root component.
//
// Set on the GUI thread before any request starts (the loader does it at start-up); read from any thread.
namespace memvia {

bg::Interface* module();
void setModule(bg::Interface* component);

} // namespace memvia
