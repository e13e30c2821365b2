#pragma once

#include <bridge/abstract_base.h>
#include <bridge/value.h>

#include <cstdint>
#include <cstdio>

namespace bg {

// Run-time values by text key (nothing is persisted). Any thread may call any operation; every store
// guards its entries with its own recursive lock. Failures are results (false, or the caller's default).
class BG_API Abstract_Datas : public Abstract_Base {
public:
    ~Abstract_Datas() override;

    // A copy of the entry, or of `def` when the key is absent.
    virtual Value get_data(const char* key, const Value& def) = 0;
    virtual bool set_data(const char* key, const Value& value) = 0;
    // True when the key existed and was removed.
    virtual bool erease_data(const char* key) = 0;
    virtual bool isContains(const char* key) = 0;
    // The value's text form, scrambled and base64-encoded, as a text value; null stays null.
    virtual Value pack(const Value& value) = 0;
    // Reverses pack; a value that is not text is returned as it is.
    virtual Value unpack(const Value& value) = 0;
    // Lists every entry in key order; nothing when `stream` is null.
    virtual void debug(FILE* stream) = 0;
    // A new empty store of the same kind; the caller owns it (see destroy).
    virtual Abstract_Datas* create() = 0;
    // Deletes *store and sets it to null.
    virtual void destroy(Abstract_Datas** store) = 0;
    // The owner id a view stamps on what it writes; 0 for a plain store.
    virtual uint32_t id() = 0;
};

} // namespace bg
