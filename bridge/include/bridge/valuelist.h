#pragma once

#include <bridge/bg_export.h>
#include <bridge/value.h>

#include <list>
#include <string>

namespace bg {

// An ordered list of bg::Value copies. Text form: "{list}" then each element's text form and one "`".
// No lock; nothing throws; read keeps the elements before the first one it cannot read.
class BG_API ValueList : public MultiValues {
public:
    using iterator = std::list<Value>::iterator;
    using const_iterator = std::list<Value>::const_iterator;

    ValueList();
    ValueList(const ValueList& other);
    ValueList(const std::list<Value>& values);
    ~ValueList() override;
    ValueList& operator=(const ValueList& other);

    void push_back(const Value& v);
    void push_front(const Value& v);
    // The list must not be empty.
    const Value& front() const;
    const Value& back() const;
    iterator begin();
    iterator end();
    const_iterator begin() const;
    const_iterator end() const;
    const std::list<Value>& vlist() const;
    void clear();
    // True when the list holds at least one element.
    bool isValid() const;
    // True when the list holds nothing.
    bool isEmpty() const;

    std::string write() const override;
    bool read(const char* text) override;

protected:
    void setlist(const std::list<Value>& values);

private:
    std::list<Value> m_list;
};

} // namespace bg
