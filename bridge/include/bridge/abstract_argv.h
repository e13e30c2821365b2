#pragma once

#include <bridge/abstract_base.h>

#include <string>

namespace bg {

class Value;

// A component's command-line options, each described by a bg::Value default whose type chooses the
// option's value type (int, uint, float, double, int64, uint64, string, bool; any other type makes a flag).
// Not thread-safe: one thread at a time. Problems are lines on standard output beginning "** Argv";
// misuse by code (a name added twice, a value read with another type) raises cmdline::cmdline_error.
class BG_API Abstract_Argv : public Abstract_Base {
public:
    virtual void add(
        const char* name, char short_name, const char* description, bool required, const Value& default_value)
        = 0;
    // The value the command line gave the option, typed like `default_value`; else `default_value`.
    virtual Value get(const char* name, const Value& default_value) = 0;
    // True when the command line had no problem; false at once when no option was ever added.
    virtual bool parse(int argc, char** argv) = 0;
    // Whether the option was given; false for a name that was never added.
    virtual bool exist(const char* name) = 0;
    virtual std::string usage() = 0;
    // A new, empty service with the same owner; the caller owns it.
    virtual Abstract_Argv* create() = 0;
    // Deletes *argv and sets it to null; nothing happens when either pointer is null.
    virtual void destroy(Abstract_Argv** argv) = 0;
};

} // namespace bg
