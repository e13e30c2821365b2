#include <bridge/cmdline.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace cmdline {

cmdline_error::cmdline_error(const std::string& msg)
    : msg_(msg)
{
}

cmdline_error::~cmdline_error() = default;

const char* cmdline_error::what() const noexcept { return msg_.c_str(); }

namespace {

    template <class T> struct value_type;

    template <> struct value_type<std::string> {
        static const char* name() { return "string"; }
    };
    template <> struct value_type<int> {
        static const char* name() { return "int"; }
    };
    template <> struct value_type<unsigned int> {
        static const char* name() { return "unsigned int"; }
    };
    template <> struct value_type<int64_t> {
        static const char* name() { return "__int64"; }
    };
    template <> struct value_type<uint64_t> {
        static const char* name() { return "unsigned __int64"; }
    };
    template <> struct value_type<float> {
        static const char* name() { return "float"; }
    };
    template <> struct value_type<double> {
        static const char* name() { return "double"; }
    };
    template <> struct value_type<bool> {
        static const char* name() { return "bool"; }
    };

    [[noreturn]] void refuse(const std::string& text)
    {
        throw cmdline_error("invalid value: '" + text + "'");
    }

    std::string_view skip_space(const std::string& text)
    {
        size_t i = 0;
        while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
            ++i;
        return std::string_view(text.data() + i, text.size() - i);
    }

    // The number part of `text`: leading white space skipped, one '+' dropped when a digit or point follows.
    std::string_view number_part(const std::string& text)
    {
        std::string_view rest = skip_space(text);
        if (rest.size() > 1 && rest[0] == '+'
            && (isdigit(static_cast<unsigned char>(rest[1])) || rest[1] == '.'))
            rest.remove_prefix(1);
        return rest;
    }

    template <class T> T read_integer(const std::string& text)
    {
        const std::string_view s = number_part(text);
        T value {};
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 10);
        if (s.empty() || ec != std::errc() || end != s.data() + s.size())
            refuse(text);
        return value;
    }

    template <class T> T read_floating(const std::string& text)
    {
        const std::string_view s = number_part(text);
        // Only plain decimal forms: no "inf", "nan" or hexadecimal.
        const size_t first = (!s.empty() && s[0] == '-') ? 1 : 0;
        if (s.size() <= first || !(isdigit(static_cast<unsigned char>(s[first])) || s[first] == '.'))
            refuse(text);
        T value {};
        const auto [end, ec]
            = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
        if (ec != std::errc() || end != s.data() + s.size())
            refuse(text);
        return value;
    }

    template <class T> std::string default_text(const T& value)
    {
        if constexpr (std::is_same_v<T, std::string>) {
            return value;
        } else if constexpr (std::is_same_v<T, bool>) {
            return value ? "1" : "0";
        } else if constexpr (std::is_floating_point_v<T>) {
            char buf[64];
            const auto res = std::to_chars(
                buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::general, 6);
            return std::string(buf, res.ptr);
        } else {
            return std::to_string(value);
        }
    }

} // namespace

template <> std::string default_reader<std::string>::operator()(const std::string& text) const
{
    return text;
}
template <> int default_reader<int>::operator()(const std::string& text) const
{
    return read_integer<int>(text);
}
template <> unsigned int default_reader<unsigned int>::operator()(const std::string& text) const
{
    return read_integer<unsigned int>(text);
}
template <> int64_t default_reader<int64_t>::operator()(const std::string& text) const
{
    return read_integer<int64_t>(text);
}
template <> uint64_t default_reader<uint64_t>::operator()(const std::string& text) const
{
    return read_integer<uint64_t>(text);
}
template <> float default_reader<float>::operator()(const std::string& text) const
{
    return read_floating<float>(text);
}
template <> double default_reader<double>::operator()(const std::string& text) const
{
    return read_floating<double>(text);
}
template <> bool default_reader<bool>::operator()(const std::string& text) const
{
    const std::string_view s = skip_space(text);
    if (s == "1")
        return true;
    if (s == "0")
        return false;
    refuse(text);
}

class parser::option_base {
public:
    virtual ~option_base() = default;
    virtual bool takes_value() const = 0;
    virtual bool set(const std::string& value) = 0;
    virtual bool set() = 0;
    virtual bool was_given() const = 0;
    virtual bool is_valid() const = 0;
    virtual bool is_required() const = 0;
    virtual const std::string& name() const = 0;
    virtual char short_name() const = 0;
    virtual const std::string& description() const = 0;
    virtual std::string synopsis() const = 0;
};

