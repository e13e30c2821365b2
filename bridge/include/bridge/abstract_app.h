#pragma once

#include <bridge/abstract_base.h>
#include <bridge/value.h>

#include <cstdio>

namespace bg {

// The application info shared by every component: texts set at start-up and named properties.
// Getters return a pointer into the object (or into the process-wide executable identity), valid until the
// next change. The texts are set on the main thread before other threads read them; properties go through a
// data store and may be used from any thread.
class BG_API Abstract_App : public Abstract_Base {
public:
    ~Abstract_App() override;

    virtual const char* name() = 0;
    virtual void set_name(const char* name) = 0;
    virtual const char* display() = 0;
    virtual void set_display(const char* display) = 0;
    virtual const char* version() = 0;
    virtual void set_version(const char* version) = 0;
    virtual const char* release() = 0;
    virtual void set_release(const char* release) = 0;
    virtual void set_organization(const char* organization) = 0;
    virtual const char* organization() = 0;
    virtual const char* describe() = 0;
    virtual void set_describe(const char* describe) = 0;
    // The executable's folder, with its trailing separator.
    virtual const char* app_dir() = 0;
    virtual const char* app_filepath() = 0;
    // The executable's name without extension.
    virtual const char* app_name() = 0;
    // With `secure`, the value is stored in its packed (encoded) form.
    virtual bool set_property(const char* key, const Value& value, bool secure) = 0;
    // The property (unpacked with `secure`), or a copy of `fallback` when absent.
    virtual Value get_property(const char* key, const Value& fallback, bool secure) = 0;
    virtual bool erase_property(const char* key) = 0;
    virtual bool has_property(const char* key) = 0;
    virtual void dump(FILE* stream) = 0;
    // The text that the configuration key "debug" must hold to switch debug mode on.
    virtual const char* debug_key() = 0;
};

} // namespace bg
