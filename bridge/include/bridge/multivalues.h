#pragma once

#include <bridge/bg_export.h>

#include <string>

namespace bg {

// Abstract base of bg::Value, bg::ValueList and bg::ValueMap: each can be written as one line of text and
// read back from it. Copying the base copies nothing.
class BG_API MultiValues {
public:
    MultiValues() = default;
    MultiValues(const MultiValues&) { }
    MultiValues& operator=(const MultiValues&) { return *this; }
    virtual ~MultiValues();

    // The text form; never fails.
    virtual std::string write() const = 0;
    // Replaces the content with the one `text` describes; false when `text` does not describe one.
    virtual bool read(const char* text) = 0;
};

} // namespace bg