class parser::option_without_value : public option_base {
public:
    option_without_value(const std::string& name, char short_name, const std::string& desc)
        : name_(name)
        , short_name_(short_name)
        , description_(desc)
    {
    }
    bool takes_value() const override { return false; }
    bool set(const std::string&) override { return false; }
    bool set() override { return given_ = true; }
    bool was_given() const override { return given_; }
    bool is_valid() const override { return true; }
    bool is_required() const override { return false; }
    const std::string& name() const override { return name_; }
    char short_name() const override { return short_name_; }
    const std::string& description() const override { return description_; }
    std::string synopsis() const override { return "--" + name_; }

private:
    std::string name_;
    char short_name_;
    std::string description_;
    bool given_ = false;
};

template <class T> class parser::option_with_value : public option_base {
public:
    option_with_value(
        const std::string& name, char short_name, bool need, const T& def, const std::string& desc)
        : name_(name)
        , short_name_(short_name)
        , required_(need)
        , description_(full_description(desc, def))
        , default_value_(def)
        , value_(def)
    {
    }
    bool takes_value() const override { return true; }
    bool set(const std::string& text) override
    {
        try {
            value_ = read_value(text);
        } catch (const std::exception&) {
            return false;
        }
        given_ = true;
        return true;
    }
    bool set() override { return false; }
    bool was_given() const override { return given_; }
    bool is_valid() const override { return !(required_ && !given_); }
    bool is_required() const override { return required_; }
    const std::string& name() const override { return name_; }
    char short_name() const override { return short_name_; }
    const std::string& description() const override { return description_; }
    std::string synopsis() const override { return "--" + name_ + "=" + value_type<T>::name(); }
    const T& get() const { return value_; }

protected:
    virtual T read_value(const std::string& text) = 0;

private:
    // Built before default_value_ exists, hence the argument.
    std::string full_description(const std::string& desc, const T& def) const
    {
        std::string text = desc + " (" + value_type<T>::name();
        if (!required_)
            text += " [=" + default_text(def) + "]";
        return text + ")";
    }

    std::string name_;
    char short_name_;
    bool required_;
    std::string description_;
    bool given_ = false;
    T default_value_;
    T value_;
};

template <class T, class F> class parser::option_with_value_with_reader : public option_with_value<T> {
public:
    option_with_value_with_reader(
        const std::string& name, char short_name, bool need, const T& def, const std::string& desc, F reader)
        : option_with_value<T>(name, short_name, need, def, desc)
        , reader_(reader)
    {
    }

protected:
    T read_value(const std::string& text) override { return reader_(text); }

private:
    F reader_;
};

parser::parser() = default;

parser::~parser()
{
    for (auto& entry : options_)
        delete entry.second;
}

void parser::add_option(const std::string& name, option_base* option)
{
    if (options_.count(name)) {
        delete option;
        throw cmdline_error("multiple definition: " + name);
    }
    options_[name] = option;
    order_.push_back(option);
}

void parser::add(const std::string& name, char short_name, const std::string& desc)
{
    add_option(name, new option_without_value(name, short_name, desc));
}

template <class T>
void parser::add(const std::string& name, char short_name, const std::string& desc, bool need, const T& def)
{
    add_option(name,
        new option_with_value_with_reader<T, default_reader<T>>(
            name, short_name, need, def, desc, default_reader<T>()));
}

bool parser::exist(const std::string& name) const
{
    const auto it = options_.find(name);
    if (it == options_.end())
        throw cmdline_error("there is no flag: --" + name);
    return it->second->was_given();
}

template <class T> const T& parser::get(const std::string& name) const
{
    const auto it = options_.find(name);
    if (it == options_.end())
        throw cmdline_error("there is no flag: --" + name);
    const auto* option = dynamic_cast<const option_with_value<T>*>(it->second);
    if (!option)
        throw cmdline_error("type mismatch flag '" + name + "'");
    return option->get();
}

#define CMDLINE_VALUE_TYPE(T)                                                                                \
    template struct default_reader<T>;                                                                       \
    template BG_API void parser::add<T>(const std::string&, char, const std::string&, bool, const T&);       \
    template BG_API const T& parser::get<T>(const std::string&) const;
