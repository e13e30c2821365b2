#pragma once

#include <bridge/bg_export.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// The framework's command-line parser: flags and typed options, long ('--name', '--name=value',
// '--name value') and short ('-n', grouped '-abc') forms, every problem collected as a text, and an
// aligned usage text. Not thread-safe: one thread at a time per parser.
namespace cmdline {

// Raised for misuse by code (duplicate names, unknown names, wrong value types), never for a bad
// command line.
class BG_API cmdline_error : public std::exception {
public:
    explicit cmdline_error(const std::string& msg);
    ~cmdline_error() override;
    const char* what() const noexcept override;

private:
    std::string msg_;
};

// Reads one value of type T from argument text; raises cmdline_error when the text is refused.
// Numbers: leading white space is skipped and the number must use every remaining character.
// Defined for std::string, int, unsigned int, int64_t, uint64_t, float, double and bool.
template <class T> struct BG_API default_reader {
    T operator()(const std::string& text) const;
};

class BG_API parser {
public:
    class option_base;
    class option_without_value;
    template <class T> class option_with_value;
    template <class T, class F> class option_with_value_with_reader;

    parser();
    ~parser();
    parser(const parser&) = delete;
    parser& operator=(const parser&) = delete;

    // Adds a flag. Raises cmdline_error "multiple definition: <name>" for a name already added.
    void add(const std::string& name, char short_name = 0, const std::string& desc = "");
    // Adds an option with a value of type T (one of the reader's types); same duplicate rule.
    template <class T>
    void add(const std::string& name, char short_name = 0, const std::string& desc = "", bool need = true,
        const T& def = T());

    // Whether the option was given. Raises cmdline_error for a name that was never added.
    bool exist(const std::string& name) const;
    // The parsed value, else the default. Raises cmdline_error for an unknown name or another type.
    template <class T> const T& get(const std::string& name) const;

    // True when no problem was found; the problems are kept in errors(), the
    // arguments that are not options in positionals(); both describe the last parse only.
    bool parse(int argc, const char* const argv[]);
    std::string usage() const;

    const std::vector<std::string>& errors() const { return errors_; }
    const std::vector<std::string>& positionals() const { return positionals_; }

private:
    void add_option(const std::string& name, option_base* option);
    bool build_short_names(std::map<char, std::string>& table);
    void parse_long(const std::string& arg, int& i, int argc, const char* const argv[]);
    void parse_short(const std::string& arg, const std::map<char, std::string>& table, int& i, int argc,
        const char* const argv[]);
    void set_option(const std::string& name);
    void set_option(const std::string& name, const std::string& value);

    std::map<std::string, option_base*> options_;
    std::vector<option_base*> order_;
    std::string usage_tail_;
    std::string program_name_;
    std::vector<std::string> positionals_;
    std::vector<std::string> errors_;
};

} // namespace cmdline
