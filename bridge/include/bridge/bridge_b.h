#pragma once

#include <bridge/admin.h>
#include <bridge/bridge_init.h>
#include <bridge/interface.h>

namespace bg {

// The module-side base of a component. Everything here is inline: a module library reaches the admin only
// through its virtual slots, and reads libbridge's CD only to know whether its admin is still alive.
class Bridge_B : public Interface {
public:
    explicit Bridge_B(Interface* admin_ = nullptr)
        : admin(admin_)
    {
    }

    // The admin's dispatch with this module as sender; the error value -1001 "Admin is null" (callback not
    // called) when the module has no admin, or when its admin is no longer the live one (torn down by
    // UninitBridge, perhaps replaced by a later start-up): the old admin's memory is gone.
    Value send(const char* to, int id, const Value& msg, const MsgCallback& cb) override
    {
        if (!admin || admin != CD)
            return Value::ErrorValue(-1001, "Admin is null");
        return static_cast<Admin*>(admin)->dispatch(name, to, id, msg, cb);
    }

    // The admin that get_component received.
    Interface* admin = nullptr;
};

} // namespace bg

// Exported by every module library (a file whose name ends in ".so", in any case): creates the module's
// component for `admin`. The framework never deletes it.
extern "C" __attribute__((visibility("default"))) bg::Interface* get_component(bg::Interface* admin);
