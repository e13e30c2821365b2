#pragma once

#include <bridge/admin.h>
#include <bridge/interface.h>

namespace bg {

// The module-side base of a component. Everything here is inline: a module library reaches the admin only
// through its virtual slots, never through other symbols of libbridge.
class Bridge_B : public Interface {
public:
    explicit Bridge_B(Interface* admin_ = nullptr)
        : admin(admin_)
    {
    }

    // The admin's dispatch with this module as sender; the error value -1001 "Admin is null" (callback not
    // called) when the module has no admin.
    Value send(const char* to, int id, const Value& msg, const MsgCallback& cb) override
    {
        if (!admin)
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