CMDLINE_VALUE_TYPE(std::string)
CMDLINE_VALUE_TYPE(int)
CMDLINE_VALUE_TYPE(unsigned int)
CMDLINE_VALUE_TYPE(int64_t)
CMDLINE_VALUE_TYPE(uint64_t)
CMDLINE_VALUE_TYPE(float)
CMDLINE_VALUE_TYPE(double)
CMDLINE_VALUE_TYPE(bool)
#undef CMDLINE_VALUE_TYPE

bool parser::parse(int argc, const char* const argv[])
{
    errors_.clear();
    positionals_.clear();
    if (argc < 1 || !argv) {
        errors_.push_back("argument number must be longer than 0");
        return false;
    }
    if (program_name_.empty() && argv[0])
        program_name_ = argv[0];

    std::map<char, std::string> short_names;
    if (!build_short_names(short_names))
        return false;

    for (int i = 1; i < argc; ++i) {
        if (!argv[i])
            continue;
        const std::string arg = argv[i];
        if (arg.compare(0, 2, "--") == 0)
            parse_long(arg, i, argc, argv);
        else if (arg.compare(0, 1, "-") == 0)
            parse_short(arg, short_names, i, argc, argv);
        else
            positionals_.push_back(arg);
    }

    for (const auto& entry : options_) {
        if (!entry.second->is_valid())
            errors_.push_back("need option: --" + entry.first);
    }
    return errors_.empty();
}

bool parser::build_short_names(std::map<char, std::string>& table)
{
    for (const auto& entry : options_) {
        const char c = entry.second->short_name();
        if (entry.first.empty() || c == 0)
            continue;
        if (table.count(c)) {
            errors_.push_back(std::string("short option '") + c + "' is ambiguous");
            return false;
        }
        table[c] = entry.first;
    }
    return true;
}

// The next argument, when there is one, is the value whatever it looks like.
void parser::parse_long(const std::string& arg, int& i, int argc, const char* const argv[])
{
    const size_t eq = arg.find('=', 2);
    if (eq != std::string::npos) {
        set_option(arg.substr(2, eq - 2), arg.substr(eq + 1));
        return;
    }
    const std::string name = arg.substr(2);
    const auto it = options_.find(name);
    if (it == options_.end()) {
        errors_.push_back("undefined option: --" + name);
        return;
    }
    if (!it->second->takes_value()) {
        set_option(name);
        return;
    }
    if (i + 1 >= argc || !argv[i + 1]) {
        errors_.push_back("option needs value: --" + name);
        return;
    }
    set_option(name, argv[++i]);
}

// '-abc': a and b are flags; c may take its value from the next argument.
void parser::parse_short(const std::string& arg, const std::map<char, std::string>& table, int& i, int argc,
    const char* const argv[])
{
    if (arg.size() == 1)
        return;
    for (size_t k = 1; k + 1 < arg.size(); ++k) {
        const auto it = table.find(arg[k]);
        if (it == table.end())
            errors_.push_back(std::string("undefined short option: -") + arg[k]);
        else
            set_option(it->second);
    }
    const char last = arg.back();
    const auto it = table.find(last);
    if (it == table.end()) {
        errors_.push_back(std::string("undefined short option: -") + last);
        return;
    }
    if (i + 1 < argc && argv[i + 1] && options_.at(it->second)->takes_value())
        set_option(it->second, argv[++i]);
    else
        set_option(it->second);
}

void parser::set_option(const std::string& name)
{
    const auto it = options_.find(name);
    if (it == options_.end())
        errors_.push_back("undefined option: --" + name);
    else if (!it->second->set())
        errors_.push_back("option needs value: --" + name);
}

void parser::set_option(const std::string& name, const std::string& value)
{
    const auto it = options_.find(name);
    if (it == options_.end())
        errors_.push_back("undefined option: --" + name);
    else if (!it->second->set(value))
        errors_.push_back("option value is invalid: --" + name + "=" + value);
}

std::string parser::usage() const
{
    std::string text = "usage: " + program_name_ + " ";
    for (const option_base* option : order_) {
        if (option->is_required())
            text += option->synopsis() + " ";
    }
    text += "[options] ... " + usage_tail_ + "\n";
    text += "options:\n";

    size_t width = 0;
    for (const option_base* option : order_)
        width = std::max(width, option->name().size());
    for (const option_base* option : order_) {
        if (option->short_name())
            text += std::string("  -") + option->short_name() + ", ";
        else
            text += "      ";
        text += "--" + option->name();
        text += std::string(width + 4 - option->name().size(), ' ');
        text += option->description() + "\n";
    }
    return text;
}

} // namespace cmdline
