#pragma once

#include <bridge/bg_export.h>
#include <bridge/interface.h>
#include <bridge/logoptions.h>

#include <string>

namespace bg {

// The bridge-side base of the admin: set-up and release of a component's services.
// Called on the thread that starts and ends the framework; the id counter has no lock.
class BG_API Bridge_A : public Interface {
public:
    // Gives `cmp` its id and its services (own ones, plus the shared group app, data, signal and channel),
    // with the files under `dir`, then runs its `init` (not for the admin). True when the component is
    // ready; on false its `uninit` has run and the caller discards it.
    static bool setup_component(Interface* cmp, const char* name, App* shared_app, Data* shared_data,
        Signal* shared_signal, Channel* shared_channel, const std::string& dir, const LogOptions& options);
    // Deletes the component's own services and forgets the shared ones.
    static void release_component(Interface* cmp);
};

} // namespace bg
