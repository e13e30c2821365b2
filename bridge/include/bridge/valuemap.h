#pragma once

#include <bridge/bg_export.h>
#include <bridge/value.h>

#include <map>
#include <string>

namespace bg {

// bg::Value copies under text keys, in byte-wise key order. Text form: "{map}" then, per entry, the key, ":",
// the value's text form and one "`". A key containing ':' could not be read back, so it is refused (a line on
// stderr) by every operation that would store it. No lock; nothing throws.
class BG_API ValueMap : public MultiValues {
public:
    using const_iterator = std::map<std::string, Value>::const_iterator;

    ValueMap();
    ValueMap(const ValueMap& other);
    ValueMap(const std::map<std::string, Value>& values);
    ~ValueMap() override;
    ValueMap& operator=(const ValueMap& other);

    // The entry, inserted as VT_NULL when missing. A refused key gives a scratch value outside the map.
    Value& operator[](const char* key);
    // The entry; a missing key is reported on stderr and gives a shared VT_NULL value that must not be
    // changed.
    const Value& operator[](const char* key) const;
    // A copy of the entry; for a missing key a copy of `def`, or the error -1002 when `def` is VT_NULL.
    Value get_data(const char* key, const Value& def = Value()) const;
    // Inserts a copy of `v`; a present key is replaced only when `overwrite`. True when stored.
    bool insert_data(const char* key, const Value& v, bool overwrite);
    bool isContains(const char* key) const;
    const_iterator begin() const;
    const_iterator end() const;
    const std::map<std::string, Value>& vmap() const;
    void clear();
    // True when the map holds at least one entry.
    bool isValid() const;
    // True when the map holds nothing.
    bool isEmpty() const;

    std::string write() const override;
    bool read(const char* text) override;

protected:
    void setmap(const std::map<std::string, Value>& values);

private:
    std::map<std::string, Value> m_map;
};

} // namespace bg
