#pragma once

#include <bridge/bg_export.h>
#include <bridge/bridge_a.h>

#include <string>
#include <vector>

namespace bg {

// The one root component of the process, published as `CD` by bg::InitBridge and deleted by
// bg::UninitBridge. Owns the shared services that every component refers to. Loading, start and uninit
// run on the thread that starts and ends the process; messages run on the caller's thread.
class BG_API Admin : public Bridge_A {
public:
    Admin();
    ~Admin() override;

    bool init() override;
    bool start() override;
    bool uninit() override;
    Value process(const char* from, int id, const Value& msg, const MsgCallback& cb) override;
    Value send(const char* to, int id, const Value& msg, const MsgCallback& cb) override;
    bool is_debug() override;
    // Slot 7: the target's `process`, or the error value -1003 "module not exsit" when nothing is
    // registered under `to`.
    virtual Value dispatch(const char* from, const char* to, int id, const Value& msg, const MsgCallback& cb);

    // Loads, sets up and registers the module libraries; returns how many this call loaded.
    int load_modules(const char* const* names, int count);
    // Opens one module library and obtains its component through get_component.
    bool load_library(std::string path, Interface** out);
    // The configuration directory for `app_name`; a non-empty result is kept for later calls. Only a folder
    // that can be written is chosen, never the file-system root; "" when no candidate works.
    std::string choose_config_dir(std::string app_name);
    // Whether `obj` is this admin or a module it loaded. The registry may hold other objects too; the admin
    // starts, aborts, uninitialises, dispatches to and lists only its own components.
    bool is_component(const void* obj) const;

    App* shared_app = nullptr;
    Data* shared_data = nullptr;
    Signal* shared_signal = nullptr;
    Channel* shared_channel = nullptr;

private:
    // Own components under a registry name, in registry order.
    std::vector<Interface*> registered_components() const;
    void abort_all();
    void uninit_modules();

    std::string m_configDir;
    // This admin first, then the modules in loading order (also those whose name a later load took over).
    std::vector<Interface*> m_components;
};

} // namespace bg
